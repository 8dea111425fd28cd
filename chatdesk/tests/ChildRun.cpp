#include "ChildRun.h"

#include <tlhelp32.h>

#include <sstream>

#include "ContactSetup.h"
#include "PaneRig.h"
#include "TestSupport.h"
#include "Text.h"

namespace cdtest {

namespace {

// Each build tree runs its clients on a loopback network of its own, 127.N.0.x with N
// taken from the tree's Wine prefix, so that test runs of other trees on this machine
// never meet these addresses.
int TreeOctet() {
    char prefix[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    uint32_t hash = 2166136261u;
    for (DWORD i = 0; i < n; ++i) hash = (hash ^ static_cast<uint8_t>(prefix[i])) * 16777619u;
    return 1 + static_cast<int>(hash % 250);
}

const std::string g_client = LoopbackAddress(28);
const std::string g_peer = LoopbackAddress(29);
const std::string g_otherPeer = LoopbackAddress(30);

}  // namespace

std::string LoopbackAddress(int last) {
    static const int octet = TreeOctet();
    return "127." + std::to_string(octet) + ".0." + std::to_string(last);
}

const char* const kClientAddress = g_client.c_str();
const char* const kPeerAddress = g_peer.c_str();
const char* const kOtherPeerAddress = g_otherPeer.c_str();

namespace {

const char kChildVariable[] = "CHATDESK_TEST_CHILD";

}  // namespace

bool ChildMode(const char* mode) {
    char value[64] = {};
    GetEnvironmentVariableA(kChildVariable, value, sizeof value);
    return strcmp(value, mode) == 0;
}

bool InChild() {
    char value[64] = {};
    return GetEnvironmentVariableA(kChildVariable, value, sizeof value) > 0;
}

sockaddr_in ClientEndpoint() {
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(kClientPort);
    at.sin_addr.s_addr = inet_addr(kClientAddress);
    return at;
}

void ChildTest::SetUp() {
    if (!ChildMode(mode_)) GTEST_SKIP() << "child run only";
    ASSERT_TRUE(Fake().loaded);
    ASSERT_NE(nullptr, Contacts().friendEntry);
    ResetFake();
}

bool StageClientFolder(const std::wstring& dir, const char* address) {
    for (const wchar_t* file : {L"ChatDesk.dll", L"WebFetch.dll", L"RostBase.dll", L"RostLedger.dll", L"RostKeeper.dll"})
        if (!testkit::CopyFromProgramDir(dir, file)) return false;
    if (!testkit::CopyFromProgramDir(dir, L"CoreStub.dll", L"ClientCore.dll")) return false;
    // The chat window's libraries, where the test program was built with them.
    for (const wchar_t* file :
         {L"SkinFrame.dll", L"PictKit.dll", L"KnobKit.dll", L"HookRelay.dll", L"KitBase.dll", L"CommonKit.dll"})
        testkit::CopyFromProgramDir(dir, file);
    testkit::CopyTree(testkit::ProgramDir() + L"Skins", dir + L"Skins");
    CreateDirectoryW((dir + L"config").c_str(), nullptr);
    CreateDirectoryW((dir + L"resource").c_str(), nullptr);
    testkit::CopyTree(testkit::ProgramDir() + L"resource\\9", dir + L"resource\\9");
    std::string config = "[IMConfig]\r\nLocalTcpPort=" + std::to_string(kClientPort) +
                         "\r\nLocalTcpAddress=" + (address ? address : kClientAddress) + "\r\nIMGk=" + Fake().GatekeeperUrl() + "\r\n";
    testkit::WriteFileBytes(dir + L"config\\psimprof.cfg", config);
    testkit::WriteFileBytes(dir + L"config\\uiprof.cfg", "[Global]\r\nSkinName=Default\r\n");
    // The shipped status pictures, as the chat window shows them.
    for (const wchar_t* file : {L"resource\\RostLedgerProf.cfg", L"resource\\RostTree.bmp", L"resource\\RostService.bmp"})
        if (!testkit::CopyFromProgramDir(dir, file)) return false;
    return true;
}

bool RunChild(const char* mode, const char* filter, DWORD timeoutMs, const char* address) {
    std::wstring dir = testkit::FreshDir(vantor::AnsiToWide(std::string("chatdesk-") + mode));
    std::wstring exe = testkit::CopyThisExeTo(dir);
    if (exe.empty() || !StageClientFolder(dir, address)) return false;
    DWORD code = testkit::RunProgram(exe, L"--gtest_filter=" + vantor::AnsiToWide(filter), dir,
                                     {{L"CHATDESK_TEST_CHILD", vantor::AnsiToWide(mode)},
                                      {L"VANTOR_IM_FAKE_PORTS", vantor::AnsiToWide(Fake().PortsText())}},
                                     timeoutMs);
    return code == 0;
}

const testkit::ImFake& Fake() { return testkit::ImFake::Get(); }

void ResetFake() { Fake().Control("reset"); }

std::vector<std::string> FakeLines(const std::string& route) {
    std::vector<std::string> lines;
    std::istringstream in(Fake().Control(route));
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    return lines;
}

namespace {
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}
}  // namespace

namespace {
std::vector<std::string> FakeFrames(const char* direction, const std::string& code) {
    std::vector<std::string> frames;
    for (const std::string& line : FakeLines("log")) {
        std::vector<std::string> f = Fields(line);  // time, direction, session, code, length, hex
        if (f.size() >= 6 && f[1] == direction && f[3] == code) frames.push_back(Unhex(f[5]));
    }
    return frames;
}
}  // namespace

std::vector<std::string> FakeFramesIn(const std::string& code) { return FakeFrames("in", code); }

std::vector<std::string> FakeFramesOut(const std::string& code) { return FakeFrames("out", code); }

size_t GatekeeperPosts() { return FakeLines("gatekeeper_log").size(); }

bool HasSession(const std::string& id) {
    for (const std::string& line : FakeLines("sessions"))
        if (line == id) return true;
    return false;
}

std::vector<std::pair<std::string, std::string>> PeerFrames(const std::string& id, const std::string& code) {
    std::vector<std::pair<std::string, std::string>> frames;
    for (const std::string& line : FakeLines("peer/log?id=" + id)) {
        std::vector<std::string> f = Fields(line);  // time, kind, code, length, hex
        if (f.size() >= 5 && f[2] == code) frames.emplace_back(f[1], Unhex(f[4]));
    }
    return frames;
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

void PumpFor(DWORD ms) {
    Eventually([] { return false; }, ms);
}

size_t ThreadsStartedIn(HMODULE module) {
    typedef LONG(WINAPI * QueryFn)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(module) + dos->e_lfanew);
    ULONG_PTR begin = reinterpret_cast<ULONG_PTR>(module), end = begin + nt->OptionalHeader.SizeOfImage;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (!query || snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {sizeof entry};
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        ULONG_PTR start = 0;
        const int kThreadQuerySetWin32StartAddress = 9;
        if (query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr) == 0 && start >= begin &&
            start < end)
            ++count;
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return count;
}

size_t ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {sizeof entry};
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

}  // namespace cdtest
