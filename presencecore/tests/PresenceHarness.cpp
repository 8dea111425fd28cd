#include <winsock2.h>

#include "PresenceHarness.h"

#include <wininet.h>

#include <cstdio>
#include <cstdlib>

#include "FakeControl.h"
#include "ModulePath.h"
#include "TestSupport.h"
#include "Text.h"

namespace pstest {

namespace {

int g_ports[3] = {0, 0, 0};

std::string Control(const std::string& what, const std::string& body) {
    return testkit::PostToFake(g_ports[0], "/_ctl/" + what, body);
}

using testkit::FromHex;

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

}  // namespace

bool Post::HasCookie(const std::string& pair) const {
    for (std::string part : Split(cookie, ';')) {
        while (!part.empty() && part[0] == ' ') part.erase(0, 1);
        if (part == pair) return true;
    }
    return false;
}

int FakeServer::MainPort() { return g_ports[0]; }
int FakeServer::SecondPort() { return g_ports[1]; }
int FakeServer::DeadPort() { return g_ports[2]; }

void FakeServer::Reset() { ASSERT_EQ("ok", Control("reset", "")); }

void FakeServer::Queue(const std::string& action, const std::string& reply, int status, int truncate) {
    std::string what = "queue?action=" + action + "&status=" + std::to_string(status);
    if (truncate >= 0) what += "&truncate=" + std::to_string(truncate);
    ASSERT_EQ("ok", Control(what, reply));
}

void FakeServer::QueueHostile(const std::string& action, const char* mode, const std::string& reply) {
    ASSERT_EQ("ok", Control("queue?action=" + action + "&hostile=" + mode, reply));
}

void FakeServer::Default(const std::string& action, const std::string& reply, int status) {
    ASSERT_EQ("ok", Control("default?action=" + action + "&status=" + std::to_string(status), reply));
}

std::vector<Post> FakeServer::Log() {
    std::vector<Post> posts;
    for (const std::string& line : Split(Control("log", ""), '\n')) {
        std::vector<std::string> f = Split(line, '\t');
        if (f.size() != 4) continue;
        Post p;
        p.port = atoi(f[0].c_str());
        p.path = f[1];
        p.cookie = f[2];
        p.body = FromHex(f[3]);
        posts.push_back(p);
    }
    return posts;
}

Post FakeServer::Only() {
    std::vector<Post> posts = Log();
    EXPECT_EQ(1u, posts.size());
    return posts.empty() ? Post() : posts.back();
}

std::string Reply(const char* utf8Inner, const char* docId) {
    std::string text = std::string("<lwData docId=\"") + docId + "\" opname=\"x\">" + utf8Inner + "</lwData>";
    return testkit::Ansi(text.c_str());
}

std::string Cell(const char* name, const char* utf8Text, int type) {
    return std::string("<cell name=\"") + name + "\" type=\"" + std::to_string(type) + "\">" + utf8Text + "</cell>";
}

std::wstring ProgramFolder() { return vantor::ProgramDir(); }
std::wstring ConfigFile(const wchar_t* name) { return ProgramFolder() + L"config\\" + name; }

void WriteConfig(const wchar_t* key, const wchar_t* value) {
    WritePrivateProfileStringW(L"PSConfig", key, value, ConfigFile(L"psimprof.cfg").c_str());
}

std::string ReadRunProf(const char* section, const char* key) {
    char buffer[1024] = {};
    std::string path = vantor::WideToAnsi(ConfigFile(L"run_prof.cfg"));
    GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof buffer, path.c_str());
    return buffer;
}

void ResetFiles() {
    std::wstring config = ProgramFolder() + L"config";
    CreateDirectoryW(config.c_str(), nullptr);
    DeleteFileW(ConfigFile(L"psimprof.cfg").c_str());
    DeleteFileW(ConfigFile(L"run_prof.cfg").c_str());
    for (const wchar_t* user : {L"u1001", L"u1002"}) testkit::RemoveTree(ProgramFolder() + user);
    CreateDirectoryW((ProgramFolder() + L"u1001").c_str(), nullptr);
    wchar_t url[128];
    swprintf(url, 128, L"http://127.0.0.1:%d/web/", FakeServer::MainPort());
    WriteConfig(L"psUrl", url);
    WriteConfig(L"gkenable", L"0");
}

bool Presence::Load() {
    module = vantor::LoadProgramLibrary(L"PresenceCore.dll");
    if (!module) return false;
#define PS_RESOLVE(name) name = vantor::ProcAddress<decltype(name)>(module, #name); if (!name) return false;
    PS_FUNCTIONS(PS_RESOLVE)
#undef PS_RESOLVE
    return true;
}

void Presence::Unload() {
    if (module) FreeLibrary(module);
    *this = Presence();
}

void PresenceTest::SetUp() {
    ResetFiles();
    FakeServer::Reset();
    ASSERT_TRUE(ps.Load()) << "PresenceCore.dll or one of its exports is missing";
}

void PresenceTest::TearDown() { ps.Unload(); }

void PresenceTest::Reload() {
    ps.Unload();
    ASSERT_TRUE(ps.Load());
}

void PresenceTest::UseGatekeeper() {
    wchar_t gk[128];
    swprintf(gk, 128, L"http://127.0.0.1:%d/gk/", FakeServer::MainPort());
    WriteConfig(L"gkenable", L"1");
    WriteConfig(L"gkUrl", gk);
    Reload();
}

FriendInfoA Account() {
    FriendInfoA a;
    memset(&a, 0, sizeof a);
    strcpy(a.id, "u1001");
    strcpy(a.nickname, testkit::Ansi("张三").c_str());
    strcpy(a.province, "11");
    strcpy(a.city, testkit::Ansi("北京").c_str());
    a.sex = 1;
    a.age = 30;
    strcpy(a.birthday, "1990-01-01");
    return a;
}

}  // namespace pstest

namespace {

// The library reads its configuration beside the host program, and other test programs
// share the staged folder: this test runs from a copy of itself in a folder of its own.
int RunInPrivateFolder() {
    std::wstring stage = vantor::ProgramDir();
    std::string ports = testkit::ReadFileBytes(stage + L"presence-fake.port");
    if (ports.empty()) {
        fprintf(stderr, "presence-fake.port is missing: the fake presence server did not start\n");
        return 1;
    }
    std::wstring dir = testkit::FreshDir(L"presence");
    for (const wchar_t* file : {L"PresenceCore.dll", L"WebFetch.dll"}) {
        if (!testkit::CopyFromProgramDir(dir, file)) {
            fprintf(stderr, "cannot copy %ls\n", file);
            return 1;
        }
    }
    // A second copy of the library beside a WebFetch that cannot open its engine.
    std::wstring noEngine = dir + L"noengine\\";
    CreateDirectoryW(noEngine.c_str(), nullptr);
    if (!testkit::CopyFromProgramDir(noEngine, L"PresenceCore.dll") ||
        !testkit::CopyFromProgramDir(noEngine, L"PsNoEngineWebFetch.dll", L"WebFetch.dll")) {
        fprintf(stderr, "cannot copy the library without engine\n");
        return 1;
    }
    // The contact store, when staged, reads the files this library writes.
    testkit::CopyFromProgramDir(dir, L"RostBase.dll");
    std::wstring copy = testkit::CopyThisExeTo(dir);
    if (copy.empty()) return 1;
    for (char& c : ports)
        if (c == '\n') c = ',';
    // The child runs the same selection of tests this run was asked for: this run's
    // arguments, its program name left out.
    std::wstring arguments = GetCommandLineW();
    size_t end = arguments[0] == L'"' ? arguments.find(L'"', 1) : arguments.find(L' ');
    arguments = end == std::wstring::npos ? std::wstring() : arguments.substr(end + 1);
    DWORD code = testkit::RunProgram(copy, arguments, dir, {{L"PS_FAKE_PORTS", vantor::AnsiToWide(ports)}}, INFINITE);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    char ports[128] = {};
    if (!GetEnvironmentVariableA("PS_FAKE_PORTS", ports, sizeof ports)) return RunInPrivateFolder();
    sscanf(ports, "%d,%d,%d", &pstest::g_ports[0], &pstest::g_ports[1], &pstest::g_ports[2]);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);   // as the host program does: the login looks up its own address
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
