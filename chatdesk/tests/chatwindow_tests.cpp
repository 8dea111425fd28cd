// The chat window in a client logged in to the fake IM server: opening, the name and
// buttons, the record viewer, the send gate, the direct-link attempts, typing notices,
// receipt time-outs and closing with threads running.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <cstring>
#include <thread>

#include "ChatDialog.h"
#include "ChildRun.h"
#include "ContactSetup.h"
#include "DialogDriver.h"
#include "DisplayObjects.h"
#include "EmoticonPicker.h"
#include "FileSendCtl.h"
#include "ImMessages.h"
#include "ImService.h"
#include "OleHost.h"
#include "RecordStore.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "WindowClient.h"
#include "Text.h"

using namespace cdtest;
using chatdesk::ChatDialog;

namespace {

class ChildWindow : public ChildTest {
protected:
    ChildWindow() : ChildTest("window") {}
    // Peers and their listeners live in the fake until stopped.
    void TearDown() override {
        if (!InChild()) return;
        for (const char* id : {"20002", "20003", "20009"}) Fake().Control(std::string("peer/stop?id=") + id);
    }
};

bool StartPeer(const char* id, const char* address = nullptr) {
    return StartScriptedPeer(id, address ? std::string("&source=") + address : std::string());
}

bool PeerListens(const char* id, const char* address) {
    std::string port = Fake().Control(std::string("peer/listen?id=") + id + "&address=" + address +
                                      "&port=" + std::to_string(kClientPort));
    return port == std::to_string(kClientPort);
}

// The link results the client reported to the server, in order.
std::string LinkReplies() {
    std::string results;
    for (const std::string& frame : FakeFramesIn("002B")) {
        chatdesk::PeerLinkReply reply;
        if (chatdesk::ReadPeerLinkReply(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), &reply))
            results += reply.linked ? '1' : '0';
    }
    return results;
}

size_t TypingNoticesSent() {
    size_t n = 0;
    for (const std::string& frame : FakeFramesIn("012S"))
        if (frame.size() > 124 && frame.compare(64, 5, kOwnId) == 0 && frame[124] == '0') ++n;
    return n;
}

BOOL CALLBACK FindViewer(HWND w, LPARAM found) {
    if ((GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) && GetDlgItem(w, 1010)) {
        *reinterpret_cast<HWND*>(found) = w;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CountViewers(HWND w, LPARAM count) {
    if (IsWindowVisible(w) && GetDlgItem(w, 1010)) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The record viewer of this thread (there is one chat window with one at a time here).
HWND Viewer() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindViewer, reinterpret_cast<LPARAM>(&found));
    return found;
}

int ViewerCount() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountViewers, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::string RecordOf(const char* sender, const char* receiver, const char* utf8, const char* stamp) {
    chatdesk::ChatText text;
    text.stamp = stamp;
    text.senderId = sender;
    text.receiverId = receiver;
    text.text = testkit::Ansi(utf8);
    text.status = "1*";
    chatdesk::ImBytes bytes = chatdesk::BuildChatText(text);
    chatdesk::ChatRecordBytes record;
    chatdesk::BuildChatRecord(bytes.data(), bytes.size(), false, &record);
    return std::string(record.begin(), record.end());
}

// The two windows one above the other in one picture.
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

// Inserts a file-transfer control at the end of the display, as a transfer does.
vantor::ComPtr<IOleObject> InsertControl(ChatDialog* window) {
    IRichEditOle* ole = window->DisplayOle();
    vantor::ComPtr<IOleObject> object;
    vantor::ComPtr<IOleClientSite> site;
    vantor::ComPtr<IStorage> storage;
    if (!ole || FAILED(ole->GetClientSite(site.put())) || FAILED(chatdesk::MakeGlobalStorage(storage.put())))
        return object;
    if (FAILED(OleCreate(CLSID_FileSendCtl, IID_IOleObject, OLERENDER_DRAW, nullptr, site.get(), storage.get(),
                         object.put_void())))
        return object;
    OleSetContainedObject(object.get(), TRUE);
    SendMessageW(window->Display(), EM_SETSEL, -1, -1);
    REOBJECT entry = {};
    entry.cbStruct = sizeof entry;
    entry.clsid = CLSID_FileSendCtl;
    entry.cp = REO_CP_SELECTION;
    entry.dvaspect = DVASPECT_CONTENT;
    entry.poleobj = object.get();
    entry.polesite = site.get();
    entry.pstg = storage.get();
    if (FAILED(ole->InsertObject(&entry))) return vantor::ComPtr<IOleObject>();
    return object;
}

// The control shows a received offer.
void Offer(IOleObject* object, const wchar_t* who, const wchar_t* file, const wchar_t* size, const wchar_t* stamp) {
    vantor::ComPtr<IDispatch> dispatch;
    if (FAILED(object->QueryInterface(IID_IDispatch, dispatch.put_void()))) return;
    VARIANT args[4];
    const wchar_t* texts[4] = {stamp, size, file, who};  // last argument first
    for (int i = 0; i < 4; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_BSTR;
        args[i].bstrVal = SysAllocString(texts[i]);
    }
    DISPPARAMS params = {args, nullptr, 4, 0};
    VARIANT result;
    VariantInit(&result);
    dispatch->Invoke(DISPID_FSC_SET_ACCEPT_FILE, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    for (VARIANT& arg : args) VariantClear(&arg);
    VariantClear(&result);
}

HWND ControlWindow(IOleObject* object) {
    vantor::ComPtr<IOleInPlaceObject> inPlace;
    if (FAILED(object->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void()))) return nullptr;
    HWND window = nullptr;
    inPlace->GetWindow(&window);
    return window;
}

}  // namespace

TEST_F(ChildWindow, OpensNamedWithViewerControlAndEnter) {
    // Records with this peer, newest first, one from each side.
    std::wstring folder = testkit::ProgramDir() + L"10001";
    CreateDirectoryW(folder.c_str(), nullptr);
    testkit::WriteFileBytes(folder + L"\\Chat20002.rec",
                            RecordOf(kFriendId, kOwnId, "明天见！", "20260102030405006000") +
                                RecordOf(kOwnId, kFriendId, "今晚一起吃饭吗？", "20260102030300001000"));
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());

    client->DoCommand(1, reinterpret_cast<INT_PTR>(Contacts().friendEntry));
    HWND shown = testkit::FindWindowByTitle(L"与 Lan 聊天中", 3000);
    ASSERT_NE(nullptr, shown);
    ChatDialog* window = client.Window(kFriendId);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(shown, window->Window());
    // What the user types goes to the compose box.
    GUITHREADINFO gui = {sizeof gui};
    EXPECT_TRUE(Eventually([&] {
        return GetGUIThreadInfo(GetWindowThreadProcessId(shown, nullptr), &gui) &&
               gui.hwndFocus == GetDlgItem(shown, 1001);
    }, 1000)) << "focus on control " << GetDlgCtrlID(gui.hwndFocus);
    // Skinned, owner-drawn buttons; send stays off while the box is empty.
    EXPECT_EQ(static_cast<LONG>(BS_OWNERDRAW), GetWindowLongW(GetDlgItem(shown, 1003), GWL_STYLE) & BS_TYPEMASK);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(shown, 1003)));
    // A peer without a nickname is named by its id.
    client->DoCommand(1, reinterpret_cast<INT_PTR>(Contacts().otherEntry));
    HWND unnamed = testkit::FindWindowByTitle(L"与 20003 聊天中", 3000);
    EXPECT_NE(nullptr, unnamed);
    PostMessageW(unnamed, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(unnamed); }, 3000));

    // Command 8 opens the viewer once, with the records named by their sender.
    client->DoCommand(8, reinterpret_cast<INT_PTR>(Contacts().friendEntry));
    client->DoCommand(8, reinterpret_cast<INT_PTR>(Contacts().friendEntry));
    PumpFor(500);
    EXPECT_TRUE(window->RecordViewOpen());
    EXPECT_EQ(1, ViewerCount());
    HWND viewer = Viewer();
    ASSERT_NE(nullptr, viewer);
    EXPECT_EQ(shown, GetWindow(viewer, GW_OWNER));
    std::string listed = EditText(GetDlgItem(viewer, 1010));
    EXPECT_TRUE(Contains(listed, "<Lan> <时间：2026-01-02 03:04:05>")) << listed;
    EXPECT_TRUE(Contains(listed, "明天见！"));
    EXPECT_TRUE(Contains(listed, "<me> <时间：2026-01-02 03:03:00>"));
    EXPECT_LT(listed.find(testkit::Ansi("明天见！")), listed.find(testkit::Ansi("今晚一起吃饭吗？")));

    // The viewer sits below the window, as wide, and moves with it.
    RECT chat, below;
    GetWindowRect(shown, &chat);
    GetWindowRect(viewer, &below);
    EXPECT_EQ(chat.left, below.left);
    EXPECT_EQ(chat.bottom, below.top);
    EXPECT_EQ(chat.right, below.right);
    SetWindowPos(shown, nullptr, 30, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PumpFor(200);
    GetWindowRect(shown, &chat);
    GetWindowRect(viewer, &below);
    EXPECT_EQ(30, below.left);
    EXPECT_EQ(chat.bottom, below.top);

    // The name area: picture 5 of the shipped strip for a peer online, 4 when offline,
    // told apart by a point of the figure's body.
    testkit::Capture strip;
    ASSERT_TRUE(testkit::ReadBitmapFile(testkit::ReadFileBytes(testkit::ProgramDir() + L"resource\\RostTree.bmp"), &strip));
    ASSERT_EQ(96, strip.width);
    const int bodyX = 8, bodyY = 13;
    ASSERT_NE(strip.At(4 * 16 + bodyX, bodyY), strip.At(5 * 16 + bodyX, bodyY));
    auto pictureColour = [&] {
        RedrawWindow(shown, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        PumpFor(100);
        RECT area, frame;
        GetWindowRect(GetDlgItem(shown, 1011), &area);
        GetWindowRect(shown, &frame);
        return testkit::CaptureWindow(shown).At(area.left - frame.left + bodyX, area.top - frame.top + bodyY);
    };
    EXPECT_EQ(strip.At(5 * 16 + bodyX, bodyY), pictureColour());
    FriendInfoA changed = window->Peer();
    changed.status.status = 10;
    window->TakeRecord(changed);
    EXPECT_EQ(strip.At(4 * 16 + bodyX, bodyY), pictureColour());
    changed.status.status = 1;
    window->TakeRecord(changed);

    // Enter in the display sends nothing of what is composed and keeps the focus there.
    ASSERT_TRUE(testkit::SetText(shown, 1001, L"还没写完"));
    // Other test programs share the display: take the focus again until it holds.
    ASSERT_TRUE(Eventually(
        [&] {
            SetForegroundWindow(shown);
            SetFocus(window->Display());
            return GetFocus() == window->Display();
        },
        5000));
    SendMessageW(window->Display(), WM_KEYDOWN, VK_RETURN, 0);
    SendMessageW(window->Display(), WM_KEYUP, VK_RETURN, 0xC0000001);
    PumpFor(100);
    EXPECT_EQ(window->Display(), GetFocus());
    EXPECT_EQ(L"还没写完", testkit::Text(shown, 1001));
    EXPECT_EQ(0u, window->Texts().Queued() + window->Texts().Waiting());
    EXPECT_FALSE(Contains(EditText(window->Display()), "还没写完"));
    testkit::SetText(shown, 1001, L"");

    // A control in the display comes alive under the pointer, as a child of the display.
    window->AppendDisplay(testkit::Ansi("<Lan> 2026-01-02 03:04:05\r\n你好，这是我们的合同，请查收。\r\n"));
    vantor::ComPtr<IOleObject> control = InsertControl(window);
    ASSERT_TRUE(control);
    Offer(control.get(), L"Lan", L"C:\\合同\\合同草案.doc", L"20.50KB", L"20260102030405006000");
    window->AppendDisplay("\r\n");
    RECT place;
    ASSERT_TRUE(chatdesk::ObjectRect(window->Display(), window->DisplayOle(),
                                     window->DisplayOle()->GetObjectCount() - 1, &place));
    SendMessageW(window->Display(), WM_MOUSEMOVE, 0, MAKELPARAM(place.left + 10, place.top + 10));
    HWND active = ControlWindow(control.get());
    ASSERT_NE(nullptr, active);
    EXPECT_EQ(window->Display(), GetParent(active));
    // Appends that scroll the text take the control along with its object.
    for (int i = 0; i < 12; ++i) window->AppendDisplay(testkit::Ansi("好的，我看一下。\r\n"));
    RECT moved, now;
    ASSERT_TRUE(chatdesk::ObjectRect(window->Display(), window->DisplayOle(),
                                     window->DisplayOle()->GetObjectCount() - 1, &moved));
    EXPECT_LT(moved.top, place.top);
    GetWindowRect(active, &now);
    MapWindowPoints(nullptr, window->Display(), reinterpret_cast<POINT*>(&now), 2);
    EXPECT_EQ(moved.top, now.top);
    SendMessageW(window->Display(), WM_VSCROLL, SB_TOP, 0);
    GetWindowRect(active, &now);
    MapWindowPoints(nullptr, window->Display(), reinterpret_cast<POINT*>(&now), 2);
    EXPECT_EQ(place.top, now.top);
    PumpFor(500);
    RedrawWindow(shown, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RedrawWindow(viewer, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(300);
    SaveChatPicture(Stacked(testkit::CaptureWindow(shown), testkit::CaptureWindow(viewer)), L"chat-window.bmp");
    SaveChatPicture(testkit::CaptureWindow(viewer), L"record-viewer.bmp");

    // Command 1002 again closes the viewer.
    SendMessageW(shown, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), 0);
    EXPECT_FALSE(window->RecordViewOpen());
    EXPECT_FALSE(IsWindow(viewer));
    control->Close(OLECLOSE_NOSAVE);
}

TEST_F(ChildWindow, SendWithoutLoginOrLinkIsRefusedAndKeepsTheText) {
    Fake().Control("login_result?result=1&count=100");
    WindowClient client;
    PumpFor(1500);
    ASSERT_FALSE(client->LoggedIn());
    ChatDialog* window = client.Show(Contacts().otherEntry, kOtherFriend);
    ASSERT_NE(nullptr, window);
    HWND dialog = window->Window();
    ASSERT_TRUE(testkit::SetText(dialog, 1001, L"你好"));
    PumpFor(100);
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1003)));
    testkit::MessageBoxSeen box;
    std::thread watcher([&] {
        box = testkit::WaitMessageBox(5000);
        if (box) testkit::DismissMessageBox(box);
    });
    // Enter in the compose box is the send command.
    SetFocus(GetDlgItem(dialog, 1001));
    SendMessageW(GetDlgItem(dialog, 1001), WM_KEYUP, VK_RETURN, 0xC0000001);
    watcher.join();
    ASSERT_TRUE(box);
    EXPECT_EQ(L"聊天服务器链接失败，不能聊天，请稍候重试！", box.text);
    EXPECT_EQ(L"即时聊天", box.caption);
    EXPECT_EQ(L"你好", testkit::Text(dialog, 1001).substr(0, 2));

    // The close button with a transfer counted refuses; without, it closes.
    window->CountTransfer(true);
    std::thread closer([&] {
        box = testkit::WaitMessageBox(5000);
        if (box) testkit::DismissMessageBox(box);
    });
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);
    closer.join();
    EXPECT_EQ(L"有文件正在传输，请先中断传输！", box.text);
    EXPECT_TRUE(IsWindow(dialog));
    window->CountTransfer(false);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(dialog); }, 3000));
    EXPECT_EQ(nullptr, client->Find(kOtherFriend));
}

TEST_F(ChildWindow, AttemptsOnOpeningOnRequestAndOnANewAddress) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ASSERT_TRUE(StartPeer(kFriendId, kPeerAddress));
    ASSERT_TRUE(PeerListens(kFriendId, kPeerAddress));

    // Opening links to the peer at the own port; the server hears '1'.
    ChatDialog* window = client.Show(Contacts().friendEntry, kFriendId);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(Eventually([&] { return LinkReplies() == "1"; }, 8000)) << LinkReplies();
    chatdesk::ConnectionRef link = client->DirectLinkOf(window);
    ASSERT_TRUE(link.get());
    EXPECT_EQ(inet_addr(kPeerAddress), link->RemoteAddress());
    link.reset();

    // A peer without an address: no connect at all, '0'.
    client->DoCommand(1, reinterpret_cast<INT_PTR>(Contacts().otherEntry));
    ASSERT_TRUE(Eventually([&] { return LinkReplies() == "10"; }, 8000)) << LinkReplies();
    EXPECT_FALSE(client->DirectLinkOf(client.Window(kOtherFriend)).get());

    // A new public address drops the link and tries the new one at once.
    ASSERT_TRUE(StartPeer("20009", kOtherPeerAddress));
    ASSERT_TRUE(PeerListens("20009", kOtherPeerAddress));
    FriendInfoA moved = window->Peer();
    moved.status.publicIp = inet_addr(kOtherPeerAddress);
    ASSERT_TRUE(client->Contacts().ModifyFriend(moved));
    client->OnFriendChanged(Contacts().friendEntry);
    link = client->DirectLinkOf(window);
    ASSERT_TRUE(link.get());
    EXPECT_EQ(inet_addr(kOtherPeerAddress), link->RemoteAddress());
    link.reset();

    Fake().Control("peer/stop?id=20009");
    moved.status.publicIp = inet_addr(kPeerAddress);  // as the other tests expect it
    client->Contacts().ModifyFriend(moved);

    // Deleting (or blocking) the friend closes the window.
    HWND dialog = window->Window();
    client->OnFriendRemoved(Contacts().friendEntry);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(dialog); }, 3000));
    EXPECT_EQ(nullptr, client->Find(kFriendId));
}

TEST_F(ChildWindow, LinkRequestMakesAHiddenWindowThatCommandOneShows) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ASSERT_TRUE(StartPeer(kFriendId, kPeerAddress));
    ASSERT_TRUE(PeerListens(kFriendId, kPeerAddress));
    // Refused first: nobody listens at the other address.
    Fake().Control(std::string("send_002s?to=10001&requester=") + kFriendId + "&address=" + LoopbackAddress(31) + "&port=" +
                   std::to_string(kClientPort));
    ASSERT_TRUE(Eventually([&] { return LinkReplies() == "0"; }, 8000)) << LinkReplies();
    ChatDialog* window = client.Window(kFriendId);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window->Window()));
    Fake().Control(std::string("send_002s?to=10001&requester=") + kFriendId + "&address=" + kPeerAddress +
                   "&port=" + std::to_string(kClientPort));
    ASSERT_TRUE(Eventually([&] { return LinkReplies() == "01"; }, 8000)) << LinkReplies();
    EXPECT_TRUE(client->DirectLinkOf(window).get());
    EXPECT_FALSE(IsWindowVisible(window->Window()));
    client->DoCommand(1, reinterpret_cast<INT_PTR>(Contacts().friendEntry));
    EXPECT_TRUE(IsWindowVisible(window->Window()));
    EXPECT_EQ(window, client.Window(kFriendId));
}

TEST_F(ChildWindow, ATextOpensAWindowNamedFromTheContactBook) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ASSERT_TRUE(StartPeer(kFriendId));
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=hello");
    ASSERT_TRUE(Eventually([&] { return client.Window(kFriendId) != nullptr; }, 5000));
    ChatDialog* window = client.Window(kFriendId);
    // Made with the id alone; the fetch thread brings the nickname and the caption follows.
    ASSERT_TRUE(Eventually([&] { return testkit::Text(window->Window()) == L"与 Lan 聊天中"; }, 5000))
        << vantor::WideToAnsi(testkit::Text(window->Window()));
    EXPECT_TRUE(IsWindowVisible(window->Window()));
    EXPECT_STREQ("Lan", window->Peer().nickname);
    EXPECT_STREQ(kFriendId, window->Peer().id);
    EXPECT_FALSE(window->ThreadsRunning() && !Eventually([&] { return !window->ThreadsRunning(); }, 8000));
}

TEST_F(ChildWindow, ALateFetchKeepsANewerStatus) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = client.Open(Contacts().friendEntry, kFriendId);
    ASSERT_NE(nullptr, window);
    FriendInfoA newer = window->Peer();
    // The fetch ends while this thread pumps nothing: its message waits behind a newer status.
    window->StartPeerFetch();
    Sleep(1000);
    newer.status.status = newer.status.status == 3 ? 4 : 3;
    window->TakeRecord(newer);
    PumpFor(300);
    EXPECT_FALSE(window->ThreadsRunning());
    EXPECT_EQ(newer.status.status, window->Peer().status.status) << "the fetch put its older status back";
    EXPECT_STREQ("Lan", window->Peer().nickname);
}

TEST_F(ChildWindow, TypingNoticesBothWays) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ASSERT_TRUE(StartPeer(kFriendId));
    ChatDialog* window = client.Show(Contacts().friendEntry, kFriendId);
    ASSERT_NE(nullptr, window);
    HWND dialog = window->Window();

    // Ten seconds of typing: one notice per four seconds at most.
    std::wstring typed;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        typed += L"字";
        testkit::SetText(dialog, 1001, typed);
        PumpFor(250);
    }
    PumpFor(500);
    size_t sent = TypingNoticesSent();
    EXPECT_GE(sent, 2u);
    EXPECT_LE(sent, 3u);
    // Stopping sends at most the one already due, then nothing.
    PumpFor(4500);
    size_t after = TypingNoticesSent();
    EXPECT_LE(after, sent + 1);
    PumpFor(4500);
    EXPECT_EQ(after, TypingNoticesSent());

    // Typed and sent before the timer fires: the send clears the flag, no notice follows the text.
    testkit::SetText(dialog, 1001, L"马上就发");
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1003)));
    ASSERT_TRUE(Eventually([&] { return !PeerFrames(kFriendId, "003S").empty(); }, 5000));
    PumpFor(4500);
    EXPECT_EQ(after, TypingNoticesSent()) << "a typing notice went out after the text";

    // The peer types: the label shows for ten seconds.
    chatdesk::TypingNotice notice;
    notice.senderId = kFriendId;
    notice.receiverId = kOwnId;
    notice.state = '0';
    chatdesk::ImBytes bytes = chatdesk::BuildTypingNotice(notice);
    Fake().Control(std::string("peer/raw?id=") + kFriendId, std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(Eventually([&] { return testkit::Text(dialog, 1009) == L"Lan 正在输入消息... ..."; }, 3000))
        << vantor::WideToAnsi(testkit::Text(dialog, 1009));
    PumpFor(8000);
    EXPECT_EQ(L"Lan 正在输入消息... ...", testkit::Text(dialog, 1009));
    ASSERT_TRUE(Eventually([&] { return testkit::Text(dialog, 1009).empty(); }, 4000));
}

TEST_F(ChildWindow, ClosingWithThreadsRunningEndsInTime) {
    // A peer address whose connect hangs until the limit: a listener with a full queue.
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr(kPeerAddress);
    at.sin_port = htons(kClientPort);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at));
    ASSERT_EQ(0, listen(listener, 0));
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    size_t before = ThreadsStartedIn(GetModuleHandleW(nullptr));
    for (int round = 0; round < 3; ++round) {
        ChatDialog* window = client.Show(Contacts().friendEntry, kFriendId);
        ASSERT_NE(nullptr, window);
        window->StartPeerFetch();
        HWND dialog = window->Window();
        DWORD start = GetTickCount();
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(Eventually([&] { return !IsWindow(dialog); }, 15000));
        EXPECT_LT(GetTickCount() - start, 12000u);
    }
    EXPECT_TRUE(Eventually([&] { return ThreadsStartedIn(GetModuleHandleW(nullptr)) <= before; }, 3000))
        << ThreadsStartedIn(GetModuleHandleW(nullptr)) << " threads, " << before << " before";
    closesocket(listener);
}

TEST_F(ChildWindow, PeerStatusCancelNoticesAndThePicker) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = client.Show(Contacts().friendEntry, kFriendId);
    ASSERT_NE(nullptr, window);

    // A friend's reported status goes into the contact book.
    window->TakePeerStatus(3);
    FriendInfoA stored = {};
    ASSERT_TRUE(client->Contacts().FriendRecord(Contacts().friendEntry, &stored));
    EXPECT_EQ(3, stored.status.status);
    EXPECT_EQ(3, window->Peer().status.status);
    window->TakePeerStatus(1);

    // Someone who is no friend changes nothing.
    ASSERT_TRUE(StartPeer("55555"));
    Fake().Control("peer/text?id=55555&to=10001&text=hi");
    ASSERT_TRUE(Eventually([&] { return client.Window("55555") != nullptr; }, 5000));
    ChatDialog* stranger = client.Window("55555");
    uint16_t before = stranger->Peer().status.status;
    stranger->TakePeerStatus(7);
    EXPECT_EQ(before, stranger->Peer().status.status);

    // The cancel notice goes by relay without a link, directly with one.
    ASSERT_TRUE(window->SendCancelNotice());
    ASSERT_TRUE(Eventually([&] { return FakeFramesIn("020S").size() == 1; }, 3000));
    EXPECT_EQ(0, FakeFramesIn("020S")[0].compare(64, 5, kOwnId));
    ASSERT_TRUE(StartPeer(kFriendId, kPeerAddress));
    ASSERT_TRUE(PeerListens(kFriendId, kPeerAddress));
    window->StartLinkAttempt();
    ASSERT_TRUE(Eventually([&] { return client->DirectLinkOf(window).get() != nullptr; }, 8000)) << LinkReplies();
    ASSERT_TRUE(window->SendCancelNotice());
    ASSERT_TRUE(Eventually([&] { return !PeerFrames(kFriendId, "020S").empty(); }, 3000));
    EXPECT_EQ("direct", PeerFrames(kFriendId, "020S")[0].first);
    EXPECT_EQ(1u, FakeFramesIn("020S").size());

    // The emoticon picker drops from its button, inside this window, and survives it.
    HWND dialog = window->Window();
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1005, BN_CLICKED), 0);
    HWND picker = vantor::imkit::EmoticonPickerWindow();
    ASSERT_NE(nullptr, picker);
    EXPECT_TRUE(IsWindowVisible(picker));
    EXPECT_EQ(dialog, GetParent(picker));
    RECT button, grid;
    GetWindowRect(GetDlgItem(dialog, 1005), &button);
    GetWindowRect(picker, &grid);
    EXPECT_EQ(button.left, grid.left);
    EXPECT_EQ(button.top + 2, grid.bottom);
    ASSERT_TRUE(CloseChat(window));
    EXPECT_TRUE(IsWindow(picker));
    EXPECT_EQ(client->Window(), GetParent(picker));
}

int g_ticksWhileClosing = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticksWhileClosing; }

TEST_F(ChildWindow, ClosingWaitsForTheLastTransferAtMostTenSecondsPumping) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = client.Show(Contacts().otherEntry, kOtherFriend);
    ASSERT_NE(nullptr, window);
    HWND dialog = window->Window();
    window->CountTransfer(true);  // a transfer that never ends
    UINT_PTR timer = SetTimer(nullptr, 0, 200, CountTick);
    g_ticksWhileClosing = 0;
    DWORD start = GetTickCount();
    // Sent: the close runs inside this call, so only the wait's own pumping dispatches.
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD took = GetTickCount() - start;
    KillTimer(nullptr, timer);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_GE(took, 9500u);
    EXPECT_LT(took, 13000u);
    EXPECT_GE(g_ticksWhileClosing, 20) << "the wait pumps";
}

ChatDialog* g_closingWithTransfer = nullptr;
// The host quits while the window waits for its last transfer, which then ends.
void CALLBACK QuitHostAndEndTransfer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    PostQuitMessage(5);
    g_closingWithTransfer->CountTransfer(false);
}

TEST_F(ChildWindow, AHostQuitWhileAWindowClosesReachesTheHostLoop) {
    WindowClient client;
    ASSERT_TRUE(client.WaitForLogin());
    ChatDialog* window = client.Show(Contacts().otherEntry, kOtherFriend);
    ASSERT_NE(nullptr, window);
    HWND dialog = window->Window();
    window->CountTransfer(true);
    g_closingWithTransfer = window;
    SetTimer(nullptr, 0, 300, QuitHostAndEndTransfer);
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(dialog));
    // The host's own loop goes on to its quit.
    int quitCode = -1;
    DWORD start = GetTickCount();
    while (quitCode < 0 && GetTickCount() - start < 3000) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(10);
            continue;
        }
        if (msg.message == WM_QUIT) quitCode = static_cast<int>(msg.wParam);
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(5, quitCode);
}

TEST(ChatWindow, RunsInAChild) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    SetEnvironmentVariableW(L"CHATDESK_SHOT_DIR", (testkit::ProgramDir() + L"screenshots").c_str());
    // CHATDESK_WINDOW_TESTS narrows the child run (a gtest filter).
    char filter[256] = "ChildWindow.*";
    GetEnvironmentVariableA("CHATDESK_WINDOW_TESTS", filter, sizeof filter);
    EXPECT_TRUE(RunChild("window", filter));
}
