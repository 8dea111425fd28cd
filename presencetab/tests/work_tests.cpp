// The workers' steps against in-memory services: the proxy store on real files, the
// online refresh, the visit of online friends, and the own-status pass.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <map>

#include "AddressAsker.h"
#include "Fakes.h"
#include "FriendNotices.h"
#include "OnlineWork.h"
#include "PeerPacket.h"
#include "ProxyQueue.h"
#include "TestSupport.h"
#include "Text.h"

using namespace presence;

namespace {

std::vector<std::string> SectionNames(const std::string& path) {
    std::vector<char> names(4096);
    GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), path.c_str());
    std::vector<std::string> out;
    for (const char* p = names.data(); *p; p += strlen(p) + 1) out.push_back(p);
    return out;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { path = vantor::WideToAnsi(testkit::FreshDir(L"proxy")) + "psproxy.ppi"; }
    void Write(const char* utf8) { testkit::WriteFileBytes(vantor::AnsiToWide(path), testkit::Ansi(utf8)); }
    void Run() {
        ProcessProxyStore(path, signals, [&](const ProxyMessage& m) {
            got.push_back(m);
            if (stopAfter && got.size() == stopAfter) signals.stop = true;
        });
    }
    std::string path;
    fakes::Signals signals;
    std::vector<ProxyMessage> got;
    size_t stopAfter = 0;
};

TEST_F(StoreTest, SectionsAreHandledInFileOrderAndRemovedFirst) {
    Write("[7]\r\nopencode=1\r\nID=u7\r\nNA=张三\r\nM=我是张三\r\n"
          "[2]\r\nopencode=2\r\nID=u2\r\nS=1\r\n"
          "[3]\r\nopencode=2\r\nID=u3\r\nS=0\r\n"
          "[4]\r\nopencode=4\r\nID=u4\r\n[5]\r\nopencode=5\r\nID=u5\r\n"
          "[6]\r\nopencode=6\r\nID=u6\r\nS=2\r\n[8]\r\nID=none\r\n");
    Run();
    ASSERT_EQ(7u, got.size());
    EXPECT_EQ(1, got[0].kind);
    EXPECT_EQ("u7", got[0].id);
    EXPECT_EQ(testkit::Ansi("张三"), got[0].nickname);
    EXPECT_EQ(testkit::Ansi("我是张三"), got[0].message);
    EXPECT_EQ(2, got[1].kind);
    EXPECT_EQ(1, got[1].answer);
    EXPECT_EQ(0, got[2].answer);
    EXPECT_EQ(4, got[3].kind);
    EXPECT_EQ(5, got[4].kind);
    EXPECT_EQ(6, got[5].kind);
    EXPECT_EQ(2, got[5].answer);
    EXPECT_EQ(0, got[6].kind) << "a missing kind reads as 0";
    EXPECT_TRUE(SectionNames(path).empty());
}

TEST_F(StoreTest, LimitsStopsAndEverySectionWhateverItsName) {
    std::string id(40, 'i'), nick(80, 'n'), text(300, 'm');
    Write(("[1]\r\nopencode=1\r\nID=" + id + "\r\nNA=" + nick + "\r\nM=" + text + "\r\n[2]\r\nopencode=1\r\n[3]\r\nopencode=1\r\n").c_str());
    stopAfter = 1;
    Run();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(31u, got[0].id.size());
    EXPECT_EQ(63u, got[0].nickname.size());
    EXPECT_EQ(259u, got[0].message.size());
    EXPECT_EQ((std::vector<std::string>{"2", "3"}), SectionNames(path)) << "a stop keeps the rest";

    // A long name and a repeated name are messages like any other; the one read and the
    // one rewrite drain thousands at once.
    got.clear();
    signals.stop = false;
    stopAfter = 0;
    std::string many = "[" + std::string(70, 's') + "]\r\nopencode=1\r\nID=a\r\n[1]\r\nID=b\r\n[1]\r\nID=c\r\n";
    for (int i = 0; i < 3000; ++i) many += "[" + std::to_string(100 + i) + "]\r\nopencode=6\r\nID=m" + std::to_string(i) + "\r\n";
    Write(many.c_str());
    DWORD start = GetTickCount();
    Run();
    EXPECT_LT(GetTickCount() - start, 5000u);
    ASSERT_EQ(3003u, got.size());
    EXPECT_EQ("a", got[0].id);
    EXPECT_EQ("b", got[1].id);
    EXPECT_EQ("c", got[2].id);
    EXPECT_EQ("m2999", got[3002].id);
    EXPECT_TRUE(SectionNames(path).empty());
}

class WorkTest : public ::testing::Test {
protected:
    void SetUp() override {
        book.Add(fakes::Record("demo01", "me", 1, fakes::Ip(127, 0, 0, 1), 6082, fakes::Ip(127, 0, 0, 1), 6082));
        x = book.Add(fakes::Record("x1", "X", 0, 0, 0));
        y = book.Add(fakes::Record("y1", "Y", 0, 0, 0));
        z = book.Add(fakes::Record("z1", "", 0, 0, 0));
    }
    FriendInfoA Online(const char* id, int last) {
        return fakes::Record(id, "", 1, fakes::Ip(127, 0, 0, last), 7000 + last, fakes::Ip(10, 0, 0, last), 6000 + last);
    }
    fakes::Book book;
    fakes::Server server;
    fakes::Kernel kernel;
    fakes::Peers peers;
    fakes::Signals signals;
    WorkContext work{book, server, kernel, peers, signals};
    PendingFriends pending;
    FriendHandle x, y, z;
};

TEST_F(WorkTest, RefreshStoresOnlineFriendsAndSkipsStrangers) {
    server.online = {Online("z1", 4), Online("stranger", 9), Online("x1", 2), Online("x1", 2)};
    pending.Insert(y);
    ASSERT_TRUE(RefreshOnlineFriends(work, pending));
    EXPECT_EQ((std::vector<std::string>{"refresh 1", "status z1 1 0", "status x1 1 0", "status x1 1 0", "refresh 268435456"}),
              book.calls);
    EXPECT_EQ(fakes::Ip(127, 0, 0, 4), book.Info(4).status.publicIp);
    FriendHandle first = nullptr, second = nullptr, third = nullptr;
    ASSERT_TRUE(pending.TakeSmallest(&first));
    ASSERT_TRUE(pending.TakeSmallest(&second));
    EXPECT_FALSE(pending.TakeSmallest(&third)) << "the set was cleared and holds each friend once";
    EXPECT_EQ(x, first);
    EXPECT_EQ(z, second);

    server.online.clear();
    EXPECT_FALSE(RefreshOnlineFriends(work, pending));
    signals.stop = true;
    server.online = {Online("x1", 2)};
    EXPECT_FALSE(RefreshOnlineFriends(work, pending)) << "a stop ends the walk";
}

TEST_F(WorkTest, OnlineFriendsGetOurStatusAndTheUnreachedOneServerCall) {
    server.online = {Online("x1", 2), Online("y1", 3), Online("z1", 4)};
    RefreshOnlineFriends(work, pending);
    book.calls.clear();
    peers.failing = {fakes::Ip(127, 0, 0, 3), fakes::Ip(127, 0, 0, 4)};
    kernel.nicknames["z1"] = testkit::Ansi("小Z");
    kernel.policyCounts["x1"] = 2;
    ProcessOnlineFriends(work, pending, 6082);

    ASSERT_EQ(3u, peers.sent.size());
    EXPECT_EQ(fakes::Ip(127, 0, 0, 2), peers.sent[0].address);
    EXPECT_EQ(6082, peers.sent[0].port) << "on our own port";
    PeerFields f = ReadPacket(DecodePacket(peers.texts[0].c_str()));
    EXPECT_EQ("0005", f.command);
    EXPECT_EQ("demo01", f.sender);
    EXPECT_EQ("x1", f.receiver);
    EXPECT_EQ("01", f.subCode);
    EXPECT_EQ("1", f.nickname);
    EXPECT_EQ((std::vector<std::string>{"0 1 [y1|z1] 0"}), server.updates);
    EXPECT_EQ(std::vector<std::string>{"z1"}, kernel.infoAsked) << "only the empty nickname is asked for";
    EXPECT_EQ(testkit::Ansi("小Z"), book.Info(4).nickname);
    EXPECT_EQ((std::vector<std::string>{"policies x1 2", "modify z1"}), book.calls);
    EXPECT_TRUE(pending.Empty());

    // Everyone reached: no server call. A friend behind our router gets its local address.
    server.updates.clear();
    peers.failing.clear();
    peers.sent.clear();
    book.Info(2).status.publicIp = fakes::Ip(127, 0, 0, 1);
    pending.Insert(x);
    ProcessOnlineFriends(work, pending, 6082);
    EXPECT_TRUE(server.updates.empty());
    ASSERT_EQ(1u, peers.sent.size());
    EXPECT_EQ(fakes::Ip(10, 0, 0, 2), peers.sent[0].address);
}

TEST_F(WorkTest, OwnStatusPassReachesOnlineFriendsOnTheirPorts) {
    book.Info(2).status = Online("x1", 2).status;
    book.Info(3).status = Online("y1", 3).status;
    peers.failing = {fakes::Ip(127, 0, 0, 3)};
    EXPECT_EQ(0, OwnStatusPass(work, 2));
    ASSERT_EQ(2u, peers.sent.size());
    EXPECT_EQ(7002, peers.sent[0].port) << "the friend's public port";
    EXPECT_EQ("2", ReadPacket(DecodePacket(peers.texts[0].c_str())).nickname);
    EXPECT_EQ((std::vector<std::string>{"0 2 [y1] 0"}), server.updates);
    EXPECT_EQ(std::vector<std::string>{"self 2"}, book.calls);
    EXPECT_EQ(2, book.Info(1).status.status);
    EXPECT_EQ(fakes::Ip(127, 0, 0, 1), book.Info(1).status.publicIp) << "the account's addresses stay";

    // Nobody online: the server and the book still hear of it.
    book.Info(2).status.status = 0;
    book.Info(3).status.status = 0;
    server.updates.clear();
    book.calls.clear();
    EXPECT_EQ(0, OwnStatusPass(work, 1));
    EXPECT_EQ((std::vector<std::string>{"0 1 [] 0"}), server.updates);
    EXPECT_EQ(std::vector<std::string>{"self 1"}, book.calls);
}

TEST_F(WorkTest, OwnStatusPassStopsOrStartsOverWithoutTellingAnyone) {
    book.Info(2).status = Online("x1", 2).status;
    book.Info(3).status = Online("y1", 3).status;
    peers.onSend = [&] { signals.change = true; };
    EXPECT_EQ(1, OwnStatusPass(work, 2));
    EXPECT_EQ(1u, peers.sent.size());
    peers.onSend = nullptr;
    signals.stop = true;
    EXPECT_EQ(-1, OwnStatusPass(work, 2));
    EXPECT_TRUE(server.updates.empty());
    EXPECT_TRUE(book.calls.empty());
    signals.stop = false;
    EXPECT_EQ(0, OwnStatusPass(work, 2));
    EXPECT_EQ(1u, server.updates.size());
}

}  // namespace

namespace {

class NoticeTest : public WorkTest {
protected:
    SendOnlyCall Sender() {
        return [this](const PeerTarget& target, const std::string& text) { return peers.SendAndConfirm(target, text); };
    }
    PreventCall Preventer(int answer) {
        return [this, answer](FriendHandle entry, GroupHandle group) {
            prevented.push_back(std::make_pair(entry, group));
            // The contact dialogs move the friend to the black list: its record goes.
            if (answer) book.removed.insert(reinterpret_cast<UINT_PTR>(entry) / 16);
            return answer;
        };
    }
    std::vector<std::pair<FriendHandle, GroupHandle>> prevented;
    GroupHandle group = reinterpret_cast<GroupHandle>(0x200);
};

// Asks of the same sender while the server is slow: one ask each, however many records
// came for it meanwhile, and each answer kept.
TEST(AddressAskerTest, OneAskForEachSenderWaitingInLine) {
    vantor::imkit::AddressAnswers answers;
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    vantor::CriticalSection lock;
    std::map<std::string, int> asks;
    std::atomic<int> total{0};
    AddressAsker asker(answers, [&](const std::string& id, FriendStatus* out) {
        WaitForSingleObject(release, 5000);
        {
            vantor::Lock hold(lock);
            ++asks[id];
        }
        out->publicIp = 7;
        ++total;
        return true;
    });
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(asker.Start(stop, window, WM_APP));
    ASSERT_TRUE(asker.Queue("slow"));
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(asker.Queue("x1"));
        ASSERT_TRUE(asker.Queue("y1"));
    }
    SetEvent(release);
    DWORD started = GetTickCount();
    while (total < 3 && GetTickCount() - started < 5000) Sleep(10);
    Sleep(200);
    SetEvent(stop);
    asker.Join();
    EXPECT_EQ((std::map<std::string, int>{{"slow", 1}, {"x1", 1}, {"y1", 1}}), asks);
    EXPECT_EQ(7u, answers.Look("x1").status.publicIp);
    EXPECT_FALSE(asker.Queue("z1")) << "stopped";
    DestroyWindow(window);
    CloseHandle(release);
    CloseHandle(stop);
}

}  // namespace

TEST_F(NoticeTest, BlockingTellsOnlyAnOnlineFriendWhatItWasBeforeTheMove) {
    book.Info(2) = Online("x1", 2);
    ASSERT_TRUE(BlockFriend(book, Preventer(1), Sender(), x, group, 6082));
    ASSERT_EQ(1u, prevented.size());
    EXPECT_EQ(x, prevented[0].first);
    EXPECT_EQ(group, prevented[0].second);
    ASSERT_EQ(1u, peers.sent.size());
    EXPECT_EQ(fakes::Ip(127, 0, 0, 2), peers.sent[0].address);
    EXPECT_EQ(6082, peers.sent[0].port) << "our own local port";
    PeerFields f = ReadPacket(DecodePacket(peers.texts[0].c_str()));
    EXPECT_EQ("0004", f.command);
    EXPECT_EQ("demo01", f.sender);
    EXPECT_EQ("x1", f.receiver);
    EXPECT_EQ("me", f.nickname);

    // Offline, refused, or no contact dialogs at all: nothing reaches a peer.
    peers.sent.clear();
    prevented.clear();
    EXPECT_FALSE(BlockFriend(book, Preventer(1), Sender(), y, group, 6082));
    EXPECT_EQ(1u, prevented.size()) << "an offline friend is still blocked";
    book.Info(4) = Online("z1", 4);
    EXPECT_FALSE(BlockFriend(book, Preventer(0), Sender(), z, group, 6082));
    EXPECT_FALSE(BlockFriend(book, PreventCall(), Sender(), z, group, 6082));
    EXPECT_TRUE(peers.sent.empty());
}

TEST_F(NoticeTest, DeletedFriendHearsOnlyWhenOnlineAndReachable) {
    book.Info(3) = Online("y1", 3);
    ASSERT_TRUE(TellDeletedFriend(book, Sender(), y, 6082));
    ASSERT_EQ(1u, peers.texts.size());
    EXPECT_EQ("0006", ReadPacket(DecodePacket(peers.texts[0].c_str())).command);

    EXPECT_FALSE(TellDeletedFriend(book, Sender(), x, 6082)) << "offline";
    EXPECT_FALSE(TellDeletedFriend(book, Sender(), fakes::Book::Handle(40), 6082)) << "unknown";
    book.Info(4) = fakes::Record("z1", "Z", 1, 0, 0);
    EXPECT_FALSE(TellDeletedFriend(book, Sender(), z, 6082)) << "no address";
    peers.failing.insert(fakes::Ip(127, 0, 0, 3));
    EXPECT_FALSE(TellDeletedFriend(book, Sender(), y, 6082)) << "unreachable";
    EXPECT_EQ(2u, peers.texts.size());
}
