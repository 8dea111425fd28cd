// The host's session without its window: binding the kernel, the login with its progress,
// what the window lists afterwards, the logoff, and the presence address of one run.
// The login runs as a child of this program in a folder of its own, since the kernel keeps
// its account folder and configuration beside the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ContainerHost.h"
#include "DemoChat.h"
#include "DemoSession.h"
#include "TestSupport.h"

using hostdemo::DemoSession;
using hostdemo::GroupView;
using hostdemo::LoginView;
using hostdemo::PresenceOverride;
using hostdemo::ReportNode;

namespace {

const wchar_t kChildVariable[] = L"HOSTDEMO_TEST_PARENT";

std::wstring ParentDir() {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(kChildVariable, value, MAX_PATH);
    return value;
}

bool IsChild() { return !ParentDir().empty(); }

std::wstring PresenceUrl() {
    std::string port = testkit::ReadFileBytes(ParentDir() + L"hostdemo-presence.port");
    int n = atoi(port.c_str());
    return n > 0 ? L"http://127.0.0.1:" + std::to_wstring(n) + L"/web/" : std::wstring();
}

bool Loaded(const wchar_t* module) { return GetModuleHandleW(module) != nullptr; }

std::wstring W(const char* utf8) { return testkit::Wide(utf8); }

const GroupView* FindGroup(const std::vector<GroupView>& groups, const std::wstring& name) {
    for (const GroupView& g : groups) {
        if (g.name == name) return &g;
        if (const GroupView* inner = FindGroup(g.groups, name)) return inner;
    }
    return nullptr;
}

bool ReportHas(const std::vector<ReportNode>& nodes, const std::wstring& text) {
    for (const ReportNode& n : nodes) {
        if (n.text == text || ReportHas(n.children, text)) return true;
    }
    return false;
}

// Runs in the child's own program folder (the parent stages it).
class DemoChild : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsChild()) GTEST_SKIP() << "child run only";
        folder = testkit::ProgramDir();
        ASSERT_FALSE(PresenceUrl().empty()) << "the demo presence server is not running";
    }
    std::wstring folder;
};

TEST_F(DemoChild, LoginListsTheStoreAndLogoffReleasesIt) {
    std::wstring config = folder + L"config\\psimprof.cfg";
    std::string before = testkit::ReadFileBytes(config);
    ASSERT_FALSE(before.empty());
    PresenceOverride presence;
    ASSERT_TRUE(presence.Apply(folder, PresenceUrl()));
    wchar_t url[256] = {}, gk[8] = {};
    GetPrivateProfileStringW(L"PSConfig", L"psUrl", L"", url, 256, config.c_str());
    GetPrivateProfileStringW(L"PSConfig", L"gkenable", L"", gk, 8, config.c_str());
    EXPECT_EQ(PresenceUrl(), url);
    EXPECT_STREQ(L"0", gk) << "the other settings stay";

    DemoSession session;
    ASSERT_TRUE(session.Open(folder)) << session.LastMessage();
    ASSERT_EQ(0, session.Connect()) << session.LastMessage();
    std::vector<int> steps;
    std::vector<std::wstring> texts;
    int result = session.Login([&](int step, const std::wstring& text) {
        steps.push_back(step);
        texts.push_back(text);
        return true;
    });
    ASSERT_EQ(0, result) << session.LastMessage();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(3, steps.front());
    EXPECT_EQ(10, steps.back());
    for (size_t i = 1; i < steps.size(); ++i) EXPECT_LE(steps[i - 1], steps[i]) << i;
    EXPECT_EQ(W("正在加载通讯录... ..."), texts.back());
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), W("正在登录在线服务器... ...")));

    LoginView view = session.Collect();
    ASSERT_TRUE(view.valid);
    EXPECT_EQ(L"demo01", view.account);
    EXPECT_EQ(W("演示用户"), view.nickname);
    EXPECT_EQ(W("广东 深圳"), view.place);
    EXPECT_EQ(L"DEMO", view.suite);
    ASSERT_EQ(2u, view.services.size());
    EXPECT_EQ(9u, view.services[0].id);
    EXPECT_EQ(W("在线通讯录"), view.services[0].name);
    EXPECT_EQ(19u, view.services[1].id);
    ASSERT_EQ(2u, view.boards.size());
    EXPECT_EQ(W("生活服务"), view.boards[0].caption);
    EXPECT_EQ(L"101", view.boards[0].id);
    EXPECT_EQ((std::vector<std::wstring>{W("天气预报"), W("交通出行")}), view.boards[0].subjects);
    EXPECT_EQ(2u, view.boards[1].subjects.size());

    // The contact book the presence server handed over, nesting kept.
    ASSERT_EQ(2u, view.roots.size());
    EXPECT_EQ(L"10", view.roots[0].id);
    EXPECT_EQ(L"11", view.roots[1].id);
    EXPECT_EQ((std::vector<std::wstring>{W("张三 (zhangsan)")}), view.roots[0].friends);
    const GroupView* family = FindGroup(view.roots, W("家人"));
    ASSERT_NE(nullptr, family);
    EXPECT_EQ((std::vector<std::wstring>{W("妈妈 (mama)"), W("爸爸 (baba)")}), family->friends);
    ASSERT_EQ(2u, view.roots[1].groups.size());
    EXPECT_EQ(W("同事"), view.roots[1].groups[0].name);
    EXPECT_EQ(2u, view.roots[1].groups[0].friends.size());
    EXPECT_EQ(W("同学"), view.roots[1].groups[1].name);

    std::vector<ReportNode> report = hostdemo::BuildReport(view);
    ASSERT_EQ(4u, report.size());
    EXPECT_EQ(L"帐号 demo01", report[0].text);
    EXPECT_TRUE(ReportHas(report, W("19 家庭助理  [状态 1]")));
    EXPECT_TRUE(ReportHas(report, W("天气预报")));
    ASSERT_EQ(2u, report[3].children.size());
    EXPECT_TRUE(ReportHas(report[3].children, W("王五 (wangwu)")));

    // A chat finds its friend in the store, named as the chat window's caption names it.
    RostBaseHandle store = session.Store();
    ASSERT_NE(nullptr, store);
    FriendHandle xiaoming = hostdemo::FindFriend(store, "xiaoming");
    ASSERT_NE(nullptr, xiaoming);
    EXPECT_EQ(W("小明"), hostdemo::FriendName(store, xiaoming));
    EXPECT_EQ(nullptr, hostdemo::FindFriend(store, "nobody"));
    EXPECT_EQ(nullptr, hostdemo::FindFriend(store, ""));
    EXPECT_EQ(L"", hostdemo::FriendName(store, nullptr));

    EXPECT_EQ(0, session.Logoff());
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_EQ(nullptr, session.Store());
    EXPECT_FALSE(Loaded(L"RostBase.dll"));
    EXPECT_FALSE(Loaded(L"PresenceCore.dll"));
    EXPECT_FALSE(session.Collect().valid);

    presence.Restore();
    EXPECT_EQ(before, testkit::ReadFileBytes(config)) << "the configuration is put back byte for byte";
    session.Close();
    EXPECT_FALSE(Loaded(L"ClientCore.dll"));
}

TEST_F(DemoChild, CancelledLoginLeavesNothingAndCloseLogsOff) {
    DemoSession session;
    ASSERT_TRUE(session.Open(folder));
    ASSERT_EQ(0, session.Connect());
    std::vector<int> steps;
    int result = session.Login([&](int step, const std::wstring&) {
        steps.push_back(step);
        return step < 5;
    });
    EXPECT_EQ(10, result);
    EXPECT_EQ(5, steps.back());
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_EQ(nullptr, session.Store());
    EXPECT_FALSE(session.Collect().valid);
    EXPECT_FALSE(Loaded(L"RostBase.dll"));

    // A login without a progress procedure, then Close: it logs off on the way out.
    ASSERT_EQ(0, session.Connect());
    ASSERT_EQ(0, session.Login(DemoSession::ProgressFn())) << session.LastMessage();
    EXPECT_TRUE(Loaded(L"RostBase.dll"));
    session.Close();
    EXPECT_FALSE(Loaded(L"RostBase.dll"));
    EXPECT_FALSE(Loaded(L"ClientCore.dll"));
}

TEST_F(DemoChild, ZzReachedTheEnd) { testkit::WriteFileBytes(folder + L"child-done", "done"); }

TEST(HostDemoSession, LoginInAProgramFolderOfItsOwn) {
    if (IsChild()) GTEST_SKIP();
    std::wstring program = testkit::ProgramDir();
    std::wstring dir = testkit::FreshDir(L"hostdemo");
    std::wstring exe = testkit::CopyThisExeTo(dir);
    ASSERT_FALSE(exe.empty());
    for (const wchar_t* dll : {L"ClientCore.dll", L"zumbase.dll", L"RostBase.dll", L"PresenceCore.dll", L"WebFetch.dll"}) {
        ASSERT_TRUE(testkit::CopyFromProgramDir(dir, dll)) << dll;
    }
    CreateDirectoryW((dir + L"config").c_str(), nullptr);
    for (const wchar_t* cfg : {L"config\\commprof.cfg", L"config\\version.cfg"}) {
        ASSERT_TRUE(testkit::CopyFromProgramDir(dir, cfg)) << cfg;
    }
    // Settings of the presence client that a run's address must leave alone.
    testkit::WriteFileBytes(dir + L"config\\psimprof.cfg", "[PSConfig]\r\npsUrl=http://127.0.0.1:9/web/\r\ngkenable=0\r\n");

    DWORD code = testkit::RunProgram(exe, L"--gtest_filter=DemoChild.*", dir, {{kChildVariable, program}}, 180000);
    EXPECT_EQ(0u, code);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"child-done").c_str())) << "the child stopped early";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"demo01\\rostledger.xml").c_str()));
}

TEST(HostDemoSession, MissingKernelUnusableAddressesAndAnEmptyStore) {
    if (IsChild()) GTEST_SKIP();
    std::wstring dir = testkit::FreshDir(L"hostdemo-empty");
    DemoSession session;
    EXPECT_FALSE(session.Open(dir));
    EXPECT_NE(std::wstring::npos, session.LastMessage().find(L"ClientCore.dll"));
    EXPECT_EQ(-1, session.Connect());
    EXPECT_EQ(-1, session.Login(DemoSession::ProgressFn()));
    EXPECT_FALSE(session.Collect().valid);

    // A library of that name without the kernel's calls is not taken.
    ASSERT_TRUE(CopyFileW((testkit::ProgramDir() + L"zumbase.dll").c_str(), (dir + L"ClientCore.dll").c_str(), FALSE));
    EXPECT_FALSE(session.Open(dir));
    EXPECT_FALSE(session.IsOpen());

    for (const wchar_t* bad : {L"", L"http://", L"ftp://127.0.0.1/web/", L"127.0.0.1:80/web/",
                               L"http://127.0.0.1/web/\r\ngkenable=1", L"http://a\tb/"}) {
        EXPECT_FALSE(PresenceOverride::Acceptable(bad)) << bad;
        PresenceOverride presence;
        EXPECT_FALSE(presence.Apply(dir, bad));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"config\\psimprof.cfg").c_str()));
    EXPECT_TRUE(PresenceOverride::Acceptable(L"HTTPS://presence.example/web/"));

    // Without a file before, the run's file goes again afterwards; the destructor restores too.
    {
        PresenceOverride presence;
        ASSERT_TRUE(presence.Apply(dir, L"http://127.0.0.1:8/web/"));
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"config\\psimprof.cfg").c_str()));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"config\\psimprof.cfg").c_str()));

    // No container beside the program, or a library without the container's calls: nothing held.
    hostdemo::ContainerHost container;
    EXPECT_FALSE(container.Load(dir + L"none\\", 1, nullptr));
    EXPECT_FALSE(container.Load(dir, 1, nullptr));
    ASSERT_TRUE(CopyFileW((testkit::ProgramDir() + L"zumbase.dll").c_str(), (dir + L"PlugHost.dll").c_str(), FALSE));
    EXPECT_FALSE(container.Load(dir, 1, nullptr));
    EXPECT_FALSE(container.Loaded());
    EXPECT_FALSE(container.HasTabs());
    container.Fit(10, 10);
    container.Unload();

    std::vector<ReportNode> report = hostdemo::BuildReport(LoginView());
    ASSERT_EQ(1u, report.size());
    EXPECT_TRUE(report[0].children.empty());
}

// A stand-in of the chat window: the send button moves the compose box's text into the
// display under the friend's header line, as a received text would stand there.
LRESULT CALLBACK StandInChat(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == hostdemo::kChatSendId) {
        wchar_t text[512] = {};
        GetDlgItemTextW(wnd, hostdemo::kChatComposeId, text, 512);
        SetDlgItemTextW(wnd, hostdemo::kChatComposeId, L"");
        std::wstring shown = W("<小明> <时间：2026-12-09 12:00:00>\r\n") + text;
        SetDlgItemTextW(wnd, hostdemo::kChatDisplayId, shown.c_str());
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

HWND MakeStandIn(const std::wstring& caption, bool withSend) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = StandInChat;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HostDemoStandInChat";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, wc.lpszClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                               nullptr, wc.hInstance, nullptr);
    auto child = [&](const wchar_t* cls, int id, DWORD style) {
        CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 20, wnd,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
    };
    child(L"EDIT", hostdemo::kChatDisplayId, ES_MULTILINE);
    child(L"EDIT", hostdemo::kChatComposeId, 0);
    if (withSend) child(L"BUTTON", hostdemo::kChatSendId, BS_PUSHBUTTON);
    return wnd;
}

}  // namespace

TEST(HostDemoChat, CommandLineValuesAreCheckedBeforeUse) {
    std::string id;
    EXPECT_TRUE(hostdemo::AcceptableAccount(L"demo02", &id));
    EXPECT_EQ("demo02", id);
    EXPECT_TRUE(hostdemo::AcceptableAccount(L"a.b-c_9", &id));
    for (const wchar_t* bad : {L"", L"a b", L"..\\x", L"a/b", L"12345678901234567890", L"demo\r\n"}) {
        id = "kept";
        EXPECT_FALSE(hostdemo::AcceptableAccount(bad, &id)) << bad;
        EXPECT_EQ("kept", id);
    }
    EXPECT_FALSE(hostdemo::AcceptableAccount(W("演示"), &id));

    EXPECT_TRUE(hostdemo::AcceptableChatText(W("你好，今天天气不错！")));
    EXPECT_FALSE(hostdemo::AcceptableChatText(L""));
    EXPECT_FALSE(hostdemo::AcceptableChatText(L"two\r\nlines"));
    // The compose box takes 800 bytes: 400 Chinese characters, not 401.
    std::wstring full(400, W("中")[0]);
    EXPECT_TRUE(hostdemo::AcceptableChatText(full));
    EXPECT_FALSE(hostdemo::AcceptableChatText(full + W("中")));
}

TEST(HostDemoChat, FindsTheChatWindowSendsAndReadsTheDisplay) {
    if (IsChild()) GTEST_SKIP();
    HWND notChat = MakeStandIn(W("与 小明 聊天中"), false);
    EXPECT_EQ(nullptr, hostdemo::FindChatWindow(W("小明"))) << "a window without a send button is no chat";
    HWND chat = MakeStandIn(W("与 小明 聊天中"), true);
    EXPECT_EQ(chat, hostdemo::FindChatWindow(W("小明")));
    EXPECT_EQ(nullptr, hostdemo::FindChatWindow(W("小红")));

    EXPECT_FALSE(hostdemo::ShowsReceivedText(hostdemo::DisplayText(chat), W("小明")));
    ASSERT_TRUE(hostdemo::SendChatText(chat, W("在吗？")));
    std::wstring shown = hostdemo::DisplayText(chat);
    EXPECT_NE(std::wstring::npos, shown.find(W("在吗？")));
    EXPECT_TRUE(hostdemo::ShowsReceivedText(shown, W("小明")));
    EXPECT_FALSE(hostdemo::ShowsReceivedText(shown, W("小")));
    EXPECT_FALSE(hostdemo::ShowsReceivedText(shown, L""));
    EXPECT_FALSE(hostdemo::SendChatText(notChat, L"x"));

    // Without a store there is no friend to chat with: nothing is opened.
    hostdemo::ContainerHost none;
    hostdemo::ChatPlan plan;
    plan.peer = "xiaoming";
    plan.text = L"x";
    HWND opened = chat;
    EXPECT_EQ(hostdemo::ChatResult::NoFriend, hostdemo::RunChat(none, nullptr, plan, [] { return true; }, &opened));
    EXPECT_EQ(nullptr, opened);
    DestroyWindow(chat);
    DestroyWindow(notChat);
}
