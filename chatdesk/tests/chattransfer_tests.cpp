// File transfer in the chat window, against scripted peers of the fake IM server: offers
// both ways over the direct link, blocks, resume, completion, cancels, hostile blocks,
// the limit and the size rule, closing with transfers running.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "ChatDialog.h"
#include "ChatTransfers.h"
#include "ChildRun.h"
#include "ContactSetup.h"
#include "ControlEventSink.h"
#include "DebugLines.h"
#include "DialogDriver.h"
#include "FileSendCtl.h"
#include "ImMessages.h"
#include "ImService.h"
#include "OleHost.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "WindowClient.h"
#include "Text.h"
#include "TransferControl.h"
#include "twohost/TransferDriver.h"

using namespace cdtest;
using chatdesk::ChatDialog;
using chatdesk::TransferControl;

namespace {

// What a stopped receive leaves behind its data in the ".im".
const long long kMark = static_cast<long long>(chatdesk::kResumeMarkSize);


class ChildTransfer : public ChildTest {
protected:
    ChildTransfer() : ChildTest("transfer") {}
    void TearDown() override {
        if (InChild()) Fake().Control(std::string("peer/stop?id=") + kFriendId);
    }
};

// The peer's view of a Windows path.
std::string UnixPath(const std::wstring& path) {
    using Convert = char*(CDECL*)(LPCWSTR);
    auto convert = reinterpret_cast<Convert>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    if (!convert) return std::string();
    char* unix = convert(path.c_str());
    if (!unix) return std::string();
    std::string text = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
}

// A folder of its own for each test.
std::wstring TestFolder(const wchar_t* name) {
    std::wstring folder = testkit::ProgramDir() + L"xfer-" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

// A friend of the book and where its scripted peer listens.
struct Friend {
    const char* id;
    const char* address;
    FriendHandle entry;
};
Friend Lan() { return {kFriendId, kPeerAddress, Contacts().friendEntry}; }
Friend OtherFriend() { return {kOtherFriend, kOtherPeerAddress, Contacts().otherEntry}; }

// The window to the friend, linked directly to a peer that saves what it is offered into
// `saveDir`; `listen` adds to the peer's listen query ("&rcvbuf=N").
ChatDialog* LinkedWindow(WindowClient& client, const std::wstring& saveDir, bool startPeer = true,
                         const Friend& who = Lan(), const std::string& listen = std::string()) {
    if (!startPeer) {
        client->DoCommand(1, reinterpret_cast<INT_PTR>(who.entry));
        ChatDialog* window = client.Window(who.id);
        if (window && !client->DirectLinkOf(window).get()) window->StartLinkAttempt();
        if (!window || !Eventually([&] { return client->DirectLinkOf(window).get() != nullptr; }, 8000)) return nullptr;
        return window;
    }
    std::string route = std::string("peer/start?id=") + who.id + "&source=" + who.address;
    if (!saveDir.empty()) route += "&save_dir=" + UnixPath(saveDir);
    if (Fake().Control(route).substr(0, 1) != "0") return nullptr;
    std::string port = Fake().Control(std::string("peer/listen?id=") + who.id + "&address=" + who.address +
                                      "&port=" + std::to_string(kClientPort) + listen);
    if (port != std::to_string(kClientPort)) return nullptr;
    client->DoCommand(1, reinterpret_cast<INT_PTR>(who.entry));
    ChatDialog* window = client.Window(who.id);
    if (!window) return nullptr;
    if (!Eventually([&] { return client->DirectLinkOf(window).get() != nullptr; }, 8000)) return nullptr;
    return window;
}

// Offers the file as a chosen one would be.
void OfferFile(ChatDialog* window, const std::wstring& path) {
    window->CountTransfer(true);
    SendMessageW(window->Window(), chatdesk::kMsgOfferFile, 0, reinterpret_cast<LPARAM>(path.c_str()));
}

// The data counts of the blocks the peer got, in order.
std::vector<uint32_t> BlockCounts(const std::string& peer) {
    std::vector<uint32_t> counts;
    for (const auto& frame : PeerFrames(peer, "005S"))
        counts.push_back(chatdesk::ReadU32(reinterpret_cast<const uint8_t*>(frame.second.data()) + 149));
    return counts;
}

std::vector<uint32_t> BlockNumbers(const std::string& peer) {
    std::vector<uint32_t> numbers;
    for (const auto& frame : PeerFrames(peer, "005S"))
        numbers.push_back(chatdesk::ReadU32(reinterpret_cast<const uint8_t*>(frame.second.data()) + 144));
    return numbers;
}

// The acknowledgement characters the peer got ('0' go on, '1' stop).
std::string Acks() {
    std::string acks;
    for (const auto& frame : PeerFrames(kFriendId, "005B")) acks += frame.second[124];
    return acks;
}

// Sends `bytes` as the peer over its direct link.
void PeerSends(const std::vector<uint8_t>& bytes) {
    Fake().Control(std::string("peer/raw?id=") + kFriendId + "&via=direct",
                   std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// An offer from the peer that the peer itself will not serve (the test sends its blocks).
std::string RawOffer(const char* stamp, const char* path, uint64_t size) {
    chatdesk::FileOffer offer;
    offer.stamp = stamp;
    offer.offererId = kFriendId;
    offer.receiverId = kOwnId;
    offer.path = path;
    offer.size = size;
    PeerSends(chatdesk::BuildFileOffer(offer));
    return stamp;
}

std::vector<uint8_t> RawBlock(const std::string& stamp, uint32_t number, uint32_t count, char fill) {
    chatdesk::FileBlock block;
    block.stamp = stamp;
    block.offererId = kFriendId;
    block.receiverId = kOwnId;
    block.number = number;
    std::string data(4096, fill);
    block.data = reinterpret_cast<const uint8_t*>(data.data());
    block.count = count > 4096 ? 4096 : count;
    std::vector<uint8_t> bytes = chatdesk::BuildFileBlock(block);
    chatdesk::WriteU32(bytes.data() + 149, count);
    return bytes;
}

// The message boxes shown while `action` runs on this thread, answered with OK.
std::vector<std::wstring> BoxesDuring(const std::function<void()>& action, int expected) {
    std::vector<std::wstring> texts;
    std::thread answer([&] {
        for (int i = 0; i < expected; ++i) {
            testkit::MessageBoxSeen box = testkit::WaitMessageBox(5000);
            if (!box) return;
            texts.push_back(box.text);
            testkit::DismissMessageBox(box);
        }
    });
    action();
    answer.join();
    return texts;
}

TransferControl Newest(ChatDialog* window) {
    std::vector<TransferControl> all = chatdesk::TransferControlsNewestFirst(window->DisplayOle());
    return all.empty() ? TransferControl() : all.front();
}

std::string PeerFile(const std::wstring& saveDir, const wchar_t* name) {
    std::string bytes;
    ReadWhole(saveDir + name, &bytes);
    return bytes;
}

}  // namespace

TEST_F(ChildTransfer, SendsInBlocksResumesAndCompletes) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    std::wstring peerDir = TestFolder(L"peer-in");
    ChatDialog* window = LinkedWindow(client, peerDir);
    ASSERT_NE(nullptr, window);
    std::wstring out = TestFolder(L"out");

    // 10,000 bytes: 4096, 4096, 1808, the control complete, the count back to 0; a line
    // for the debugger before each block, and one for the last.
    testkit::DebugLines lines;
    std::string ten = Pattern(10000, 1);
    ASSERT_TRUE(WriteWhole(out + L"ten.bin", ten));
    OfferFile(window, out + L"ten.bin");
    EXPECT_EQ(1, window->TransferCount());
    ASSERT_TRUE(Eventually([&] { return PeerFile(peerDir, L"ten.bin") == ten; }, 8000));
    EXPECT_EQ((std::vector<uint32_t>{4096, 4096, 1808}), BlockCounts(kFriendId));
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2}), BlockNumbers(kFriendId));
    EXPECT_TRUE(lines.WaitFor(L"发送最后一个数据报，文件传输结束", 1, 3000));
    size_t perBlock = 0;
    for (const std::wstring& line : lines.Lines())
        for (size_t at = line.find(L"for loop send file"); at != std::wstring::npos; at = line.find(L"for loop send file", at + 1))
            ++perBlock;
    EXPECT_EQ(3u, perBlock);
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 3000));
    TransferControl sent = Newest(window);
    ASSERT_TRUE(sent);
    EXPECT_FALSE(sent.InTransfer());
    EXPECT_FALSE(sent.SendWaiting());
    EXPECT_EQ(0u, window->Transfers()->Count());

    // 100 bytes in one block; an empty file in one empty block.
    std::string hundred = Pattern(100, 2);
    ASSERT_TRUE(WriteWhole(out + L"hundred.bin", hundred));
    OfferFile(window, out + L"hundred.bin");
    ASSERT_TRUE(Eventually([&] { return PeerFile(peerDir, L"hundred.bin") == hundred; }, 8000));
    ASSERT_TRUE(WriteWhole(out + L"empty.bin", std::string()));
    OfferFile(window, out + L"empty.bin");
    ASSERT_TRUE(Eventually([&] { return Exists(peerDir + L"empty.bin"); }, 8000));
    EXPECT_EQ((std::vector<uint32_t>{4096, 4096, 1808, 100, 0}), BlockCounts(kFriendId));
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 3000));

    // The peer holds 5,000 bytes: reading starts there, as block 1.
    std::string resumed = Pattern(10000, 3);
    ASSERT_TRUE(WriteWhole(out + L"resumed.bin", resumed));
    ASSERT_TRUE(WriteWhole(peerDir + L"resumed.bin.part", resumed.substr(0, 5000)));
    OfferFile(window, out + L"resumed.bin");
    ASSERT_TRUE(Eventually([&] { return PeerFile(peerDir, L"resumed.bin") == resumed; }, 8000));
    std::vector<uint32_t> counts = BlockCounts(kFriendId), numbers = BlockNumbers(kFriendId);
    ASSERT_EQ(7u, counts.size());
    EXPECT_EQ(4096u, counts[5]);
    EXPECT_EQ(904u, counts[6]);
    EXPECT_EQ(1u, numbers[5]);
    EXPECT_EQ(2u, numbers[6]);
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 3000));
    EXPECT_TRUE(PeerFrames(kFriendId, "020S").empty());
}

TEST_F(ChildTransfer, ReceivesThroughTheImFileAndResumes) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, std::wstring());
    ASSERT_NE(nullptr, window);
    std::wstring src = TestFolder(L"src"), in = TestFolder(L"in");
    std::string file = Pattern(10000, 4);
    ASSERT_TRUE(WriteWhole(src + L"b.txt", file));
    // 5,000 bytes are here from a transfer of this file that stopped.
    ASSERT_TRUE(WriteWhole(in + L"b.txt.im", file.substr(0, 5000) + chatdesk::ResumeMarkOf(5000, {kFriendId, "b.txt", 10000})));

    std::string stamp = Fake().Control(std::string("peer/offer?id=") + kFriendId + "&to=" + kOwnId +
                                       "&path=" + UnixPath(src + L"b.txt") + "&via=direct");
    ASSERT_EQ(20u, stamp.size()) << stamp;
    ASSERT_TRUE(Eventually([&] { return Newest(window) && Newest(window).RequestWaiting(); }, 5000));
    TransferControl offer = FindTransferControl(window->DisplayOle(), stamp);
    ASSERT_TRUE(offer);
    EXPECT_EQ(0, window->TransferCount());
    std::wstring proposed;
    ASSERT_TRUE(AcceptWith(offer, in + L"b.txt", &proposed));
    EXPECT_EQ(L"b.txt", proposed);

    ASSERT_TRUE(Eventually([&] { return Exists(in + L"b.txt"); }, 8000));
    std::string got;
    ASSERT_TRUE(ReadWhole(in + L"b.txt", &got));
    EXPECT_TRUE(got == file);
    EXPECT_FALSE(Exists(in + L"b.txt.im"));
    auto replies = PeerFrames(kFriendId, "004B");
    ASSERT_EQ(1u, replies.size());
    EXPECT_EQ('0', replies[0].second[144]);
    EXPECT_EQ(5000u, chatdesk::ReadU32(reinterpret_cast<const uint8_t*>(replies[0].second.data()) + 145));
    EXPECT_EQ("00", Acks());
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 3000));
    EXPECT_FALSE(offer.InTransfer());
    EXPECT_FALSE(offer.RequestWaiting());
    EXPECT_EQ(0u, window->Transfers()->Count());
}

std::string DisplayText(HWND edit) {
    int room = 2 * GetWindowTextLengthW(edit) + 1;
    std::string text(room, '\0');
    text.resize(GetWindowTextA(edit, &text[0], room));
    return text;
}

// A raw offer from the peer accepted through the control's save dialog.
bool AcceptRawOffer(ChatDialog* window, const char* stamp, const char* path, uint64_t size, const std::wstring& saveAs,
                    std::wstring* proposed) {
    size_t replies = PeerFrames(kFriendId, "004B").size();
    RawOffer(stamp, path, size);
    if (!Eventually([&] { return FindTransferControl(window->DisplayOle(), stamp).RequestWaiting(); }, 5000))
        return false;
    if (!AcceptWith(FindTransferControl(window->DisplayOle(), stamp), saveAs, proposed)) return false;
    return Eventually([&] { return PeerFrames(kFriendId, "004B").size() == replies + 1; }, 5000);
}

// The offer's control answers "同意" with `path` confirmed, as its accept event comes once
// the save dialog closed (for paths the dialog would not take as they stand).
void AcceptAs(ChatDialog* window, const std::string& stamp, const std::wstring& path) {
    chatdesk::ControlAcceptTexts texts{vantor::WideToAnsi(path), stamp};
    SendMessageW(window->Window(), chatdesk::kMsgRecvAccepted, reinterpret_cast<WPARAM>(&texts),
                 reinterpret_cast<LPARAM>(FindTransferControl(window->DisplayOle(), stamp).Identity()));
}

// The resume count of the newest answer to an offer that `peer` got.
uint32_t LastResumeCount(const std::string& peer) {
    auto replies = PeerFrames(peer, "004B");
    return replies.empty() ? 0xFFFFFFFFu : chatdesk::ReadU32(reinterpret_cast<const uint8_t*>(replies.back().second.data()) + 145);
}

TEST_F(ChildTransfer, HostileBlocksCancelAndNeverGrowTheFile) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, std::wstring());
    ASSERT_NE(nullptr, window);
    std::wstring in = TestFolder(L"hostile");

    struct Case {
        const char* stamp;
        const char* path;
        const wchar_t* proposed;
        uint32_t count;  // the block's data count as written
    } cases[] = {
        {"20261209101010000001", "a/../../x.txt", L"x.txt", 5000},
        {"20261209101010000002", "..\\..\\evil.exe", L"evil.exe", 0xFFFFFFFFu},
        {"20261209101010000003", "past.bin", L"past.bin", 4096},  // the offer says 100
    };
    size_t cancels = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stamp);
        std::wstring proposed;
        uint64_t size = c.count == 4096 ? 100 : 10000;
        std::wstring target = in + c.proposed;
        ASSERT_TRUE(AcceptRawOffer(window, c.stamp, c.path, size, target, &proposed));
        EXPECT_EQ(c.proposed, proposed);
        EXPECT_EQ(1, window->TransferCount());
        std::string acks = Acks();
        PeerSends(RawBlock(c.stamp, 0, c.count, 'z'));
        ASSERT_TRUE(Eventually([&] { return Acks().size() == acks.size() + 1; }, 5000));
        EXPECT_EQ('1', Acks().back());
        ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == cancels + 1; }, 5000));
        ++cancels;
        EXPECT_EQ(0, window->TransferCount());
        EXPECT_EQ(kMark, SizeOf(target + L".im"));
        EXPECT_FALSE(Exists(target));
        TransferControl control = FindTransferControl(window->DisplayOle(), c.stamp);
        EXPECT_FALSE(control.InTransfer());
        EXPECT_FALSE(control.RequestWaiting());
    }
    // A target that can't be written (a folder stands there): the transfer fails, the
    // ".im" keeps every byte, marked, for a later try.
    std::wstring blocked = in + L"blocked.bin";
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    const char* stamp = "20261209101010000009";
    RawOffer(stamp, "blocked.bin", 100);
    ASSERT_TRUE(Eventually([&] { return FindTransferControl(window->DisplayOle(), stamp).RequestWaiting(); }, 5000));
    // The save dialog would open the folder: the control's accept event is sent as it would come.
    AcceptAs(window, stamp, blocked);
    EXPECT_EQ(1, window->TransferCount());
    PeerSends(RawBlock(stamp, 0, 100, 'b'));
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == cancels + 1; }, 5000));
    ++cancels;
    EXPECT_EQ(100 + kMark, SizeOf(blocked + L".im"));
    EXPECT_EQ(0, window->TransferCount());
    EXPECT_FALSE(FindTransferControl(window->DisplayOle(), stamp).InTransfer());

    // A block for an offer never accepted writes nothing and is answered '1'.
    RawOffer("20261209101010000004", "quiet.bin", 100);
    ASSERT_TRUE(Eventually([&] { return Newest(window).RequestWaiting(); }, 5000));
    std::string acks = Acks();
    PeerSends(RawBlock("20261209101010000004", 0, 100, 'q'));
    ASSERT_TRUE(Eventually([&] { return Acks().size() == acks.size() + 1; }, 5000));
    EXPECT_EQ('1', Acks().back());
    EXPECT_EQ(0, window->TransferCount());
    EXPECT_EQ(cancels, PeerFrames(kFriendId, "020S").size());
}

// Each block lands behind the one before it: one that came already is let pass, one past
// a missing block stops the transfer, and the next offer goes on from what came in order.
TEST_F(ChildTransfer, BlocksOutOfTheirOrderAreNeverWrittenInAnotherBlocksPlace) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, std::wstring());
    ASSERT_NE(nullptr, window);
    std::wstring target = TestFolder(L"order") + L"order.bin";
    const char* first = "20261211101010000001";
    ASSERT_TRUE(AcceptRawOffer(window, first, "order.bin", 10000, target, nullptr));
    EXPECT_EQ(0u, LastResumeCount(kFriendId));
    PeerSends(RawBlock(first, 0, 4096, 'a'));
    PeerSends(RawBlock(first, 0, 4096, 'x'));  // block 0 again
    PeerSends(RawBlock(first, 2, 1808, 'c'));  // block 1 never came
    ASSERT_TRUE(Eventually([&] { return Acks() == "001"; }, 5000)) << Acks();
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == 1; }, 5000));
    EXPECT_EQ(0, window->TransferCount());
    EXPECT_FALSE(Exists(target));
    std::string kept;
    ASSERT_TRUE(ReadWhole(target + L".im", &kept));
    EXPECT_EQ(4096 + kMark, static_cast<long long>(kept.size()));
    EXPECT_EQ(std::string(4096, 'a'), kept.substr(0, 4096));

    const char* second = "20261211101010000002";
    ASSERT_TRUE(AcceptRawOffer(window, second, "order.bin", 10000, target, nullptr));
    EXPECT_EQ(4096u, LastResumeCount(kFriendId));
    PeerSends(RawBlock(second, 1, 4096, 'b'));
    PeerSends(RawBlock(second, 2, 1808, 'c'));
    ASSERT_TRUE(Eventually([&] { return Exists(target) && window->TransferCount() == 0; }, 5000));
    std::string got;
    ASSERT_TRUE(ReadWhole(target, &got));
    EXPECT_TRUE(got == std::string(4096, 'a') + std::string(4096, 'b') + std::string(1808, 'c'));
    EXPECT_FALSE(Exists(target + L".im"));
}

// A ".im" left by one friend's transfer is that transfer's: another friend's offer of the
// same name and size, saved to the same place, starts from nothing, and the first friend's
// next offer still goes on from its own bytes.
TEST_F(ChildTransfer, AnotherFriendsOfferOfTheSameFileStartsAfresh) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* lan = LinkedWindow(client, std::wstring());
    ASSERT_NE(nullptr, lan);
    std::wstring fromLan = TestFolder(L"same-lan"), fromOther = TestFolder(L"same-other"), in = TestFolder(L"same-in");
    std::string lanFile = Pattern(50000, 33), otherFile = Pattern(50000, 34);
    ASSERT_TRUE(WriteWhole(fromLan + L"same.bin", lanFile));
    ASSERT_TRUE(WriteWhole(fromOther + L"same.bin", otherFile));
    std::wstring target = in + L"same.bin";
    auto offerFrom = [&](const char* id, const std::wstring& path, ChatDialog* window) {
        std::string stamp = Fake().Control(std::string("peer/offer?id=") + id + "&to=" + kOwnId + "&path=" + UnixPath(path) +
                                           "&via=direct");
        return Eventually([&] { return FindTransferControl(window->DisplayOle(), stamp).RequestWaiting(); }, 5000) &&
               AcceptWith(FindTransferControl(window->DisplayOle(), stamp), target);
    };

    // Lan's transfer stops after two blocks: the user cancels it.
    Fake().Control(std::string("peer/stop_after?id=") + kFriendId + "&blocks=2");
    ASSERT_TRUE(offerFrom(kFriendId, fromLan + L"same.bin", lan));
    ASSERT_TRUE(Eventually([&] { return SizeOf(target + L".im") == 8192 + kMark; }, 5000));
    ASSERT_TRUE(ClickFirstLink(Newest(lan)));
    ASSERT_TRUE(Eventually([&] { return lan->TransferCount() == 0; }, 5000));
    EXPECT_EQ(8192 + kMark, SizeOf(target + L".im"));

    // The other friend's file of that name and size arrives whole, from its first byte.
    ChatDialog* other = LinkedWindow(client, std::wstring(), true, OtherFriend());
    ASSERT_NE(nullptr, other);
    ASSERT_TRUE(offerFrom(kOtherFriend, fromOther + L"same.bin", other));
    ASSERT_TRUE(Eventually([&] { return Exists(target) && other->TransferCount() == 0; }, 8000));
    EXPECT_EQ(0u, LastResumeCount(kOtherFriend));
    std::string got;
    ASSERT_TRUE(ReadWhole(target, &got));
    EXPECT_TRUE(got == otherFile) << "the other friend's file holds Lan's first bytes";
    EXPECT_EQ(8192 + kMark, SizeOf(target + L".im")) << "Lan's bytes are kept for Lan";

    // The user keeps that file under another name; Lan's next offer takes up Lan's own
    // bytes and ends with Lan's file in place.
    ASSERT_TRUE(MoveFileW(target.c_str(), (in + L"same-other.bin").c_str()));
    Fake().Control(std::string("peer/stop_after?id=") + kFriendId + "&blocks=100000");
    ASSERT_TRUE(offerFrom(kFriendId, fromLan + L"same.bin", lan));
    ASSERT_TRUE(Eventually([&] { return Exists(target) && lan->TransferCount() == 0; }, 8000));
    EXPECT_EQ(8192u, LastResumeCount(kFriendId));
    ASSERT_TRUE(ReadWhole(target, &got));
    EXPECT_TRUE(got == lanFile);
    EXPECT_FALSE(Exists(target + L".im"));
    EXPECT_FALSE(Exists(target + L".1.im"));
}

// The last block arrives while another program holds the saved file's name: the ".im"
// stays, whole and marked, and the next offer of the file finishes it from there: no
// second copy is made and none is left behind.
TEST_F(ChildTransfer, AFinalMoveThatFailsLeavesOneCopyThatTheNextOfferFinishes) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, std::wstring());
    ASSERT_NE(nullptr, window);
    std::wstring target = TestFolder(L"held") + L"held.bin";
    ASSERT_TRUE(WriteWhole(target, "an older file of the user's"));
    // Open without delete sharing: nothing can take the name's place meanwhile.
    vantor::UniqueHandle busy(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy);
    const char* first = "20261211121212000001";
    RawOffer(first, "held.bin", 10000);
    ASSERT_TRUE(Eventually([&] { return FindTransferControl(window->DisplayOle(), first).RequestWaiting(); }, 5000));
    AcceptAs(window, first, target);
    for (uint32_t number = 0; number < 3; ++number) PeerSends(RawBlock(first, number, number < 2 ? 4096 : 1808, 'h'));
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == 1; }, 5000));
    EXPECT_EQ("001", Acks());
    EXPECT_EQ(0, window->TransferCount());
    EXPECT_FALSE(FindTransferControl(window->DisplayOle(), first).InTransfer());
    EXPECT_EQ(10000 + kMark, SizeOf(target + L".im"));
    std::string got;
    ASSERT_TRUE(ReadWhole(target, &got));
    EXPECT_EQ("an older file of the user's", got);

    busy.reset();
    const char* second = "20261211121212000002";
    RawOffer(second, "held.bin", 10000);
    ASSERT_TRUE(Eventually([&] { return FindTransferControl(window->DisplayOle(), second).RequestWaiting(); }, 5000));
    AcceptAs(window, second, target);
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "004B").size() == 2; }, 5000));
    EXPECT_EQ(10000u, LastResumeCount(kFriendId));
    PeerSends(RawBlock(second, 2, 0, 'h'));  // nothing is left to send
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    ASSERT_TRUE(ReadWhole(target, &got));
    EXPECT_TRUE(got == std::string(10000, 'h'));
    EXPECT_FALSE(Exists(target + L".im"));
    EXPECT_FALSE(Exists(target + L".1.im"));
}

// Our end of a direct link, found among this process's handles: the socket connected to
// `address`:`port`.
SOCKET OurSocketTo(const char* address, uint16_t port) {
    for (uintptr_t handle = 4; handle < 0x10000; handle += 4) {
        sockaddr_in peer = {};
        int size = sizeof peer;
        SOCKET s = static_cast<SOCKET>(handle);
        if (getpeername(s, reinterpret_cast<sockaddr*>(&peer), &size) == 0 && peer.sin_family == AF_INET &&
            peer.sin_addr.s_addr == inet_addr(address) && peer.sin_port == htons(port))
            return s;
    }
    return INVALID_SOCKET;
}

// A peer that reads 8 KB a second gets a whole file, though each send of blocks takes it
// longer than the send limit; and while such a send holds the link, a cancel from the
// window waits no longer than the limit and still reaches the peer. Our end of the link
// gets the 8 KB send buffer that Windows gives a socket (Wine's sockets take megabytes,
// which would hide a slow peer for minutes).
TEST_F(ChildTransfer, ASlowSteadyPeerGetsTheFileAndTheWindowWaitsNoLongerThanTheLimit) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    std::wstring peerDir = TestFolder(L"slow-peer"), out = TestFolder(L"slow");
    ChatDialog* window = LinkedWindow(client, peerDir, true, Lan(), "&rcvbuf=4096");
    ASSERT_NE(nullptr, window);
    SOCKET ours = OurSocketTo(kPeerAddress, kClientPort);
    ASSERT_NE(INVALID_SOCKET, ours);
    int small = 8192;
    ASSERT_EQ(0, setsockopt(ours, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small));
    Fake().Control(std::string("peer/read_rate?id=") + kFriendId + "&bytes=8192");

    // About 20 s: three sends of blocks, the middle one of 63,765 bytes alone taking 8 s.
    std::string file = Pattern(160000, 35);
    ASSERT_TRUE(WriteWhole(out + L"slow.bin", file));
    DWORD start = GetTickCount();
    OfferFile(window, out + L"slow.bin");
    EXPECT_TRUE(Eventually([&] { return PeerFile(peerDir, L"slow.bin") == file; }, 60000))
        << "after " << GetTickCount() - start << " ms the peer holds " << SizeOf(peerDir + L"slow.bin.part");
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    EXPECT_TRUE(PeerFrames(kFriendId, "020S").empty());

    // At 2 KB a second a send of blocks holds the link some 30 s: the user's cancel ends it
    // at the next block, the window's thread waiting no longer than the limit.
    Fake().Control(std::string("peer/read_rate?id=") + kFriendId + "&bytes=2048");
    ASSERT_TRUE(WriteWhole(out + L"long.bin", Pattern(2000000, 36)));
    auto timed = [](const std::function<void()>& action) {
        DWORD before = GetTickCount();
        action();
        return GetTickCount() - before;
    };
    auto runningSend = [&](long long past) {
        OfferFile(window, out + L"long.bin");
        EXPECT_TRUE(Eventually([&] { return SizeOf(peerDir + L"long.bin.part") > past + 2048; }, 10000));
        return Newest(window);
    };
    auto cancelSend = [&](TransferControl running, size_t notices) {
        EXPECT_LE(timed([&] { ASSERT_TRUE(ClickFirstLink(running)); }), chatdesk::kImSendLimitMs + 1000);
        EXPECT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 3000)) << "the send went on after the cancel";
        EXPECT_FALSE(running.InTransfer());
        // Behind what the link holds already, read at the peer's pace.
        EXPECT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == notices; }, 20000));
    };
    cancelSend(runningSend(0), 1);

    // Behind the next one, the window's answer to an offer of the peer's and its cancel of
    // that receive each hold its thread no longer than the limit, and reach the peer (by
    // the server when the link stays busy).
    TransferControl running = runningSend(SizeOf(peerDir + L"long.bin.part"));
    const char* back = "20261211141414000001";
    RawOffer(back, "back.bin", 100);
    ASSERT_TRUE(Eventually([&] { return FindTransferControl(window->DisplayOle(), back).RequestWaiting(); }, 5000));
    EXPECT_LE(timed([&] { AcceptAs(window, back, out + L"back.bin"); }), chatdesk::kImSendLimitMs + 1000);
    EXPECT_TRUE(Eventually([&] { return LastResumeCount(kFriendId) == 0; }, 5000)) << "the answer never came";
    TransferControl receiving = FindTransferControl(window->DisplayOle(), back);
    EXPECT_LE(timed([&] {
                  SendMessageW(window->Window(), chatdesk::kMsgRecvCancelled, 0,
                               reinterpret_cast<LPARAM>(receiving.Identity()));
              }),
              chatdesk::kImSendLimitMs + 1000);
    EXPECT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == 2; }, 5000));
    cancelSend(running, 3);
    Fake().Control(std::string("peer/read_rate?id=") + kFriendId + "&bytes=0");
    EXPECT_NE(nullptr, client->DirectLinkOf(window).get()) << "a busy link is not a broken one";
}

// Strangers on sixteen addresses fill every slot for accepted connections, each with a
// message nobody takes; a friend who links to us then still offers a file over the link.
TEST_F(ChildTransfer, StrangersFillingEverySlotLeaveAFriendRoomToLink) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    testkit::DebugLines lines;
    chatdesk::ChatText text;
    text.stamp = "20261211131313000001";
    text.senderId = "50005";
    text.receiverId = kOwnId;
    text.text = "hello";
    text.status = "1*";
    chatdesk::ImBytes notice = chatdesk::BuildChatText(text);
    sockaddr_in to = ClientEndpoint();
    std::vector<SOCKET> strangers;
    for (int host = 100; host < 116; ++host)
        for (int i = 0; i < 4; ++i) {
            SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in from = {};
            from.sin_family = AF_INET;
            from.sin_addr.s_addr = inet_addr(LoopbackAddress(host).c_str());
            ASSERT_EQ(0, bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from));
            ASSERT_EQ(0, connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to));
            send(s, reinterpret_cast<const char*>(notice.data()), static_cast<int>(notice.size()), 0);
            strangers.push_back(s);
        }
    ASSERT_TRUE(lines.WaitFor(L"that is not the peer's and was dropped", 64, 10000));

    std::wstring src = TestFolder(L"crowd-src"), in = TestFolder(L"crowd-in");
    std::string file = Pattern(30000, 37);
    ASSERT_TRUE(WriteWhole(src + L"crowd.bin", file));
    ASSERT_TRUE(StartScriptedPeer(kFriendId, std::string("&source=") + kPeerAddress));
    Fake().Control(std::string("peer/connect?id=") + kFriendId + "&address=" + kClientAddress +
                   "&port=" + std::to_string(kClientPort) + "&source=" + kPeerAddress);
    std::string stamp = Fake().Control(std::string("peer/offer?id=") + kFriendId + "&to=" + kOwnId +
                                       "&path=" + UnixPath(src + L"crowd.bin") + "&via=direct");
    ChatDialog* window = nullptr;
    ASSERT_TRUE(Eventually([&] {
        window = client.Window(kFriendId);
        return window && FindTransferControl(window->DisplayOle(), stamp).RequestWaiting();
    }, 5000)) << "the friend's offer over its link did not come";
    EXPECT_NE(nullptr, client->DirectLinkOf(window).get());
    ASSERT_TRUE(AcceptWith(FindTransferControl(window->DisplayOle(), stamp), in + L"crowd.bin"));
    ASSERT_TRUE(Eventually([&] { return Exists(in + L"crowd.bin") && window->TransferCount() == 0; }, 8000));
    std::string got;
    ASSERT_TRUE(ReadWhole(in + L"crowd.bin", &got));
    EXPECT_TRUE(got == file);
    EXPECT_TRUE(FakeFramesIn("005S").empty()) << "the blocks came over the link";
    for (SOCKET s : strangers) closesocket(s);
}

TEST_F(ChildTransfer, CancelsRejectsAndTheLostLink) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, std::wstring());  // the peer answers nothing itself
    ASSERT_NE(nullptr, window);
    std::wstring out = TestFolder(L"cancels"), in = TestFolder(L"cancels-in");
    ASSERT_TRUE(WriteWhole(out + L"small.bin", Pattern(3000, 5)));

    // Rejected: the newest waiting control shows it, the count drops; two more '1' change nothing.
    OfferFile(window, out + L"small.bin");
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "004S").size() == 1; }, 5000));
    TransferControl offered = Newest(window);
    EXPECT_TRUE(offered.SendWaiting());
    chatdesk::FileOfferReply no;
    no.replierId = kFriendId;
    no.offererId = kOwnId;
    for (int i = 0; i < 3; ++i) PeerSends(chatdesk::BuildFileOfferReply(no));
    ASSERT_TRUE(Eventually([&] { return !offered.SendWaiting(); }, 5000));
    PumpFor(500);
    EXPECT_EQ(0, window->TransferCount());
    // The limit is still one: a new offer goes out.
    OfferFile(window, out + L"small.bin");
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "004S").size() == 2; }, 5000));
    EXPECT_EQ(1, window->TransferCount());

    // The user cancels that offer: one cancel notice; the peer's later '0' sends no second
    // and no block.
    TransferControl second = Newest(window);
    SendMessageW(window->Window(), chatdesk::kMsgSendCancelled, 0, reinterpret_cast<LPARAM>(second.Identity()));
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == 1; }, 5000));
    EXPECT_EQ(0, window->TransferCount());
    chatdesk::FileOfferReply yes;
    yes.stamp = PeerFrames(kFriendId, "004S")[1].second.substr(64, 20);
    yes.replierId = kFriendId;
    yes.offererId = kOwnId;
    yes.accepted = true;
    PeerSends(chatdesk::BuildFileOfferReply(yes));
    PumpFor(800);
    EXPECT_EQ(1u, PeerFrames(kFriendId, "020S").size());
    EXPECT_TRUE(PeerFrames(kFriendId, "005S").empty());

    // A relayed rejection explains itself.
    OfferFile(window, out + L"small.bin");
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "004S").size() == 3; }, 5000));
    Fake().Control(std::string("peer/raw?id=") + kFriendId + "&via=server",
                   [&] {
                       std::vector<uint8_t> bytes = chatdesk::BuildFileOfferReply(no);
                       return std::string(bytes.begin(), bytes.end());
                   }());
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    std::string shown = DisplayText(window->Display());
    bool explained = shown.find(vantor::WideToAnsi(L"您与对方处于不同防火墙之后不能发送文件！")) != std::string::npos ||
                     shown.find(vantor::WideToAnsi(L"对方不在线，无法进行文件传输！")) != std::string::npos;
    EXPECT_TRUE(explained) << shown;

    // The receiver cancels while running: the ".im" stays with what arrived, later blocks get '1'.
    const char* stamp = "20261209111111000001";
    ASSERT_TRUE(AcceptRawOffer(window, stamp, "run.bin", 10000, in + L"run.bin", nullptr));
    PeerSends(RawBlock(stamp, 0, 4096, 'r'));
    ASSERT_TRUE(Eventually([&] { return Acks() == "0"; }, 5000));
    TransferControl running = FindTransferControl(window->DisplayOle(), stamp);
    EXPECT_TRUE(running.InTransfer());
    size_t notices = PeerFrames(kFriendId, "020S").size();
    SendMessageW(window->Window(), chatdesk::kMsgRecvCancelled, 0, reinterpret_cast<LPARAM>(running.Identity()));
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == notices + 1; }, 5000));
    EXPECT_EQ(0, window->TransferCount());
    EXPECT_EQ(4096 + kMark, SizeOf(in + L"run.bin.im"));
    PeerSends(RawBlock(stamp, 1, 4096, 'r'));
    ASSERT_TRUE(Eventually([&] { return Acks() == "01"; }, 5000));
    EXPECT_EQ(4096 + kMark, SizeOf(in + L"run.bin.im"));

    // The peer cancels a running receive: the control shows it, the count drops.
    const char* other = "20261209111111000002";
    ASSERT_TRUE(AcceptRawOffer(window, other, "run2.bin", 10000, in + L"run2.bin", nullptr));
    PeerSends(RawBlock(other, 0, 4096, 's'));
    ASSERT_TRUE(Eventually([&] { return Acks() == "010"; }, 5000));
    chatdesk::FileCancel cancel;
    cancel.cancellerId = kFriendId;
    cancel.otherId = kOwnId;
    PeerSends(chatdesk::BuildFileCancel(cancel));
    TransferControl cancelled = FindTransferControl(window->DisplayOle(), other);
    ASSERT_TRUE(Eventually([&] { return !cancelled.InTransfer(); }, 5000));
    EXPECT_EQ(0, window->TransferCount());
    EXPECT_EQ(4096 + kMark, SizeOf(in + L"run2.bin.im"));

    // After the link was lost once, a new transfer stops before its first block and
    // received blocks are answered '1'.
    window->LinkDropped();
    OfferFile(window, out + L"small.bin");
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "004S").size() == 4; }, 5000));
    yes.stamp = PeerFrames(kFriendId, "004S")[3].second.substr(64, 20);
    PeerSends(chatdesk::BuildFileOfferReply(yes));
    TransferControl stopped = Newest(window);
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    EXPECT_FALSE(stopped.InTransfer());
    EXPECT_FALSE(stopped.SendWaiting());
    EXPECT_TRUE(PeerFrames(kFriendId, "005S").empty());
    const char* late = "20261209111111000003";
    ASSERT_TRUE(AcceptRawOffer(window, late, "late.bin", 100, in + L"late.bin", nullptr));
    PeerSends(RawBlock(late, 0, 100, 'l'));
    ASSERT_TRUE(Eventually([&] { return Acks() == "0101"; }, 5000));
}

size_t ControlCount(ChatDialog* window) { return chatdesk::TransferControlsNewestFirst(window->DisplayOle()).size(); }

// Stands in for the file-transfer control's class while registered: every control it is
// asked for fails to be made.
class RefusingFactory : public IClassFactory {
public:
    RefusingFactory() {
        CoRegisterClassObject(CLSID_FileSendCtl, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~RefusingFactory() {
        if (cookie_) CoRevokeClassObject(cookie_);
    }
    bool Registered() const { return cookie_ != 0; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** out) override {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    DWORD cookie_ = 0;
};

TEST_F(ChildTransfer, AFailedInsertionLeavesTheCount) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    std::wstring peerDir = TestFolder(L"refused-peer");
    ChatDialog* window = LinkedWindow(client, peerDir);
    ASSERT_NE(nullptr, window);
    std::wstring out = TestFolder(L"refused");
    std::string file = Pattern(3000, 12);
    ASSERT_TRUE(WriteWhole(out + L"refused.bin", file));
    testkit::DebugLines lines;
    {
        RefusingFactory refusing;
        ASSERT_TRUE(refusing.Registered());
        // Our offer: no control, so no offer goes out; the count raised for it drops again.
        OfferFile(window, out + L"refused.bin");
        EXPECT_EQ(0, window->TransferCount());
        EXPECT_EQ(0u, ControlCount(window));
        EXPECT_EQ(0u, window->Transfers()->Count());
        EXPECT_NE(std::string::npos, DisplayText(window->Display()).find(vantor::WideToAnsi(L"发送文件失败")));
        // The peer's offer: nothing to answer with, nothing counted or listed.
        RawOffer("20261209131313000001", "offered.bin", 100);
        ASSERT_TRUE(lines.WaitFor(L"插入文件传输对象失败了", 1, 5000));
        EXPECT_EQ(0, window->TransferCount());
        EXPECT_EQ(0u, ControlCount(window));
        EXPECT_EQ(0u, window->Transfers()->Count());
    }
    PumpFor(300);
    EXPECT_TRUE(PeerFrames(kFriendId, "004S").empty());
    EXPECT_TRUE(PeerFrames(kFriendId, "004B").empty());

    // With the control back the same file goes through.
    OfferFile(window, out + L"refused.bin");
    EXPECT_EQ(1, window->TransferCount());
    ASSERT_TRUE(Eventually([&] { return PeerFile(peerDir, L"refused.bin") == file; }, 8000));
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 3000));
    EXPECT_EQ(1u, ControlCount(window));
}

// Files dropped on the window, as the shell hands them over.
HDROP DropOf(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const std::wstring& path : paths) chars += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& path : paths) {
        memcpy(names, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        names += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(ChildTransfer, TheLimitTheSizeRuleAndTheOpenDialog) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, std::wstring());
    ASSERT_NE(nullptr, window);
    HWND dialog = window->Window();
    std::wstring out = TestFolder(L"limit");
    std::vector<std::wstring> three;
    for (const wchar_t* name : {L"one.bin", L"two.bin", L"three.bin"}) {
        ASSERT_TRUE(WriteWhole(out + name, Pattern(500, 6)));
        three.push_back(out + name);
    }

    // One transfer counted: choosing, dropping three and the close button all refuse.
    window->CountTransfer(true);
    auto boxes = BoxesDuring([&] { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kFileButton, BN_CLICKED), 0); }, 1);
    EXPECT_EQ(std::vector<std::wstring>{L"已经有文件进行传输了！"}, boxes);
    boxes = BoxesDuring([&] { SendMessageW(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(three)), 0); }, 1);
    EXPECT_EQ(std::vector<std::wstring>{L"已经有文件进行传输了！"}, boxes);
    boxes = BoxesDuring([&] { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kCloseButton, BN_CLICKED), 0); }, 1);
    EXPECT_EQ(std::vector<std::wstring>{L"有文件正在传输，请先中断传输！"}, boxes);
    PumpFor(300);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(0u, ControlCount(window));
    EXPECT_EQ(1, window->TransferCount());
    window->CountTransfer(false);

    // None counted: of three dropped files the first is offered, then the limit speaks.
    boxes = BoxesDuring([&] { SendMessageW(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(three)), 0); }, 1);
    EXPECT_EQ(std::vector<std::wstring>{L"已经有文件进行传输了！"}, boxes);
    EXPECT_EQ(1u, ControlCount(window));
    EXPECT_EQ(1, window->TransferCount());
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "004S").size() == 1; }, 5000));
    chatdesk::FileOffer offer;
    const std::string& sent = PeerFrames(kFriendId, "004S")[0].second;
    ASSERT_TRUE(chatdesk::ReadFileOffer(reinterpret_cast<const uint8_t*>(sent.data()), sent.size(), &offer));
    EXPECT_EQ(vantor::WideToAnsi(three[0]), offer.path);
    EXPECT_EQ(500u, offer.size);
    SendMessageW(dialog, chatdesk::kMsgSendCancelled, 0, reinterpret_cast<LPARAM>(Newest(window).Identity()));
    EXPECT_EQ(0, window->TransferCount());

    // A sparse file of 4 GiB is not offered.
    std::wstring huge = out + L"huge.bin";
    HANDLE file = CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = 1LL << 32;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    boxes = BoxesDuring([&] { OfferFile(window, huge); }, 1);
    DeleteFileW(huge.c_str());
    EXPECT_EQ(std::vector<std::wstring>{L"文件太大，不能传输！"}, boxes);
    EXPECT_EQ(0, window->TransferCount());
    EXPECT_EQ(1u, ControlCount(window));

    // The open dialog answered: the chosen file is offered.
    FileDialogAnswer answer([&](HWND open) { FileDialogAnswer::Confirm(open, three[1]); });
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kFileButton, BN_CLICKED), 0);
    ASSERT_TRUE(answer.Found());
    ASSERT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "004S").size() == 2; }, 5000));
    EXPECT_EQ(1, window->TransferCount());
    EXPECT_EQ(2u, ControlCount(window));
    EXPECT_TRUE(Newest(window).SendWaiting());
}

TEST_F(ChildTransfer, ClosingEndsTransfersWithinTheBound) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, TestFolder(L"stall-peer"));
    ASSERT_NE(nullptr, window);
    std::wstring src = TestFolder(L"stall"), in = TestFolder(L"stall-in");
    std::string file = Pattern(50000, 7);
    ASSERT_TRUE(WriteWhole(src + L"stall.bin", file));

    // A peer that stalls after two blocks; the window closes: the ".im" keeps them, the
    // peer hears a cancel.
    Fake().Control(std::string("peer/stop_after?id=") + kFriendId + "&blocks=2");
    std::string stamp = Fake().Control(std::string("peer/offer?id=") + kFriendId + "&to=" + kOwnId +
                                       "&path=" + UnixPath(src + L"stall.bin") + "&via=direct");
    ASSERT_TRUE(Eventually([&] { return FindTransferControl(window->DisplayOle(), stamp).RequestWaiting(); }, 5000));
    ASSERT_TRUE(AcceptWith(FindTransferControl(window->DisplayOle(), stamp), in + L"stall.bin"));
    ASSERT_TRUE(Eventually([&] { return SizeOf(in + L"stall.bin.im") == 8192 + kMark; }, 5000));
    EXPECT_EQ(1, window->TransferCount());
    HWND dialog = window->Window();
    DWORD start = GetTickCount();
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD took = GetTickCount() - start;
    ASSERT_TRUE(Eventually([&] { return !IsWindow(dialog); }, 3000));
    EXPECT_LT(took, 3000u);
    EXPECT_EQ(8192 + kMark, SizeOf(in + L"stall.bin.im"));
    EXPECT_FALSE(Exists(in + L"stall.bin"));
    EXPECT_TRUE(Eventually([&] { return PeerFrames(kFriendId, "020S").size() == 1; }, 3000));

    // A new window and the same offer resume from the ".im" to a correct file.
    Fake().Control(std::string("peer/stop_after?id=") + kFriendId + "&blocks=100000");
    window = LinkedWindow(client, std::wstring(), false);
    ASSERT_NE(nullptr, window);
    stamp = Fake().Control(std::string("peer/offer?id=") + kFriendId + "&to=" + kOwnId +
                           "&path=" + UnixPath(src + L"stall.bin") + "&via=direct");
    ASSERT_TRUE(Eventually([&] { return FindTransferControl(window->DisplayOle(), stamp).RequestWaiting(); }, 5000));
    ASSERT_TRUE(AcceptWith(FindTransferControl(window->DisplayOle(), stamp), in + L"stall.bin"));
    ASSERT_TRUE(Eventually([&] { return Exists(in + L"stall.bin"); }, 8000));
    std::string got;
    ASSERT_TRUE(ReadWhole(in + L"stall.bin", &got));
    EXPECT_TRUE(got == file);
    EXPECT_FALSE(Exists(in + L"stall.bin.im"));
    auto replies = PeerFrames(kFriendId, "004B");
    ASSERT_FALSE(replies.empty());
    EXPECT_EQ(8192u, chatdesk::ReadU32(reinterpret_cast<const uint8_t*>(replies.back().second.data()) + 145));

    // A running send stops at its next block when the window closes; no send thread stays.
    std::wstring out = TestFolder(L"stall-out");
    ASSERT_TRUE(WriteWhole(out + L"big.bin", Pattern(60u << 20, 8)));
    dialog = window->Window();
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(dialog); }, 3000));
    PumpFor(1000);  // the closed window's link is gone on both sides
    window = LinkedWindow(client, std::wstring(), false);
    ASSERT_NE(nullptr, window);
    size_t before = ThreadCount();
    OfferFile(window, out + L"big.bin");
    PumpFor(1500);  // accepted and running by now
    dialog = window->Window();
    start = GetTickCount();
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    took = GetTickCount() - start;
    EXPECT_LT(took, 10500u);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(dialog); }, 3000));
    EXPECT_TRUE(Eventually([&] { return ThreadCount() < before + 1; }, 3000)) << ThreadCount() << " " << before;
}

TEST_F(ChildTransfer, AnOfferShowsAWindowMadeHiddenForALinkRequest) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ASSERT_TRUE(StartScriptedPeer(kFriendId));
    Fake().Control(std::string("send_002s?to=10001&requester=") + kFriendId + "&address=127.0.0.31&port=1");
    ASSERT_TRUE(Eventually([&] { return client.Window(kFriendId) != nullptr; }, 5000));
    ChatDialog* window = client.Window(kFriendId);
    EXPECT_FALSE(IsWindowVisible(window->Window()));
    chatdesk::FileOffer offer;
    offer.stamp = "20261210080000000001";
    offer.offererId = kFriendId;
    offer.receiverId = kOwnId;
    offer.path = "shown.bin";
    offer.size = 100;
    std::vector<uint8_t> bytes = chatdesk::BuildFileOffer(offer);
    Fake().Control(std::string("peer/raw?id=") + kFriendId + "&via=server", std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(Eventually([&] { return Newest(window).RequestWaiting(); }, 5000));
    EXPECT_TRUE(IsWindowVisible(window->Window())) << "the offer waits in a hidden window";
}

// The control library's own answer: S_OK once none of its objects lives.
HRESULT ControlLibraryUnloadable() {
    HMODULE module = GetModuleHandleW(L"FileSendCtl.dll");
    if (!module) return S_OK;
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_FAIL;
}

TEST_F(ChildTransfer, ControlsGoWithTheirWindowHoweverTheirTransfersEnded) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = LinkedWindow(client, std::wstring());  // the peer answers nothing itself
    ASSERT_NE(nullptr, window);
    std::wstring out = TestFolder(L"freed"), in = TestFolder(L"freed-in");
    ASSERT_TRUE(WriteWhole(out + L"small.bin", Pattern(3000, 13)));
    chatdesk::FileOfferReply reply;
    reply.replierId = kFriendId;
    reply.offererId = kOwnId;
    auto offerAnswered = [&](bool accepted) {
        size_t offers = PeerFrames(kFriendId, "004S").size();
        OfferFile(window, out + L"small.bin");
        if (!Eventually([&] { return PeerFrames(kFriendId, "004S").size() == offers + 1; }, 5000)) return false;
        reply.accepted = accepted;
        reply.stamp = accepted ? PeerFrames(kFriendId, "004S").back().second.substr(64, 20) : std::string();
        PeerSends(chatdesk::BuildFileOfferReply(reply));
        return Eventually([&] { return window->TransferCount() == 0; }, 5000);
    };
    // Sent whole; rejected by the peer.
    ASSERT_TRUE(offerAnswered(true));
    ASSERT_TRUE(offerAnswered(false));
    // Cancelled by the user while offered.
    OfferFile(window, out + L"small.bin");
    ASSERT_TRUE(ClickFirstLink(Newest(window)));
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    // Received whole; cancelled by the peer while running; rejected by the user.
    ASSERT_TRUE(AcceptRawOffer(window, "20261210090000000001", "whole.bin", 100, in + L"whole.bin", nullptr));
    PeerSends(RawBlock("20261210090000000001", 0, 100, 'w'));
    ASSERT_TRUE(Eventually([&] { return Exists(in + L"whole.bin") && window->TransferCount() == 0; }, 5000));
    ASSERT_TRUE(AcceptRawOffer(window, "20261210090000000002", "half.bin", 10000, in + L"half.bin", nullptr));
    chatdesk::FileCancel cancel;
    cancel.cancellerId = kFriendId;
    cancel.otherId = kOwnId;
    PeerSends(chatdesk::BuildFileCancel(cancel));
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    RawOffer("20261210090000000003", "unwanted.bin", 100);
    ASSERT_TRUE(Eventually([&] { return Newest(window).RequestWaiting(); }, 5000));
    SendMessageW(window->Window(), chatdesk::kMsgRecvRejected, 0, reinterpret_cast<LPARAM>(Newest(window).Identity()));
    // Left running and waiting when the window closes.
    ASSERT_TRUE(AcceptRawOffer(window, "20261210090000000004", "open.bin", 10000, in + L"open.bin", nullptr));
    RawOffer("20261210090000000005", "waiting.bin", 100);
    ASSERT_TRUE(Eventually([&] { return ControlCount(window) == 8; }, 5000));
    EXPECT_EQ(S_FALSE, ControlLibraryUnloadable()) << "the display shows them";

    HWND dialog = window->Window();
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(dialog); }, 5000));
    PumpFor(300);
    EXPECT_EQ(S_OK, ControlLibraryUnloadable()) << "a control, its sink or a lock of the library is left";
}

TEST_F(ChildTransfer, FiftyMillionBytesToThePeer) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    std::wstring peerDir = TestFolder(L"fifty-in");
    ChatDialog* window = LinkedWindow(client, peerDir);
    ASSERT_NE(nullptr, window);
    std::wstring out = TestFolder(L"fifty");
    std::string file = Pattern(50000000, 9);
    ASSERT_TRUE(WriteWhole(out + L"fifty.bin", file));
    OfferFile(window, out + L"fifty.bin");
    ASSERT_TRUE(Eventually([&] { return SizeOf(peerDir + L"fifty.bin") == 50000000; }, 120000));
    std::string got;
    ASSERT_TRUE(ReadWhole(peerDir + L"fifty.bin", &got));
    EXPECT_TRUE(got == file);
    std::vector<uint32_t> counts = BlockCounts(kFriendId);
    ASSERT_EQ(12208u, counts.size());
    EXPECT_EQ(128u, counts.back());
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    EXPECT_FALSE(Newest(window).InTransfer());
}

testkit::Capture Stacked(const testkit::Capture& top, const testkit::Capture& bottom) {
    testkit::Capture both;
    both.width = std::max(top.width, bottom.width);
    both.height = top.height + bottom.height;
    both.pixels.assign(static_cast<size_t>(both.width) * both.height, RGB(255, 255, 255));
    for (int y = 0; y < top.height; ++y)
        for (int x = 0; x < top.width; ++x) both.pixels[static_cast<size_t>(y) * both.width + x] = top.At(x, y);
    for (int y = 0; y < bottom.height; ++y)
        for (int x = 0; x < bottom.width; ++x)
            both.pixels[static_cast<size_t>(y + top.height) * both.width + x] = bottom.At(x, y);
    return both;
}

TEST_F(ChildTransfer, PictureOfTheControlsInTheDisplay) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    std::wstring peerDir = TestFolder(L"shot-peer"), src = TestFolder(L"shot-src"), in = TestFolder(L"shot-in");
    ChatDialog* window = LinkedWindow(client, peerDir);
    ASSERT_NE(nullptr, window);
    HWND dialog = window->Window();

    // Sent whole, then received whole.
    ASSERT_TRUE(WriteWhole(src + L"季度报告.doc", Pattern(30000, 10)));
    OfferFile(window, src + L"季度报告.doc");
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0 && !Newest(window).SendWaiting() &&
                                        !Newest(window).InTransfer(); }, 8000));
    ASSERT_TRUE(WriteWhole(src + L"photo.jpg", Pattern(1500, 11)));
    std::string stamp = Fake().Control(std::string("peer/offer?id=") + kFriendId + "&to=" + kOwnId +
                                       "&path=" + UnixPath(src + L"photo.jpg") + "&via=direct");
    ASSERT_TRUE(Eventually([&] { return FindTransferControl(window->DisplayOle(), stamp).RequestWaiting(); }, 5000));
    ASSERT_TRUE(AcceptWith(FindTransferControl(window->DisplayOle(), stamp), in + L"photo.jpg"));
    ASSERT_TRUE(Eventually([&] { return Exists(in + L"photo.jpg") && window->TransferCount() == 0; }, 8000));
    PumpFor(500);
    testkit::Capture first = testkit::CaptureWindow(dialog);

    // Cancelled by the peer while running, then one receiving at 40 %.
    const char* cancelled = "20261209121212000001";
    ASSERT_TRUE(AcceptRawOffer(window, cancelled, "C:\\data\\backup.zip", 10000, in + L"backup.zip", nullptr));
    PeerSends(RawBlock(cancelled, 0, 4096, 'c'));
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 1 && Acks().size() >= 1; }, 5000));
    chatdesk::FileCancel cancel;
    cancel.cancellerId = kFriendId;
    cancel.otherId = kOwnId;
    PeerSends(chatdesk::BuildFileCancel(cancel));
    ASSERT_TRUE(Eventually([&] { return window->TransferCount() == 0; }, 5000));
    const char* running = "20261209121212000002";
    ASSERT_TRUE(AcceptRawOffer(window, running, "C:\\data\\notes.txt", 10000, in + L"notes.txt", nullptr));
    PeerSends(RawBlock(running, 0, 4096, 'n'));
    ASSERT_TRUE(Eventually([&] { return SizeOf(in + L"notes.txt.im") == 4096 + kMark; }, 5000));
    PumpFor(500);
    SaveChatPicture(Stacked(first, testkit::CaptureWindow(dialog)), L"chat-transfer.bmp");
}

TEST(ChatTransfer, RunsInAChild) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    SetEnvironmentVariableW(L"CHATDESK_SHOT_DIR", (testkit::ProgramDir() + L"screenshots").c_str());
    char filter[256] = "ChildTransfer.*";
    GetEnvironmentVariableA("CHATDESK_TRANSFER_TESTS", filter, sizeof filter);
    // The slow peers alone take a good minute: the child has most of the test's own limit.
    EXPECT_TRUE(RunChild("transfer", filter, 330000));
}
