// The chat window's plain rules: names and captions, placements, the link target, the
// viewer's header lines, typing notices and the skin keys.
#include <gtest/gtest.h>

#include <cstring>

#include "ChatRules.h"
#include "ChatSkin.h"
#include "Handles.h"
#include "OfflineWindow.h"
#include "PaneRig.h"
#include "TestSupport.h"
#include "Text.h"

using namespace chatdesk;

namespace {

FriendInfoA Friend(const char* id, const char* nickname) {
    FriendInfoA f = {};
    strcpy(f.id, id);
    strcpy(f.nickname, nickname);
    return f;
}

}  // namespace

TEST(ChatRules, NamesCaptionsAndPictures) {
    FriendInfoA lan = Friend("20002", testkit::Ansi("小兰").c_str());
    FriendInfoA anonymous = Friend("20003", "");
    EXPECT_EQ(L"与 小兰 聊天中", ChatCaption(lan));
    EXPECT_EQ(L"与 20003 聊天中", ChatCaption(anonymous));
    EXPECT_EQ(L"20003 正在输入消息... ...", TypingLabel(anonymous));
    EXPECT_EQ(L"小兰 正在输入消息... ...", TypingLabel(lan));
    // A nickname that fills its field has no terminator inside it.
    FriendInfoA full = Friend("1", "");
    memset(full.nickname, 'n', sizeof full.nickname);
    EXPECT_EQ(std::string(24, 'n'), PeerName(full));
    EXPECT_EQ(4, StatusPicture(0));
    EXPECT_EQ(4, StatusPicture(10));
    EXPECT_EQ(5, StatusPicture(1));
    EXPECT_EQ(5, StatusPicture(11));
}

TEST(ChatRules, ViewerAndPickerPlaces) {
    RECT chat = {100, 50, 560, 450};
    RECT viewer = ViewerRect(chat, 180);
    EXPECT_EQ(100, viewer.left);
    EXPECT_EQ(450, viewer.top);
    EXPECT_EQ(560, viewer.right);
    EXPECT_EQ(630, viewer.bottom);
    // Room above the button: the picker's bottom 2 pixels below the button's top.
    RECT button = {120, 300, 170, 322};
    POINT above = PickerPosition(button, {311, 94}, 0);
    EXPECT_EQ(120, above.x);
    EXPECT_EQ(300 + 2 - 94, above.y);
    // Exactly the picker's height is still enough; one pixel less is not.
    EXPECT_EQ(2, PickerPosition({10, 94, 60, 110}, {311, 94}, 0).y);
    POINT below = PickerPosition({10, 93, 60, 110}, {311, 94}, 0);
    EXPECT_EQ(108, below.y);
}

TEST(ChatRules, LinkTargetBehindOneRouterTakesTheLocalAddress) {
    FriendStatus own = {};
    own.publicIp = 0x0100A8C0;
    FriendStatus peer = {};
    peer.publicIp = 0x0200A8C0;
    peer.localIp = 0x0500000A;
    EXPECT_EQ(0x0200A8C0u, LinkTarget(own, peer));
    peer.publicIp = own.publicIp;
    EXPECT_EQ(0x0500000Au, LinkTarget(own, peer));
    // Nothing known: no target (the attempt fails rather than connect to 0.0.0.0).
    FriendStatus none = {};
    EXPECT_EQ(0u, LinkTarget(none, none));
    EXPECT_EQ(0u, LinkTarget(own, none));
}

TEST(ChatRules, ViewerHeadersNameTheSender) {
    FriendInfoA peer = Friend("20002", testkit::Ansi("小兰").c_str());
    FriendInfoA own = Friend("10001", "me");
    ChatRecordView record;
    record.senderId = "20002";
    record.when = {2026, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(testkit::Ansi("<小兰> <时间：2026-01-02 03:04:05>\r\n"), ViewerHeader(record, peer, own));
    record.senderId = "10001";
    EXPECT_EQ(testkit::Ansi("<me> <时间：2026-01-02 03:04:05>\r\n"), ViewerHeader(record, peer, own));
    own.nickname[0] = 0;
    EXPECT_EQ(testkit::Ansi("<10001> <时间：2026-01-02 03:04:05>\r\n"), ViewerHeader(record, peer, own));
}

TEST(ChatRules, TypingSendsAtMostOneNoticePerTimerAndNoneAfterASend) {
    std::atomic<DWORD> flags{0x80000000u};  // the lost-link bit
    EXPECT_FALSE(TypingChanged(flags, false));  // an emptied box starts nothing
    EXPECT_TRUE(TypingChanged(flags, true));    // the first change starts the timer
    EXPECT_FALSE(TypingChanged(flags, true));   // later changes do not restart it
    EXPECT_TRUE(TypingTimerFired(flags));       // one notice
    EXPECT_FALSE(TypingTimerFired(flags));      // nothing typed since: none
    EXPECT_TRUE(TypingChanged(flags, true));
    flags &= ~kFlagTyped;                       // the text was sent
    EXPECT_FALSE(TypingTimerFired(flags));
    EXPECT_EQ(0x80000000u, flags.load());      // the other bits stay
}

TEST(ChatSkin, ButtonsAndViewerFrameFromTheNamedSkin) {
    std::wstring folder = testkit::FreshDir(L"chatskin");
    folder.pop_back();  // no trailing backslash
    // No skin named: nothing, and the default frame.
    EXPECT_FALSE(ReadChatButtonSkin(folder).present);
    EXPECT_EQ(kViewerFrameColour, ReadViewerFrameColour(folder));

    CreateDirectoryW((folder + L"\\config").c_str(), nullptr);
    testkit::WriteFileBytes(folder + L"\\config\\uiprof.cfg", "[Global]\r\nSkinName=Blue\r\n");
    CreateDirectoryW((folder + L"\\Skins").c_str(), nullptr);
    CreateDirectoryW((folder + L"\\Skins\\Blue").c_str(), nullptr);
    // A skin file without the keys: defaults.
    ChatButtonSkin bare = ReadChatButtonSkin(folder);
    EXPECT_TRUE(bare.present);
    EXPECT_TRUE(bare.normalImage.empty());
    EXPECT_EQ(RGB(0, 0, 0), bare.hoverText);
    EXPECT_EQ(kViewerFrameColour, ReadViewerFrameColour(folder));

    testkit::WriteFileBytes(folder + L"\\Skins\\Blue\\CommWnd.skn",
                            "[Dialog]\r\nframeside=10,20,30\r\n[Button]\r\nbtn_bk_n=n.bmp\r\nbtn_bk_h=h.bmp\r\n"
                            "txt_clr_n=1,2,3\r\ntxt_clr_h=0,0,160\r\n");
    ChatButtonSkin skin = ReadChatButtonSkin(folder);
    EXPECT_EQ(vantor::WideToAnsi(folder + L"\\Skins\\Blue\\n.bmp"), skin.normalImage);
    EXPECT_EQ(vantor::WideToAnsi(folder + L"\\Skins\\Blue\\h.bmp"), skin.hoverImage);
    EXPECT_EQ(RGB(1, 2, 3), skin.normalText);
    EXPECT_EQ(RGB(0, 0, 160), skin.hoverText);
    EXPECT_EQ(RGB(10, 20, 30), ReadViewerFrameColour(folder));
    testkit::WriteFileBytes(folder + L"\\Skins\\Blue\\CommWnd.skn", "[Dialog]\r\nframeside=\r\n");
    EXPECT_EQ(kViewerFrameColour, ReadViewerFrameColour(folder));
}

namespace {
constexpr UINT kQueryCentreWindow = 0x036B;  // WM_QUERYCENTERWND, message 875
HWND g_named = nullptr;
LRESULT CALLBACK NamingOwner(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kQueryCentreWindow) return reinterpret_cast<LRESULT>(g_named);
    return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

TEST(OfflineWindowPlace, CentredOverTheWindowItsOwnerNames) {
    WNDCLASSW owners = {};
    owners.lpfnWndProc = NamingOwner;
    owners.hInstance = GetModuleHandleW(nullptr);
    owners.lpszClassName = L"NamingOwner";
    RegisterClassW(&owners);
    g_named = CreateWindowExW(0, L"STATIC", L"named", WS_POPUP | WS_VISIBLE, 100, 100, 600, 500, nullptr, nullptr,
                              nullptr, nullptr);
    HWND owner = CreateWindowExW(0, L"NamingOwner", L"owner", WS_POPUP | WS_VISIBLE, 500, 420, 200, 100, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, owner);
    vantor::UniqueModule richEdit(LoadLibraryW(L"RICHED32.DLL"));  // the window's RichEdit class
    auto* offline = new OfflineWindow;
    ASSERT_TRUE(offline->CSkinFrame::Create(GetModuleHandleW(nullptr), kOfflineDialog, owner));
    RECT self, named;
    GetWindowRect(offline->Window(), &self);
    GetWindowRect(g_named, &named);
    EXPECT_NEAR((named.left + named.right) / 2, (self.left + self.right) / 2, 1);
    EXPECT_NEAR((named.top + named.bottom) / 2, (self.top + self.bottom) / 2, 1);
    offline->DestroyView();
    DestroyWindow(owner);
    DestroyWindow(g_named);
}
