// Chat clients as a host runs them: each a ChatScriptHost in a program folder of its own,
// with the tab container, the command center and the recording plug-in as plug -3. Its
// account signs in through ClientCore against the platform stand-in and the fake presence
// server (which gives the book with the peer and where the peer is online); ChatDesk,
// loaded by the container as the chat service, listens on a loopback address of its own
// and logs in to the IM server through the fake gatekeeper. Two of them chat, relayed and
// directly; one alone takes stored messages and a receipt from another account.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ChildRun.h"
#include "ImMessages.h"
#include "PaneRig.h"
#include "TestSupport.h"
#include "Text.h"

using namespace cdtest;

namespace {

const char kFirstId[] = "10001";
const char kSecondId[] = "20002";
const char kGreeting[] = "你好，在吗？";
const char kAnswer[] = "在，请讲。";

struct Side {
    const char* name;  // of its program and log folders
    const char* ownId;
    const char* peerId;
    int ownLast;
    int peerLast;
};

const Side kFirst = {"chathost-a", kFirstId, kSecondId, 40, 41};
const Side kSecond = {"chathost-b", kSecondId, kFirstId, 41, 40};

std::wstring LogDir(const Side& side) {
    return testkit::ProgramDir() + L"chathost-logs\\" + vantor::AnsiToWide(side.name) + L"\\";
}

std::string ReadLog(const Side& side, const wchar_t* file) { return testkit::ReadFileBytes(LogDir(side) + file); }

int PresencePort() {
    return atoi(testkit::ReadFileBytes(testkit::ProgramDir() + L"presence-fake.port").c_str());
}

// The side's program folder: the client's, the container with its command center and
// kernel facade, the recording tab manager and plug-in, the kernel with the platform
// stand-in, and the presence client pointed at the fake presence server.
std::wstring Stage(const Side& side) {
    std::wstring dir = testkit::FreshDir(vantor::AnsiToWide(side.name));
    bool staged = StageClientFolder(dir, LoopbackAddress(side.ownLast).c_str());
    for (const wchar_t* file : {L"ChatScriptHost.exe", L"PlugHost.dll", L"OrderHub.dll", L"CoreFront.dll",
                                L"PresenceCore.dll", L"ClientCore.dll", L"zumbase.dll", L"config\\commprof.cfg",
                                L"config\\version.cfg"})
        staged = testkit::CopyFromProgramDir(dir, file) && staged;
    staged = testkit::CopyFromProgramDir(dir, L"TraceDeck.dll", L"TabDeck.dll") && staged;
    staged = testkit::CopyFromProgramDir(dir, L"TracePlug.dll", L"plug-3.dll") && staged;
    EXPECT_TRUE(staged) << side.name;
    testkit::WriteFileBytes(dir + L"config\\pruv2.cfg",
                            "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=-3\r\nSubPlugs=\r\n[PlugsLoadStyle]\r\n"
                            "-3=immediately\r\n[PlugsModule]\r\n-3=plug-3.dll\r\n");
    std::wstring presence = L"http://127.0.0.1:" + std::to_wstring(PresencePort()) + L"/web/";
    WritePrivateProfileStringW(L"PSConfig", L"psUrl", presence.c_str(), (dir + L"config\\psimprof.cfg").c_str());
    return dir;
}

std::string Cell(const std::string& name, const std::string& text) {
    return "<cell name=\"" + name + "\" type=\"8\">" + text + "</cell>";
}

std::string Reply(const std::string& cells) { return "<lwData docId=\"1\" opname=\"x\">" + cells + "</lwData>"; }

void ProgramPresence(const std::string& action, const std::string& reply) {
    std::string answer;
    EXPECT_EQ(200, testkit::LoopbackPost(PresencePort(), "/_ctl/default?action=" + action + "&status=200", reply, &answer));
}

// What the presence server answers the side's login, from now on: a book of the account
// and its peer, and the peer online at `peerAddress`. Its log starts afresh.
void ProgramPresence(const Side& side, const std::string& peerAddress) {
    std::string ignored;
    testkit::LoopbackPost(PresencePort(), "/_ctl/reset", "", &ignored);
    std::string friends;
    for (const char* id : {side.ownId, side.peerId})
        friends += "<item>" + Cell("friendID", id) + Cell("contactname", id) + "</item>";
    std::string group = "<item>" + Cell("groupID", "11") + Cell("groupName", "friends") +
                        "<cell name=\"friendList\" type=\"27\">" + friends + "</cell></item>";
    ProgramPresence("IncrementGetAddressList",
                    Reply(Cell("time", "20260101000000") + "<cell name=\"groupList\" type=\"27\">" + Cell("groupID", "1") +
                          "<cell name=\"friendList\" type=\"27\">" + group + "</cell></cell>"));
    std::string port = std::to_string(kClientPort);
    ProgramPresence("GetUserContactFriendIP",
                    Reply("<cell name=\"friend-list\" type=\"27\"><record>" + Cell("friendid", side.peerId) +
                          Cell("statuscode", "1") + Cell("localip", peerAddress) + Cell("localport", port) +
                          Cell("ip", peerAddress) + Cell("port", port) + "</record></cell>"));
    // Where this side is, for the other host's questions while both are signed in, and
    // where its peer is.
    std::string own = LoopbackAddress(side.ownLast);
    ProgramPresence("GetFriendIP", Reply(Cell("friendid", side.ownId) + Cell("statuscode", "1") + Cell("localip", own) +
                                         Cell("localport", port) + Cell("ip", own) + Cell("port", port)));
    ProgramPresence(std::string("GetFriendIP&when=target_id%3D") + side.peerId,
                    Reply(Cell("friendid", side.peerId) + Cell("statuscode", "1") + Cell("localip", peerAddress) +
                          Cell("localport", port) + Cell("ip", peerAddress) + Cell("port", port)));
}

// Runs the side's host with the script (UTF-8 steps, one a line) after its login, the
// presence server showing the peer at `peerAddress`; true when every step passed.
bool RunHost(const Side& side, const std::string& peerAddress, const std::string& steps,
             const std::string& beforeLoad = "") {
    if (PresencePort() <= 0) {
        ADD_FAILURE() << "the fake presence server is not running";
        return false;
    }
    std::wstring dir = Stage(side);
    testkit::RemoveTree(LogDir(side));
    CreateDirectoryW((testkit::ProgramDir() + L"chathost-logs").c_str(), nullptr);
    CreateDirectoryW(LogDir(side).c_str(), nullptr);
    ProgramPresence(side, peerAddress);
    std::string script = "signin " + std::string(side.ownId) + " " + side.peerId + "\r\n" + beforeLoad + "load\r\nlogin 20000\r\n" + steps +
                         "unload\r\n";
    testkit::WriteFileBytes(dir + L"script.txt", script);
    std::wstring logs = LogDir(side);
    logs.pop_back();  // a backslash before the closing quote would escape it
    DWORD code = testkit::RunProgram(dir + L"ChatScriptHost.exe", L"script.txt \"" + logs + L"\"", dir,
                                     {{L"VANTOR_IM_FAKE_PORTS", vantor::AnsiToWide(Fake().PortsText())}}, 120000);
    EXPECT_EQ(0u, code) << side.name << " stopped at line " << code << ":\n"
                        << ReadLog(side, L"steps.txt") << ReadLog(side, L"failed.txt");
    return code == 0;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// Where the presence server says the side's peer is: where the peer listens for a direct link, or
// an address where nothing listens, so that every link attempt fails and texts go by relay.
std::string PeerAddress(const Side& side, bool direct) {
    return LoopbackAddress(direct ? side.peerLast : side.ownLast + 10);
}

std::wstring ShotPath(bool direct) {
    std::wstring dir = testkit::ProgramDir() + L"screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + (direct ? L"\\chathost-direct.bmp" : L"\\chathost-relayed.bmp");
}

// How a conversation goes around its greeting and answer.
struct Plan {
    bool direct = true;
    std::string answererBeforeLoad;    // steps of the answering host before the container loads
    std::string answererFirst;         // its steps once logged in, before it awaits the greeting
    std::string openerBeforeGreeting;  // the opening host's steps between opening and the greeting
    std::function<void()> meanwhile;   // what the test does once the answering host is logged in
    bool shot = false;                 // the opener's chat window is saved
};

// The answering host starts first; the opener once the answerer is logged in (the presence
// server is programmed for one login at a time). Each display holds each text once, the
// greeting before the answer.
void Converse(const Plan& plan) {
    ResetFake();
    bool answered = false;
    std::thread second([&] {
        answered = RunHost(kSecond, PeerAddress(kSecond, plan.direct),
                           plan.answererFirst + "await 40000 " + kGreeting + "\r\npause 2000\r\nsend " + kAnswer +
                               "\r\npause 3000\r\nlog display\r\n",
                           plan.answererBeforeLoad);
    });
    EXPECT_TRUE(Eventually([] { return HasSession(kSecondId); }, 40000));
    if (plan.meanwhile) plan.meanwhile();
    // The link attempt on opening ends before the first text.
    std::string shot = plan.shot ? "shot " + vantor::WideToAnsi(ShotPath(plan.direct)) + "\r\n" : "";
    bool opened = RunHost(kFirst, PeerAddress(kFirst, plan.direct),
                          "open\r\npause 3000\r\n" + plan.openerBeforeGreeting + "send " + kGreeting +
                              "\r\nawait 30000 " + kAnswer + "\r\npause 1000\r\nlog display\r\n" + shot);
    second.join();
    ASSERT_TRUE(opened);
    ASSERT_TRUE(answered);
    // Each logged in through the gatekeeper.
    EXPECT_EQ(2u, GatekeeperPosts());
    const std::string greeting = kGreeting, answer = kAnswer;
    for (const Side* side : {&kFirst, &kSecond}) {
        SCOPED_TRACE(side->name);
        std::string shown = ReadLog(*side, L"display.txt");
        EXPECT_EQ(1u, Count(shown, greeting)) << shown;
        EXPECT_EQ(1u, Count(shown, answer)) << shown;
        EXPECT_LT(shown.find(greeting), shown.find(answer));
    }
}

void Converse(bool direct) {
    Plan plan;
    plan.direct = direct;
    plan.shot = true;
    Converse(plan);
}

// A stranger's client at `from` sends the answering host a text in the opener's name on a
// link of its own, and closes it once the host has had time to read it.
bool SendForgedText(const std::string& from, const char* utf8) {
    chatdesk::ChatText text;
    text.stamp = "20260102030405006099";
    text.senderId = kFirstId;
    text.receiverId = kSecondId;
    text.text = testkit::Ansi(utf8);
    text.status = "1*";
    chatdesk::ImBytes bytes = chatdesk::BuildChatText(text);
    testkit::StartWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in source = {};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = inet_addr(from.c_str());
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr(LoopbackAddress(kSecond.ownLast).c_str());
    to.sin_port = htons(kClientPort);
    bool sent = bind(s, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0 &&
                connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                send(s, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0) ==
                    static_cast<int>(bytes.size());
    Sleep(1500);
    closesocket(s);
    return sent;
}

// A chat text of the peer kept by the server for the first side.
void KeepStoredMessage(bool formatted, const char* utf8) {
    chatdesk::ChatText text;
    text.stamp = formatted ? "20260304050607008000" : "20260203040506007000";
    text.senderId = kSecondId;
    text.receiverId = kFirstId;
    text.formatted = formatted;
    text.format.face = "SimHei";
    text.format.heightTwips = 280;
    text.text = testkit::Ansi(utf8);
    text.status = "1*";
    chatdesk::ImBytes chat = chatdesk::BuildChatText(text);
    chatdesk::ImBytes store = chatdesk::BuildOfflineStore(chat.data(), chat.size());
    ASSERT_FALSE(store.empty());
    Fake().Control(std::string("peer/raw?id=") + kSecondId, std::string(store.begin(), store.end()));
}

std::string PresenceLog() {
    std::string log;
    testkit::LoopbackPost(PresencePort(), "/_ctl/log", "", &log);
    return log;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) hex += {digits[c >> 4], digits[c & 15]};
    return hex;
}

}  // namespace

TEST(ChatHosts, ChatRelayed) {
    Converse(false);
    // Both texts went through the server.
    EXPECT_EQ(2u, FakeFramesIn("003S").size());
}

TEST(ChatHosts, ChatDirect) {
    Converse(true);
    // The link made on opening carries both texts: none reaches the server.
    EXPECT_EQ(0u, FakeFramesIn("003S").size());
}

// A friend who chats on a direct link before the presence tab has told the answerer where
// the friend is: the presence server confirms the link's address, and the text is taken.
TEST(ChatHosts, ChatDirectBeforeTheBookKnowsThePeer) {
    Plan plan;
    plan.answererBeforeLoad = "forget\r\n";
    Converse(plan);
    EXPECT_EQ(0u, FakeFramesIn("003S").size());
}

// The answerer has the chat open; the friend, whose address its book lacks, types (the
// notice has the server confirm the link) and sends its text two seconds later: the
// answerer sees both, and the server was asked once.
TEST(ChatHosts, AFriendTheBookDoesNotPlaceIsSeenTypingAndItsTextShown) {
    Plan plan;
    plan.answererBeforeLoad = "forget\r\n";
    plan.answererFirst = std::string("open\r\nawait-typing 40000 ") + kFirstId + " 正在输入消息\r\n";
    plan.openerBeforeGreeting = "type 你\r\npause 6000\r\n";
    Converse(plan);
    EXPECT_EQ(0u, FakeFramesIn("003S").size());
}

// Before the friend comes, strangers' clients send texts in its name: one from an address
// the answerer's book knows nothing of, one from the friend's local address while its public
// address is not the answerer's. Neither is shown, and neither keeps the friend's own texts,
// from an address the book lacks, from being shown.
TEST(ChatHosts, TextsInAFriendsNameFromElsewhereAreNotShownAndSpendNothing) {
    const char kForged[] = "冒名顶替的话";
    Plan plan;
    plan.answererBeforeLoad = "forget " + LoopbackAddress(60) + "\r\n";
    plan.meanwhile = [&] {
        EXPECT_TRUE(SendForgedText(LoopbackAddress(50), kForged));
        EXPECT_TRUE(SendForgedText(LoopbackAddress(60), kForged));
    };
    Converse(plan);
    std::string shown = ReadLog(kSecond, L"display.txt");
    EXPECT_EQ(0u, Count(shown, kForged)) << shown;
}

// A text in the friend's name from elsewhere comes first and the presence server takes
// 20 s to say where the friend is: the friend's own text, which comes meanwhile, waits for
// that answer and is shown.
TEST(ChatHosts, AFriendsTextWaitsForTheSlowAnswerAForgedTextAskedFor) {
    const char kForged[] = "冒名顶替的话";
    Plan plan;
    plan.answererBeforeLoad = "forget\r\n";
    plan.meanwhile = [&] {
        std::string port = std::to_string(kClientPort);
        std::string where = LoopbackAddress(kFirst.ownLast);
        std::string answer;
        EXPECT_EQ(200, testkit::LoopbackPost(PresencePort(), "/_ctl/queue?action=GetFriendIP&status=200&delay=20000",
                                             Reply(Cell("friendid", kFirstId) + Cell("statuscode", "1") +
                                                   Cell("localip", where) + Cell("localport", port) +
                                                   Cell("ip", where) + Cell("port", port)),
                                             &answer));
        EXPECT_TRUE(SendForgedText(LoopbackAddress(50), kForged));
    };
    Converse(plan);
    std::string shown = ReadLog(kSecond, L"display.txt");
    EXPECT_EQ(0u, Count(shown, kForged)) << shown;
}

// Two messages kept for the account reach its offline-message window after the login;
// the count of each goes to the recording plug-in through the loaded command center.
TEST(ChatHosts, StoredMessagesAreCountedToPlugMinus3) {
    ResetFake();
    ASSERT_EQ("0", Fake().Control(std::string("peer/start?id=") + kSecondId).substr(0, 1));
    KeepStoredMessage(false, "留言不带格式");
    KeepStoredMessage(true, "留言带格式");
    ASSERT_TRUE(Eventually([] { return Fake().Control("stored?id=10001") == "2"; }, 3000));
    Fake().Control(std::string("peer/stop?id=") + kSecondId);

    ASSERT_TRUE(RunHost(kFirst, PeerAddress(kFirst, false), "offline 20000 留言带格式\r\nlog-offline offline\r\n"));
    std::string shown = ReadLog(kFirst, L"offline.txt");
    EXPECT_NE(std::string::npos, shown.find("<20002><时间：2026-02-03>\r\n留言不带格式\r\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("<20002><时间：2026-03-04>\r\n留言带格式\r\n")) << shown;
    EXPECT_EQ(1u, FakeFramesIn("015S").size());
    std::vector<std::string> stored = FakeFramesOut("015B");
    ASSERT_EQ(2u, stored.size());
    EXPECT_EQ(929u, stored[0].size());
    EXPECT_EQ(959u, stored[1].size());
    std::vector<std::string> trace = testkit::SplitLines(ReadLog(kFirst, L"trace.log"));
    std::vector<std::string> counts;  // "plug-3.dll DoCommand 2 param=<count, hex>"
    for (const std::string& line : trace)
        if (line.rfind("plug-3.dll DoCommand 2 ", 0) == 0) counts.push_back(line);
    ASSERT_EQ(2u, counts.size()) << ReadLog(kFirst, L"trace.log");
    for (size_t i = 0; i < counts.size(); ++i) {
        size_t at = counts[i].find("param=");
        ASSERT_NE(std::string::npos, at) << counts[i];
        EXPECT_EQ(i + 1, strtoull(counts[i].c_str() + at + 6, nullptr, 16)) << counts[i];
    }
}

// A receipt saying the text reached another account: the failure line without an offer,
// the peer's addresses cleared and asked of the presence server afresh. (A text goes by
// relay, and waits for a receipt, only when no direct link took it.)
TEST(ChatHosts, AReceiptFromAnotherAccountAsksThePresenceServer) {
    ResetFake();
    ASSERT_EQ("0", Fake().Control(std::string("peer/start?id=") + kSecondId + "&receipt=3").substr(0, 1));
    bool ran = RunHost(kFirst, PeerAddress(kFirst, false),
                       "open\r\npause 3000\r\nsend wrong\r\nawait 10000 \"wrong\" 发送失败了！\r\npause 1000\r\n"
                       "log display\r\n");
    Fake().Control(std::string("peer/stop?id=") + kSecondId);
    ASSERT_TRUE(ran);
    std::string shown = ReadLog(kFirst, L"display.txt");
    EXPECT_NE(std::string::npos, shown.find("    消息：\"wrong\" 发送失败了！")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("发送留言")) << shown;
    std::string log = PresenceLog();
    EXPECT_NE(std::string::npos, log.find("GetFriendIP")) << log;
    EXPECT_NE(std::string::npos, log.find(Hex("target_id=20002"))) << log;
}
