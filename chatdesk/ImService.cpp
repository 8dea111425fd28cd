#include "ImService.h"

#include <cstring>

#include "DebugOut.h"
#include "EmoticonPicker.h"
#include "IniFile.h"
#include "ImMessages.h"
#include "ModulePath.h"
#include "PumpingJoin.h"

namespace chatdesk {

ImService::ImService(const Setup& setup) : setup_(setup), contacts_(setup.book, setup.ownModule) {}

ImService::~ImService() {
    if (richEdit_) FreeLibrary(richEdit_);
}

ImService* ImService::Create(const Setup& setup) {
    ImService* service = new (std::nothrow) ImService(setup);
    if (!service) return nullptr;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    service->richEdit_ = LoadLibraryW(L"RICHED32.DLL");
    HWND window = CreateDialogParamW(setup.instance, MAKEINTRESOURCEW(kServiceDialog), setup.parent, DialogProc,
                                     reinterpret_cast<LPARAM>(service));
    if (!window) {
        delete service;
        return nullptr;
    }
    return service;
}

void ImService::Destroy(ImService* service) {
    if (!service) return;
    vantor::DebugLine(L"\t开始停止IM服务...\n");
    if (service->window_) DestroyWindow(service->window_);
    vantor::DebugLine(L"\tIM服务停止完毕！\n");
    delete service;
}

INT_PTR CALLBACK ImService::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<ImService*>(lParam)->window_ = window;
    }
    ImService* service = reinterpret_cast<ImService*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!service) return FALSE;
    return service->Handle(message, wParam, lParam);
}

INT_PTR ImService::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return FALSE;
    case kMsgStartNetwork:
        StartNetwork();
        return TRUE;
    case kMsgOpenChatWindow:
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, OpenChatWindow(wParam, reinterpret_cast<ChatWindow*>(lParam)));
        return TRUE;
    case kMsgFetchOffline: {
        ImBytes fetch = BuildOfflineFetch({contacts_.OwnId()});
        RelaySend(fetch.data(), fetch.size());
        return TRUE;
    }
    case kMsgStartLogin:
        StartLogin(wParam != 0);
        return TRUE;
    case kMsgLoginEnded:
        OnLoginEnded();
        return TRUE;
    case WM_TIMER:
        if (wParam != kRetryTimer) return FALSE;
        KillTimer(window_, kRetryTimer);
        retryTimer_ = 0;
        PostMessageW(window_, kMsgStartNetwork, 0, 0);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window_);
        return TRUE;
    case WM_DESTROY:
        Stop();
        return TRUE;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window_, DWLP_USER, 0);
        window_ = nullptr;
        return FALSE;
    }
    return FALSE;
}

void ImService::OnInitDialog() {
    LoadStatusPictures();
    offline_ = setup_.factory ? setup_.factory->MakeOfflineView() : nullptr;
    if (offline_ && !offline_->Create(*this)) {
        delete offline_;
        offline_ = nullptr;
    }
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PostMessageW(window_, kMsgStartNetwork, 0, 0);
}

void ImService::LoadStatusPictures() {
    std::wstring name = vantor::ini::ReadString(vantor::ini::ProgramFile(L"resource\\RostLedgerProf.cfg"),
                                                L"UIResource", L"baseimage", L"", MAX_PATH);
    if (name.empty()) return;
    std::wstring file = vantor::ini::ProgramFile(name);
    HBITMAP bitmap = file.empty() ? nullptr
                                  : static_cast<HBITMAP>(LoadImageW(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0,
                                                                    LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    images_ = ImageList_Create(16, 16, ILC_COLOR32, 6, 3);
    if (!bitmap) {
        vantor::DebugLine(L"ChatDesk: the status pictures %ls cannot be read\n", file.c_str());
        return;
    }
    if (images_) ImageList_Add(images_, bitmap, nullptr);
    DeleteObject(bitmap);
}

int ImService::StatusPictureCount() const { return images_ ? ImageList_GetImageCount(images_) : 0; }

void ImService::StartNetwork() {
    if (stopping_ || layer_.load()) return;
    ImConfig config = ImConfig::Read();
    std::unique_ptr<ImTcpLayer> layer(new ImTcpLayer(this, config.localTcpPort, config.localAddress));
    if (!layer->StartListening()) {
        vantor::DebugLine(L"\t网络服务启动失败（端口 %u），10秒后再试\n", config.localTcpPort);
        layer.reset();
        retryTimer_ = SetTimer(window_, kRetryTimer, kRetryPauseMs, nullptr);
        return;
    }
    layerOwner_ = std::move(layer);
    layer_ = layerOwner_.get();
    PostMessageW(window_, kMsgStartLogin, 0, 0);
    if (!eventsRegistered_) eventsRegistered_ = contacts_.RegisterEvents(reinterpret_cast<UINT_PTR>(this));
}

void ImService::StartLogin(bool pauseFirst) {
    if (stopping_) return;
    vantor::DebugLine(L"开始登录IM服务器\n");
    if (loginThread_) {
        // One login at a time: the running one is asked to go again once it has ended.
        loginWanted_ = true;
        loginWantedPause_ = loginWantedPause_ || pauseFirst;
        return;
    }
    struct Start {
        ImService* service;
        bool pause;
    };
    Start* start = new Start{this, pauseFirst};
    loginThread_ = CreateThread(nullptr, 0, LoginThread, start, 0, nullptr);
    if (!loginThread_) delete start;
}

DWORD WINAPI ImService::LoginThread(void* param) {
    struct Start {
        ImService* service;
        bool pause;
    };
    Start start = *static_cast<Start*>(param);
    delete static_cast<Start*>(param);
    start.service->LoginLoop(start.pause);
    return 0;
}

void ImService::LoginLoop(bool pauseFirst) {
    bool stopped = pauseFirst && WaitForSingleObject(stopEvent_, kRetryPauseMs) == WAIT_OBJECT_0;
    while (!stopped && !LoginAttempt()) stopped = WaitForSingleObject(stopEvent_, kRetryPauseMs) == WAIT_OBJECT_0;
    PostMessageW(window_, kMsgLoginEnded, 0, 0);
    vantor::DebugLine(L"登录IM服务器的登录线程结束了！\n");
}

void ImService::OnLoginEnded() {
    // While stopping, the stop itself waits for the thread and closes its handle.
    if (stopping_ || !loginThread_) return;
    vantor::WaitPumping(loginThread_);
    CloseHandle(loginThread_);
    loginThread_ = nullptr;
    if (loginWanted_) {
        bool pause = loginWantedPause_;
        loginWanted_ = loginWantedPause_ = false;
        StartLogin(pause);
    }
}

LRESULT ImService::OpenChatWindow(WPARAM flags, ChatWindow* window) {
    if (stopping_ || !window) return kOpenFailed;
    std::string id(window->Peer().id, strnlen(window->Peer().id, sizeof window->Peer().id));
    // Two messages of a new peer may each have made a window: the first one stays.
    if (Find(id)) return kOpenAlreadyOpen;
    if (WindowCount() >= kMaxChatWindows) return kOpenFailed;
    if (!window->CreateDialogWindow(*this) || !window->Window()) return kOpenFailed;
    if (flags & kOpenLinkAttempt) window->StartLinkAttempt();
    if (flags & kOpenPeerFetch) window->StartPeerFetch();
    if (!(flags & kOpenHidden)) ShowWindow(window->Window(), SW_SHOW);
    if ((flags & kOpenRecordView) && !window->RecordViewOpen()) window->OpenRecordView();
    return kOpenCreated;
}

void ImService::Stop() {
    stopping_ = true;
    if (retryTimer_) KillTimer(window_, kRetryTimer);
    retryTimer_ = 0;
    if (stopEvent_) SetEvent(stopEvent_);
    if (loginThread_) {
        vantor::WaitPumping(loginThread_);
        CloseHandle(loginThread_);
        loginThread_ = nullptr;
    }
    // The listener, every connection and their threads end before any window does.
    if (layerOwner_) layerOwner_->Stop();
    ReplaceServerLink(nullptr);
    for (;;) {
        ChatWindow* window = nullptr;
        std::string id;
        {
            vantor::Lock lock(lock_);
            if (windows_.empty()) break;
            id = windows_.begin()->first;
            window = windows_.begin()->second;
        }
        window->DestroyDialogWindow();
        // A window that failed to unregister itself must not keep this loop going.
        vantor::Lock lock(lock_);
        auto found = windows_.find(id);
        if (found != windows_.end() && found->second == window) windows_.erase(found);
    }
    layer_ = nullptr;
    layerOwner_.reset();
    // The web library goes once no thread of the service runs that could be raising an
    // exception while it unloads.
    webFetch_.reset();
    if (offline_) offline_->DestroyView();
    offline_ = nullptr;
    vantor::imkit::DestroyEmoticonPicker();
    if (eventsRegistered_) contacts_.UnregisterEvents();
    eventsRegistered_ = false;
    if (stopEvent_) CloseHandle(stopEvent_);
    stopEvent_ = nullptr;
    if (images_) ImageList_Destroy(images_);
    images_ = nullptr;
}

bool ImService::Register(const std::string& peerId, ChatWindow* window) {
    vantor::Lock lock(lock_);
    if (!window || windows_.count(peerId) || windows_.size() >= kMaxChatWindows) return false;
    windows_[peerId] = window;
    return true;
}

void ImService::Unregister(const std::string& peerId, ChatWindow* window) {
    ImConnection* link = nullptr;
    {
        vantor::Lock lock(lock_);
        auto found = windows_.find(peerId);
        if (found != windows_.end() && found->second == window) windows_.erase(found);
        link = window->directLink_;
        window->directLink_ = nullptr;
    }
    if (link) link->Release();
    vantor::PumpUntil([window] { return window->handlers_.load() == 0; });
}

ChatWindow* ImService::Find(const std::string& peerId) {
    vantor::Lock lock(lock_);
    auto found = windows_.find(peerId);
    return found == windows_.end() ? nullptr : found->second;
}

size_t ImService::WindowCount() {
    vantor::Lock lock(lock_);
    return windows_.size();
}

ConnectionRef ImService::DirectLinkOf(ChatWindow* window) {
    vantor::Lock lock(lock_);
    return ConnectionRef::Share(window->directLink_);
}

void ImService::SetDirectLink(ChatWindow* window, ImConnection* connection) {
    ImConnection* old = nullptr;
    {
        vantor::Lock lock(lock_);
        if (window->directLink_ == connection) return;
        old = window->directLink_;
        if (connection) connection->AddRef();
        window->directLink_ = connection;
    }
    if (old) old->Release();
}

bool ImService::HasServerLink() {
    vantor::Lock lock(lock_);
    return serverLink_ != nullptr;
}

void ImService::CloseConnection(ImConnection* connection) {
    if (layer_.load() && connection) connection->Close();
}

ImConnection* ImService::Connect(uint32_t address, uint16_t port) {
    ImTcpLayer* layer = layer_.load();
    return layer ? layer->Connect(address, port) : nullptr;
}

bool ImService::RelaySend(const void* bytes, size_t length) {
    vantor::DebugLine(L"发送数据到IM，即通过IM中转\n");
    if (!layer_.load()) return false;
    ConnectionRef link;
    {
        vantor::Lock lock(lock_);
        link = ConnectionRef::Share(serverLink_);
    }
    if (!link) {
        vantor::DebugLine(L"IM的通道被断开了，不能发送数据\n");
        return false;
    }
    return link->SendAll(bytes, length);
}

bool ImService::DirectSend(ImConnection* connection, const void* bytes, size_t length) {
    return layer_.load() && connection && connection->SendAll(bytes, length);
}

bool ImService::IsDirectLink(ImConnection* connection) const {
    return layer_.load() && connection && connection->RemoteAddress() != serverAddress_.load();
}

void ImService::ReplaceServerLink(ImConnection* connection) {
    ImConnection* old = nullptr;
    {
        vantor::Lock lock(lock_);
        old = serverLink_;
        if (connection) connection->AddRef();
        serverLink_ = connection;
        loggedIn_ = false;
    }
    if (old) {
        old->Close();
        old->Release();
    }
}

void ImService::OnAccepted(ImConnection* connection) {
    vantor::Lock lock(lock_);
    for (auto& entry : windows_) {
        ChatWindow* window = entry.second;
        if (window->PeerPublicAddress() == connection->RemoteAddress()) {
            if (window->directLink_ != connection) {
                connection->AddRef();
                if (window->directLink_) window->directLink_->Release();
                window->directLink_ = connection;
            }
            break;
        }
    }
}

bool ImService::HoldsLink(ImConnection* connection) {
    vantor::Lock lock(lock_);
    for (auto& entry : windows_)
        if (entry.second->directLink_ == connection) return true;
    return false;
}

void ImService::OnClosed(ImConnection* connection) {
    bool current = false;
    bool wasLoggedIn = false;
    std::vector<ImConnection*> released;
    std::vector<ChatWindow*> dropped;
    {
        vantor::Lock lock(lock_);
        for (auto& entry : windows_) {
            if (entry.second->directLink_ == connection) {
                released.push_back(connection);
                entry.second->directLink_ = nullptr;
                entry.second->handlers_.fetch_add(1);
                dropped.push_back(entry.second);
            }
        }
        if (serverLink_ == connection) {
            current = true;
            released.push_back(connection);
            serverLink_ = nullptr;
            wasLoggedIn = loggedIn_.exchange(false);
        }
    }
    for (ImConnection* c : released) c->Release();
    for (ChatWindow* window : dropped) {
        window->LinkDropped();
        Drop(window);
    }
    if (!current) return;
    vantor::DebugLine(L"由于和im服务器的连接断了，需要重新进行链接！\n");
    // A session that never got as far as a login answer is tried again after the pause,
    // so a server that drops every link at once is not hammered.
    PostMessageW(window_, kMsgStartLogin, wasLoggedIn ? 0 : 1, 0);
}

void ImService::DoCommand(int command, INT_PTR parameter) {
    switch (command) {
    case 1:
    case 8:
        OpenChat(command, parameter);
        break;
    case 6:
        if (offline_) offline_->Show();
        break;
    default:
        break;
    }
}

void ImService::OnFriendChanged(FriendHandle entry) {
    FriendInfoA record;
    if (!contacts_.FriendRecord(entry, &record) || !record.id[0]) return;
    ChatWindow* window = FindHeld(std::string(record.id, strnlen(record.id, sizeof record.id)));
    if (!window) return;
    window->TakeRecord(record);
    Drop(window);
}

void ImService::OnFriendRemoved(FriendHandle entry) {
    FriendInfoA record;
    if (!contacts_.FriendRecord(entry, &record) || !record.id[0]) return;
    ChatWindow* window = FindHeld(std::string(record.id, strnlen(record.id, sizeof record.id)));
    if (!window) return;
    if (window->Window()) PostMessageW(window->Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Drop(window);
}

}  // namespace chatdesk
