#include "ImConfig.h"

#include "GatekeeperReply.h"
#include "ImMessages.h"
#include "IniFile.h"
#include "Text.h"

namespace chatdesk {

namespace {
const wchar_t kSection[] = L"IMConfig";
const wchar_t kDefaultGatekeeper[] = L"http://im.invalid/gk/GKServer.do";
}  // namespace

std::wstring ImConfig::Path() { return vantor::ini::ProgramFile(L"config\\psimprof.cfg"); }

ImConfig ImConfig::Read() {
    ImConfig c;
    std::wstring path = Path();
    int port = vantor::ini::ReadInt(path, kSection, L"LocalTcpPort", kDefaultLocalTcpPort);
    c.localTcpPort = port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : kDefaultLocalTcpPort;
    std::string address = vantor::WideToAnsi(vantor::ini::ReadString(path, kSection, L"LocalTcpAddress", L"", 64));
    uint32_t host = 0;
    if (!address.empty() && ParseIpv4(address, &host))
        c.localAddress = NetworkOrder(host);
    c.gatekeeperUrl =
        vantor::WideToAnsi(vantor::ini::ReadString(path, kSection, L"IMGk", kDefaultGatekeeper, kGatekeeperUrlChars + 1));
    return c;
}

}  // namespace chatdesk
