// Chat texts in a client logged in to the fake IM server: sending relayed with receipts
// and records, receiving plain and formatted texts, refused texts and their offline offer,
// time-outs, damaged texts, and the offline-message window.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <cstring>
#include <thread>

#include "CharFormats.h"
#include "ChatDialog.h"
#include "ChildRun.h"
#include "ContactSetup.h"
#include "DialogDriver.h"
#include "DisplayObjects.h"
#include "Emoticons.h"
#include "ImClock.h"
#include "ImMessages.h"
#include "ImService.h"
#include "ModulePath.h"
#include "ProgramFolder.h"
#include "QueueRecord.h"
#include "RecordStore.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "WindowClient.h"
#include "Text.h"
#include "TextTransport.h"

using namespace cdtest;
using chatdesk::ChatDialog;

namespace {

class ChildTexts : public ChildTest {
protected:
    ChildTexts() : ChildTest("texts") {}
    void TearDown() override {
        if (!InChild()) return;
        for (const char* id : {"20002", "20003"}) Fake().Control(std::string("peer/stop?id=") + id);
    }
};

// Types into the compose box and presses the send button.
void Send(ChatDialog* window, const wchar_t* text) {
    HWND dialog = window->Window();
    testkit::SetText(dialog, chatdesk::kComposeId, text);
    PumpFor(50);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kSendButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, chatdesk::kSendButton)));
}

std::vector<std::string> PeerTexts(const char* id) {
    std::vector<std::string> texts;
    for (const auto& frame : PeerFrames(id, "003S")) texts.push_back(frame.second);
    return texts;
}

std::vector<chatdesk::ChatRecordBytes> Records(const char* peer) {
    chatdesk::RecordStore store(chatdesk::SystemRecordFiles(), chatdesk::LocalImTime);
    return store.List(chatdesk::RecordFilePath(vantor::imkit::ProgramFolder(), vantor::AnsiToWide(kOwnId),
                                               vantor::AnsiToWide(peer)));
}

// Clicks a link of the display: the notification a left-button release makes.
void ClickLink(ChatDialog* window, LONG at) {
    ENLINK link = {};
    link.nmhdr.hwndFrom = window->Display();
    link.nmhdr.idFrom = chatdesk::kDisplayId;
    link.nmhdr.code = EN_LINK;
    link.msg = WM_LBUTTONUP;
    link.chrg.cpMin = at;
    link.chrg.cpMax = at + 4;
    SendMessageW(window->Window(), WM_NOTIFY, chatdesk::kDisplayId, reinterpret_cast<LPARAM>(&link));
}

// Character positions of every occurrence of a text in the display.
std::vector<LONG> FindAll(HWND edit, const wchar_t* text) {
    std::vector<LONG> found;
    FINDTEXTW find = {{0, -1}, text};
    for (;;) {
        LONG at = static_cast<LONG>(SendMessageW(edit, EM_FINDTEXTW, FR_DOWN, reinterpret_cast<LPARAM>(&find)));
        if (at < 0) return found;
        found.push_back(at);
        find.chrg.cpMin = at + 1;
    }
}

bool IsLink(HWND edit, LONG at) {
    SendMessageW(edit, EM_SETSEL, at, at + 1);
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return (format.dwEffects & CFE_LINK) != 0;
}

size_t ObjectCount(HWND edit) {
    vantor::ComPtr<IRichEditOle> ole;
    SendMessageW(edit, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(ole.put()));
    return ole ? static_cast<size_t>(ole->GetObjectCount()) : 0;
}

}  // namespace

TEST_F(ChildTexts, RelayedTextsGetReceiptsAndRecordsAndTheAnswerIsShown) {
    WindowClient client;
    ChatDialog* window = client.OpenWithPeer();
    ASSERT_NE(nullptr, window);
    ASSERT_FALSE(client->DirectLinkOf(window).get());

    // The first text is formatted, the second plain; both relayed and answered '0'.
    Send(window, L"你好");
    ASSERT_TRUE(Eventually([&] { return PeerTexts(kFriendId).size() == 1; }, 5000));
    Send(window, L"second");
    ASSERT_TRUE(Eventually([&] { return PeerTexts(kFriendId).size() == 2; }, 5000));
    std::vector<std::string> texts = PeerTexts(kFriendId);
    std::string first = texts[0], second = texts[1];
    EXPECT_EQ(195u + 4, first.size());
    EXPECT_EQ('2', first[144]);
    EXPECT_EQ("0006", first.substr(187, 4));
    EXPECT_EQ("\r\n", first.substr(first.size() - 2));
    EXPECT_EQ(153u + 6, second.size());
    EXPECT_EQ('0', second[144]);
    EXPECT_EQ(std::string("8", 1), second.substr(145, 1));
    EXPECT_EQ("second", second.substr(149, 6));
    EXPECT_EQ(kOwnId, std::string(first.c_str() + 84));
    EXPECT_EQ(kFriendId, std::string(first.c_str() + 104));
    ASSERT_TRUE(Eventually([&] { return window->Texts().Waiting() == 0; }, 5000));

    std::string shown = EditText(window->Display());
    EXPECT_TRUE(Contains(shown, "你好\r\n")) << shown;
    EXPECT_TRUE(Contains(shown, "second\r\n"));
    EXPECT_TRUE(Contains(shown, "<时间：")) << shown;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window->Window(), chatdesk::kSendButton)));
    EXPECT_TRUE(testkit::Text(window->Window(), chatdesk::kComposeId).empty());

    // Two records, newest first.
    std::vector<chatdesk::ChatRecordBytes> records = Records(kFriendId);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("second", chatdesk::ReadChatRecord(records[0].data()).text);
    EXPECT_EQ(testkit::Ansi("你好"), chatdesk::ReadChatRecord(records[1].data()).text);

    // The peer answers "hi^>there", reporting status 1.
    std::string stamp = Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=hi%5E%3Ethere");
    ASSERT_EQ(20u, stamp.size()) << stamp;
    ASSERT_TRUE(Eventually([&] { return Contains(EditText(window->Display()), "there"); }, 5000));
    shown = EditText(window->Display());
    EXPECT_TRUE(Contains(shown, "hi\r\nthere\r\n")) << shown;
    std::string expected = testkit::Ansi("<Lan> <时间：") + stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" +
                           stamp.substr(6, 2) + " " + stamp.substr(8, 2) + ":" + stamp.substr(10, 2) + ":" +
                           stamp.substr(12, 2) + ">\r\n";
    EXPECT_NE(std::string::npos, shown.find(expected)) << shown << "\n" << expected;
    auto receipts = PeerFrames(kFriendId, "003B");
    ASSERT_FALSE(receipts.empty());
    EXPECT_EQ(147u, receipts.back().second.size());
    EXPECT_EQ('0', receipts.back().second[144]);
    EXPECT_EQ(stamp, receipts.back().second.substr(64, 20));
    records = Records(kFriendId);
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ('0', static_cast<char>(records[0][144]));
    EXPECT_EQ("11", std::string(reinterpret_cast<const char*>(records[0].data()) + 187, 2));
    EXPECT_EQ(1, window->Peer().status.status);

    // No time-out for texts that got their receipt.
    PumpFor(12000);
    EXPECT_FALSE(Contains(EditText(window->Display()), "发送超时了"));
}

TEST_F(ChildTexts, TextsWhileAnotherProgramReadsTheHistoryAreKeptAndWrittenLater) {
    // A history another program reads, sharing reads only, so it can be neither replaced
    // nor written; and marked read-only by the user.
    std::wstring folder = testkit::ProgramDir() + L"10001";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder + L"\\Chat20002.rec";
    chatdesk::ImBytes old = chatdesk::BuildChatText({"20260102030405006000", kFriendId, kOwnId, false, {},
                                                     testkit::Ansi("旧话"), "1*"});
    chatdesk::ChatRecordBytes oldRecord;
    ASSERT_TRUE(chatdesk::BuildChatRecord(old.data(), old.size(), false, &oldRecord));
    const std::string oldBytes(oldRecord.begin(), oldRecord.end());
    ASSERT_TRUE(testkit::WriteFileBytes(path, oldBytes));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    {
        WindowClient client;
        ChatDialog* window = client.OpenWithPeer();
        ASSERT_NE(nullptr, window);
        Send(window, L"读着也记下");
        ASSERT_TRUE(Eventually([&] { return PeerTexts(kFriendId).size() == 1 && window->Texts().Waiting() == 0; },
                               5000));
        Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=answer");
        ASSERT_TRUE(Eventually([&] { return Contains(EditText(window->Display()), "answer"); }, 5000));
        // The history as the viewer lists it holds both, though the file could not take them.
        std::vector<chatdesk::ChatRecordBytes> records = Records(kFriendId);
        ASSERT_EQ(3u, records.size());
        EXPECT_EQ("answer", chatdesk::ReadChatRecord(records[0].data()).text);
        EXPECT_EQ(testkit::Ansi("读着也记下"), chatdesk::ReadChatRecord(records[1].data()).text);
        EXPECT_EQ(oldBytes, testkit::ReadFileBytes(path));
        // Closed while the file is still held: the texts wait for the next window, which
        // puts them in; its own last text goes in as the plug-in ends.
        ASSERT_TRUE(CloseChat(window));
        CloseHandle(reader);
        window = client.Open(Contacts().friendEntry, kFriendId);
        ASSERT_NE(nullptr, window);
        Send(window, L"最后一句");
        ASSERT_TRUE(Eventually([&] { return PeerTexts(kFriendId).size() == 2; }, 5000));
    }
    std::string history = testkit::ReadFileBytes(path);
    ASSERT_EQ(4u * chatdesk::kChatRecordSize, history.size());
    const uint8_t* at = reinterpret_cast<const uint8_t*>(history.data());
    EXPECT_EQ(testkit::Ansi("最后一句"), chatdesk::ReadChatRecord(at).text);
    EXPECT_EQ("answer", chatdesk::ReadChatRecord(at + chatdesk::kChatRecordSize).text);
    EXPECT_EQ(oldBytes, history.substr(3 * chatdesk::kChatRecordSize));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(chatdesk::PendingRecordsPath(path).c_str()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ChildTexts, RefusedTextsOfferToLeaveAMessage) {
    WindowClient client;
    ChatDialog* window = client.OpenWithPeer("&receipt=1");
    ASSERT_NE(nullptr, window);
    HWND display = window->Display();

    // Refused: the failure line and the offer; the text waits for the user.
    Send(window, L"留言一");
    ASSERT_TRUE(Eventually([&] { return FindAll(display, L"放弃留言").size() == 1; }, 5000)) << EditText(display);
    EXPECT_TRUE(Contains(EditText(display), "    消息：\"留言一\" 发送失败了！"));
    std::vector<LONG> sends = FindAll(display, L"发送留言");
    std::vector<LONG> giveUps = FindAll(display, L"放弃留言");
    ASSERT_EQ(1u, sends.size());
    EXPECT_TRUE(IsLink(display, sends[0]));
    EXPECT_TRUE(IsLink(display, giveUps[0]));
    EXPECT_EQ(1u, window->Texts().Waiting());

    // "发送留言": a store by relay (961 bytes: a window's first text is formatted); the
    // server's '0' removes it silently.
    ClickLink(window, sends[0]);
    ASSERT_TRUE(Eventually([&] { return FakeFramesIn("014S").size() == 1; }, 5000));
    std::string store = FakeFramesIn("014S")[0];
    EXPECT_EQ(961u, store.size());
    ASSERT_TRUE(Eventually([&] { return window->Texts().Waiting() == 0; }, 5000));
    EXPECT_FALSE(IsLink(display, sends[0]));
    EXPECT_FALSE(IsLink(display, giveUps[0]));
    EXPECT_FALSE(Contains(EditText(display), "    留言："));

    // The server refuses to keep the next one: the store failure line.
    Fake().Control("store_result?result=1");
    Send(window, L"留言二");
    ASSERT_TRUE(Eventually([&] { return FindAll(display, L"发送留言").size() == 2; }, 5000));
    ClickLink(window, FindAll(display, L"发送留言")[1]);
    ASSERT_TRUE(Eventually([&] { return Contains(EditText(display), "    留言： \"留言二\" 发送失败了！"); }, 5000))
        << EditText(display);
    EXPECT_EQ(931u, FakeFramesIn("014S")[1].size());
    EXPECT_EQ(0u, window->Texts().Waiting());

    // "放弃留言" drops the text and sends nothing, also when the window is narrow and the
    // offer wraps over several lines.
    RECT rect;
    GetWindowRect(display, &rect);
    SetWindowPos(display, nullptr, 0, 0, 120, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
    Send(window, L"留言三");
    ASSERT_TRUE(Eventually([&] { return FindAll(display, L"发送留言").size() == 3; }, 5000));
    EXPECT_EQ(1u, window->Texts().Waiting());
    ClickLink(window, FindAll(display, L"放弃留言").back());
    EXPECT_EQ(0u, window->Texts().Waiting());
    PumpFor(500);
    EXPECT_EQ(2u, FakeFramesIn("014S").size());
    EXPECT_FALSE(IsLink(display, FindAll(display, L"发送留言").back()));
}

TEST_F(ChildTexts, AnAnswerFromAnotherAccountDropsTheLinkWithoutOffer) {
    WindowClient client;
    ChatDialog* window = client.OpenWithPeer("&receipt=3");
    ASSERT_NE(nullptr, window);
    Send(window, L"wrong");
    ASSERT_TRUE(Eventually([&] { return Contains(EditText(window->Display()), "    消息：\"wrong\" 发送失败了！"); }, 5000));
    PumpFor(300);
    EXPECT_TRUE(FindAll(window->Display(), L"发送留言").empty());
    EXPECT_EQ(0u, window->Texts().Waiting());
    EXPECT_FALSE(client->DirectLinkOf(window).get());
    EXPECT_EQ(0u, window->Peer().status.localIp);
}

TEST_F(ChildTexts, SwallowedTextsTimeOutOnOneTickAndALateReceiptFindsNothing) {
    WindowClient client;
    ChatDialog* window = client.OpenWithPeer();
    ASSERT_NE(nullptr, window);
    // Two texts sent at once, both swallowed: both are reported on the same tick.
    Fake().Control("swallow?code=003S&count=2");
    HWND dialog = window->Window();
    for (const wchar_t* text : {L"丢了", L"也丢了"}) {
        testkit::SetText(dialog, chatdesk::kComposeId, text);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chatdesk::kSendButton, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, chatdesk::kSendButton)));
    }
    ASSERT_TRUE(Eventually([&] { return window->Texts().Waiting() == 2; }, 3000));
    PumpFor(9000);
    EXPECT_FALSE(Contains(EditText(window->Display()), "发送超时了"));
    ASSERT_TRUE(Eventually([&] { return Contains(EditText(window->Display()), "    消息：\"丢了\" 发送超时了！"); }, 5000))
        << EditText(window->Display());
    EXPECT_TRUE(Contains(EditText(window->Display()), "    消息：\"也丢了\" 发送超时了！"));
    EXPECT_EQ(0u, window->Texts().Waiting());
    // The receipt arriving now changes nothing.
    FakeFramesIn("003S");
    std::string shown = EditText(window->Display());
    chatdesk::ChatTextReceipt late;
    late.stamp = "20990101000000000000";
    late.senderId = kFriendId;
    late.textSenderId = kOwnId;
    late.result = '1';
    chatdesk::ImBytes bytes = chatdesk::BuildChatTextReceipt(late);
    Fake().Control(std::string("peer/raw?id=") + kFriendId, std::string(bytes.begin(), bytes.end()));
    PumpFor(800);
    EXPECT_EQ(shown, EditText(window->Display()));
}

TEST_F(ChildTexts, DamagedTextsShowNothingRecordNothingOpenNothing) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ASSERT_TRUE(StartScriptedPeer(kOtherFriend, "&receipt=none"));
    auto text = [](const char* digits, const char* sender) {
        chatdesk::ChatText t;
        t.stamp = "20260102030405006000";
        t.senderId = sender;
        t.receiverId = kOwnId;
        t.text = "abc";
        t.status = "1*";
        chatdesk::ImBytes bytes = chatdesk::BuildChatText(t);
        std::string msg(bytes.begin(), bytes.end());
        msg.replace(145, 4, std::string(digits, 4));
        return msg;
    };
    for (const char* digits : {"9999", "0001", "0000"})
        Fake().Control(std::string("peer/raw?id=") + kOtherFriend, text(digits, kOtherFriend));
    std::string badSender = text("5\0\0\0", "..\\x");
    Fake().Control(std::string("peer/raw?id=") + kOtherFriend, badSender);
    PumpFor(1500);
    EXPECT_EQ(nullptr, client->Find(kOtherFriend));
    EXPECT_EQ(nullptr, client->Find("..\\x"));
    EXPECT_EQ(0u, client->WindowCount());
    EXPECT_TRUE(Records(kOtherFriend).empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((testkit::ProgramDir() + L"x").c_str()));
    // The session survives.
    EXPECT_TRUE(HasSession(kOwnId));
}

TEST_F(ChildTexts, FormatsEmoticonsAndAHiddenWindow) {
    // A stored own format is found by the next window with that peer.
    CHARFORMATA own = {};
    own.cbSize = sizeof own;
    own.dwMask = CFM_BOLD | CFM_ITALIC | CFM_SIZE | CFM_FACE | CFM_COLOR | CFM_CHARSET;
    own.dwEffects = CFE_BOLD;
    own.yHeight = 240;
    own.crTextColor = RGB(0, 0, 0xC0);
    own.bCharSet = GB2312_CHARSET;
    lstrcpyA(own.szFaceName, "SimSun");
    ASSERT_TRUE(chatdesk::ChatFormatStore::InProgramFolder().SaveOwn(kFriendId, kOwnId, own));

    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ASSERT_TRUE(StartScriptedPeer(kFriendId));
    // A window made hidden for a link request is shown by a text.
    Fake().Control(std::string("send_002s?to=10001&requester=") + kFriendId + "&address=127.0.0.31&port=1");
    ASSERT_TRUE(Eventually([&] { return client.Window(kFriendId) != nullptr; }, 5000));
    ChatDialog* window = client.Window(kFriendId);
    EXPECT_FALSE(IsWindowVisible(window->Window()));
    EXPECT_EQ(240, window->OwnFormat().yHeight);
    EXPECT_TRUE(window->OwnFormat().dwEffects & CFE_BOLD);

    // A formatted text sets the peer format and stores it; a plain one after it is shown in it.
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=fmt&formatted=1");
    ASSERT_TRUE(Eventually([&] { return Contains(EditText(window->Display()), "fmt"); }, 5000));
    // The status it reports is stored without touching the rest of the friend's record.
    FriendInfoA stored = {};
    ASSERT_TRUE(Eventually([&] {
        client->Contacts().PeerRecord(kFriendId, &stored);
        return stored.status.status == 1;
    }, 3000));
    EXPECT_STREQ("Lan", stored.nickname);
    EXPECT_EQ(inet_addr(kPeerAddress), stored.status.publicIp);
    EXPECT_TRUE(IsWindowVisible(window->Window()));
    EXPECT_EQ(180, window->PeerFormat().yHeight);
    CHARFORMATA peerFormat = {};
    ASSERT_TRUE(chatdesk::ChatFormatStore::InProgramFolder().LoadPeer(kFriendId, &peerFormat));
    EXPECT_EQ(180, peerFormat.yHeight);
    EXPECT_STREQ("SimSun", peerFormat.szFaceName);
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=plain%7Cxy%20%7C%3A%29");
    ASSERT_TRUE(Eventually([&] { return Contains(EditText(window->Display()), "plain"); }, 5000));
    HWND display = window->Display();
    LONG at = FindAll(display, L"plain").front();
    SendMessageW(display, EM_SETSEL, at, at + 1);
    CHARFORMATA shown = {};
    shown.cbSize = sizeof shown;
    SendMessageA(display, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&shown));
    EXPECT_EQ(180, shown.yHeight);
    // "|" with two non-code characters stays text; a code becomes a picture.
    EXPECT_EQ(1u, FindAll(display, L"|xy").size()) << EditText(display);
    EXPECT_TRUE(FindAll(display, L"|:)").empty());
    EXPECT_EQ(1u, ObjectCount(display));

    // An emoticon picked into the compose box goes out as its code.
    int index = -1;
    HICON icon = vantor::imkit::EmoticonByCode("|:(", &index);
    ASSERT_NE(nullptr, icon);
    HWND compose = GetDlgItem(window->Window(), chatdesk::kComposeId);
    testkit::SetText(window->Window(), chatdesk::kComposeId, L"看");
    SendMessageW(compose, EM_SETSEL, -1, -1);
    SendMessageW(window->Window(), chatdesk::kMsgInsertEmoticon, index, reinterpret_cast<LPARAM>(icon));
    EXPECT_EQ(1u, ObjectCount(compose));
    SendMessageW(window->Window(), WM_COMMAND, MAKEWPARAM(chatdesk::kSendButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window->Window(), chatdesk::kSendButton)));
    ASSERT_TRUE(Eventually([&] { return PeerTexts(kFriendId).size() == 1; }, 5000));
    std::string sent = PeerTexts(kFriendId)[0];
    EXPECT_EQ(testkit::Ansi("看|:("), sent.substr(191, sent.size() - 195)) << sent.substr(191);
    EXPECT_EQ("SimSun", std::string(sent.c_str() + 145));
    EXPECT_EQ("24", sent.substr(177, 2));
    EXPECT_EQ("#c00000", sent.substr(180, 7));
    EXPECT_EQ(2u, ObjectCount(display));

    // The conversation's picture: Chinese, an emoticon, formatted text, offer links.
    Fake().Control(std::string("peer/receipt?id=") + kFriendId + "&result=1");
    Send(window, L"你在吗？");
    ASSERT_TRUE(Eventually([&] { return FindAll(display, L"放弃留言").size() == 1; }, 5000));
    PumpFor(300);
    SaveChatPicture(testkit::CaptureWindow(window->Window()), L"chat-conversation.bmp");
}

namespace {

BOOL CALLBACK FindFontDialog(HWND w, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(w, name, 16);
    if (IsWindowVisible(w) && lstrcmpW(name, L"#32770") == 0 && GetDlgItem(w, 0x472)) {
        *reinterpret_cast<HWND*>(found) = w;
        return FALSE;
    }
    return TRUE;
}

// Picks a point size in the font dialog that `thread` shows and presses OK.
void AnswerFontDialog(DWORD thread, const wchar_t* size) {
    HWND dialog = nullptr;
    for (int i = 0; i < 100 && !dialog; ++i) {
        EnumThreadWindows(thread, FindFontDialog, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog) Sleep(50);
    }
    if (!dialog) return;
    HWND sizes = GetDlgItem(dialog, 0x472);
    SendMessageW(sizes, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(size));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x472, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(sizes));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

}  // namespace

TEST_F(ChildTexts, AFontChoiceIsStoredAndEveryLaterTextFormatted) {
    WindowClient client;
    ChatDialog* window = client.OpenWithPeer();
    ASSERT_NE(nullptr, window);
    Send(window, L"one");
    Send(window, L"two");
    std::thread answer(AnswerFontDialog, GetCurrentThreadId(), L"24");
    SendMessageW(window->Window(), WM_COMMAND, MAKEWPARAM(chatdesk::kFontButton, BN_CLICKED), 0);
    answer.join();
    EXPECT_EQ(480, window->OwnFormat().yHeight);
    CHARFORMATA stored = {};
    ASSERT_TRUE(chatdesk::ChatFormatStore::InProgramFolder().LoadOwn(kFriendId, kOwnId, &stored));
    EXPECT_EQ(480, stored.yHeight);
    Send(window, L"three");
    Send(window, L"four");
    ASSERT_TRUE(Eventually([&] { return PeerTexts(kFriendId).size() == 4; }, 5000));
    std::vector<std::string> texts = PeerTexts(kFriendId);
    std::string forms;
    for (const std::string& text : texts) forms += text[144];
    EXPECT_EQ("2022", forms);
    EXPECT_EQ("48", texts[3].substr(177, 2));

    // The next window with that peer starts in the chosen format.
    ASSERT_TRUE(CloseChat(window));
    window = client.Open(Contacts().friendEntry, kFriendId);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(480, window->OwnFormat().yHeight);
}

TEST_F(ChildTexts, StoredMessagesGoToTheOfflineWindow) {
    // Two messages kept by the server before the client logs in.
    ASSERT_TRUE(StartScriptedPeer(kFriendId));
    for (int formatted = 0; formatted < 2; ++formatted) {
        chatdesk::ChatText text;
        text.stamp = formatted ? "20260304050607008000" : "20260203040506007000";
        text.senderId = kFriendId;
        text.receiverId = kOwnId;
        text.formatted = formatted != 0;
        text.format.face = "SimHei";
        text.format.heightTwips = 280;
        text.format.colour = RGB(0xC0, 0, 0);
        text.text = testkit::Ansi(formatted ? "留言带格式" : "留言不带格式");
        text.status = "1*";
        chatdesk::ImBytes bytes = chatdesk::BuildChatText(text);
        chatdesk::QueueRecord record;
        ASSERT_TRUE(chatdesk::MakeQueueRecord(bytes.data(), bytes.size(), formatted ? 191 : 149, &record));
        chatdesk::ImBytes store = chatdesk::RecordOfflineStore(record);
        Fake().Control(std::string("peer/raw?id=") + kFriendId, std::string(store.begin(), store.end()));
    }
    // A third from a stranger, whose name the client kernel knows.
    ASSERT_TRUE(StartScriptedPeer("20077"));
    {
        chatdesk::ChatText text;
        text.stamp = "20260405060708009000";
        text.senderId = "20077";
        text.receiverId = kOwnId;
        text.text = testkit::Ansi("陌生人的留言");
        text.status = "1*";
        chatdesk::ImBytes bytes = chatdesk::BuildChatText(text);
        chatdesk::QueueRecord record;
        ASSERT_TRUE(chatdesk::MakeQueueRecord(bytes.data(), bytes.size(), 149, &record));
        chatdesk::ImBytes store = chatdesk::RecordOfflineStore(record);
        Fake().Control("peer/raw?id=20077", std::string(store.begin(), store.end()));
    }
    ASSERT_TRUE(Eventually([] { return Fake().Control("stored?id=10001") == "3"; }, 3000));
    // Kept loaded, the stand-in of the client kernel remembers who asked it.
    vantor::UniqueModule core(LoadLibraryW((testkit::ProgramDir() + L"ClientCore.dll").c_str()));
    ASSERT_TRUE(core);
    using Thread = DWORD(WINAPI*)();
    auto asker = vantor::ProcAddress<Thread>(core.get(), "CoreStub_PublicInfoThread");
    ASSERT_NE(nullptr, asker);

    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    HWND offline = nullptr;
    ASSERT_TRUE(Eventually([&] {
        offline = FindWindowW(nullptr, L"留言消息");
        return offline && Contains(EditText(GetDlgItem(offline, 1008)), "留言带格式");
    }, 5000));
    EXPECT_FALSE(IsWindowVisible(offline));
    std::string shown = EditText(GetDlgItem(offline, 1008));
    EXPECT_TRUE(Contains(shown, "<Lan><时间：2026-02-03>\r\n留言不带格式\r\n")) << shown;
    EXPECT_TRUE(Contains(shown, "<Lan><时间：2026-03-04>\r\n留言带格式\r\n")) << shown;
    ASSERT_TRUE(Eventually([&] { return Contains(EditText(GetDlgItem(offline, 1008)), "陌生人的留言"); }, 5000));
    shown = EditText(GetDlgItem(offline, 1008));
    EXPECT_TRUE(Contains(shown, "<public 20077><时间：2026-04-05>\r\n陌生人的留言\r\n")) << shown;
    EXPECT_NE(0u, asker());
    EXPECT_NE(GetCurrentThreadId(), asker()) << "the window's thread waited for the client kernel";
    HWND edit = GetDlgItem(offline, 1008);
    LONG at = FindAll(edit, L"留言带格式").front();
    SendMessageW(edit, EM_SETSEL, at, at + 1);
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(280, format.yHeight);
    EXPECT_EQ(RGB(0xC0, 0, 0), format.crTextColor);
    SendMessageW(edit, EM_SETSEL, -1, -1);

    // Command 6 shows it; closing hides it with its content; command 6 again.
    client->DoCommand(6, 0);
    EXPECT_TRUE(IsWindowVisible(offline));
    PumpFor(300);
    SaveChatPicture(testkit::CaptureWindow(offline), L"offline-window.bmp");
    SendMessageW(offline, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpFor(100);
    EXPECT_TRUE(IsWindow(offline));
    EXPECT_FALSE(IsWindowVisible(offline));
    client->DoCommand(6, 0);
    EXPECT_TRUE(IsWindowVisible(offline));
    EXPECT_EQ(shown, EditText(GetDlgItem(offline, 1008)));
}

TEST(ChatTexts, RunInAChild) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    SetEnvironmentVariableW(L"CHATDESK_SHOT_DIR", (testkit::ProgramDir() + L"screenshots").c_str());
    char filter[256] = "ChildTexts.*";
    GetEnvironmentVariableA("CHATDESK_TEXT_TESTS", filter, sizeof filter);
    EXPECT_TRUE(RunChild("texts", filter));
}
