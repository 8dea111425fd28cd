// One login to the IM server: the gatekeeper names the server, the client connects and
// introduces itself; the server's answer comes later on the new connection.
#include <winsock2.h>

#include <cstring>

#include "DebugOut.h"
#include "GatekeeperReply.h"
#include "Handles.h"
#include "ImMessages.h"
#include "ImService.h"
#include "ModulePath.h"

namespace chatdesk {

namespace {

const char kLoginForm[] = "Flag=CLogin";

typedef int(WINAPI* ReplyChunkProc)(const char* chunk, DWORD length, DWORD_PTR context);
typedef int(WINAPI* PFN_Http_PostRequestA)(const char* url, const char* extraHeaders, const char* body,
                                           ReplyChunkProc proc, DWORD_PTR context);

int WINAPI GatherReply(const char* chunk, DWORD length, DWORD_PTR context) {
    reinterpret_cast<GatekeeperReplyText*>(context)->Append(chunk, length);
    return 0;
}

}  // namespace

bool ImService::LoginAttempt() {
    ImConfig config = ImConfig::Read();
    if (config.gatekeeperUrl.empty()) {
        vantor::DebugLine(L"\tIM的配置文件错误\n");
        return false;
    }

    GatekeeperReplyText reply;
    if (!webFetch_) webFetch_.reset(vantor::LoadProgramLibrary(L"WebFetch.dll"));
    auto post = vantor::ProcAddress<PFN_Http_PostRequestA>(webFetch_.get(), "Http_PostRequestA");
    if (!post) {
        vantor::DebugLine(L"\t没有找到WebFetch.dll的Http_PostRequestA\n");
        return false;
    }
    int result =
        post(config.gatekeeperUrl.c_str(), nullptr, kLoginForm, GatherReply, reinterpret_cast<DWORD_PTR>(&reply));
    if (result != 0) {
        vantor::DebugLine(L"\t发送HTTP请求到IM的GK失败！\n");
        return false;
    }
    GatekeeperReply server;
    if (reply.Overflowed() || !ParseGatekeeperReply(reply.Text(), &server)) {
        vantor::DebugLine(L"\tIM的GK的回复不对：%hs\n", reply.Text().substr(0, 200).c_str());
        return false;
    }
    serverAddress_ = server.address;
    serverPort_ = server.port;

    std::string ownId = contacts_.OwnId();
    if (ownId.empty()) {
        vantor::DebugLine(L"\t没有得到自己的帐号，不能登录IM服务器\n");
        return false;
    }
    ImBytes login = BuildImLogin({ownId});

    ImTcpLayer* layer = layer_.load();
    if (!layer) {
        vantor::DebugLine(L"\t网络服务还没有启动\n");
        return false;
    }
    ConnectionRef link = ConnectionRef::Adopt(layer->Connect(server.address, server.port));
    // The new link replaces any old one, which is closed: never two sessions at once.
    ReplaceServerLink(link.get());
    if (!link) {
        vantor::DebugLine(L"\t尝试连接IM服务器失败！\n");
        return false;
    }
    if (!link->SendAll(login.data(), login.size())) {
        vantor::DebugLine(L"\t发送登录IM服务器的登录请求失败！\n");
        ReplaceServerLink(nullptr);
        return false;
    }
    vantor::DebugLine(L"\t登录IM服务器的登录请求已经发送，等待服务器的回复\n");
    return true;
}

void ImService::OnLoginReply(ImConnection* connection, const uint8_t* message, size_t length) {
    ImLoginReply reply;
    if (!ReadImLoginReply(message, length, &reply)) return;
    {
        // Only the session this client opened last can answer for it.
        vantor::Lock lock(lock_);
        if (connection != serverLink_) return;
        if (reply.result == '0') loggedIn_ = true;
    }
    if (reply.result == '0') {
        vantor::DebugLine(L"登录im服务器成功了！\n");
        PostMessageW(window_, kMsgFetchOffline, 0, 0);
        return;
    }
    vantor::DebugLine(L"登录im服务器失败了！\n");
    if (!layer_.load()) return;
    ReplaceServerLink(nullptr);
    // A refusal counts as a failed attempt: the next comes after the pause.
    PostMessageW(window_, kMsgStartLogin, 1, 0);
}

}  // namespace chatdesk
