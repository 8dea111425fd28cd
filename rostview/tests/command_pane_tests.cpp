// The pane's commands inside the container, against the recording modules: the fake
// contact dialogs staged as RostDialogs.dll and recording plug-ins for the phone and
// message services, the chat and the presence tab. The menus, clicks, label edits and
// drops that post them: drops through the drop target registered on the pane while the
// pane's own drag runs. A copy of this program runs in a folder of its own holding them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <ole2.h>

#include <cstdio>
#include <functional>
#include <utility>
#include <string>

#include "ContactBookFixture.h"
#include "ContainerDriver.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

using namespace rvtest;
using testkit::BookDescription;
using testkit::BookGroup;
using testkit::ContactBookFixture;

const char kChildMarker[] = "ROSTVIEW_COMMAND_CHILD";

BookDescription CommandBook() {
    BookDescription book;
    BookGroup phone{L"10", L"电话好友", {}, {}};
    phone.friends.push_back({L"t1", L"张三", L"", L"13900000001"});
    phone.groups.push_back({L"101", L"家人", {}, {}});
    BookGroup net{L"11", L"网络好友", {}, {}};
    net.friends.push_back({L"n1", L"小明", L"", L"", L"", L"", L"", {9}});
    net.groups.push_back({L"111", L"同事", {{L"n4", L"王五"}}, {}});
    net.groups.push_back({L"112", L"同学", {}, {}});
    book.roots = {phone, net};
    book.blackList.push_back({L"bad1", L"骚扰"});
    return book;
}

TEST(RostViewCommands, ReachTheDialogsAndPlugInsInTheContainer) {
    if (GetEnvironmentVariableA(kChildMarker, nullptr, 0)) GTEST_SKIP() << "only in the parent";
    ContactBookFixture f(L"rostview-commands");
    ASSERT_TRUE(f.WriteBook(CommandBook()));
    for (const wchar_t* part : {L"RostView.dll", L"resource", L"Skins", L"PlugHost.dll", L"OrderHub.dll",
                                L"CoreFront.dll", L"CommonKit.dll", L"TraceDeck.dll", L"CoreStub.dll"}) {
        ASSERT_TRUE(f.Stage(part)) << U8(part);
    }
    ASSERT_TRUE(testkit::CopyFromProgramDir(f.Folder(), L"FakeDialogs.dll", L"RostDialogs.dll"));
    for (const wchar_t* as : {L"plug14.dll", L"plug3.dll", L"plug8.dll", L"ChatDesk.dll", L"PresenceTab.dll"}) {
        ASSERT_TRUE(testkit::CopyFromProgramDir(f.Folder(), L"TracePlug.dll", as));
    }
    ASSERT_TRUE(f.Write(L"config\\uiprof.cfg", "[Global]\r\nSkinName=Default\r\n"));
    ASSERT_TRUE(f.Write(L"config\\pruv2.cfg",
                        "[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=-1\r\n14=plug14.dll\r\n3=plug3.dll\r\n8=plug8.dll\r\n"
                        "[PlugsLoadStyle]\r\n-1=immediately\r\n[PlugsModule]\r\n-1=RostView.dll\r\n14=plug14.dll\r\n3=plug3.dll\r\n"
                        "8=plug8.dll\r\n"));
    ASSERT_TRUE(f.Write(L"behave.cfg", "[plug14.dll]\r\nParam2=4\r\n[ChatDesk.dll]\r\nParam1=1\r\n"
                                       "[PresenceTab.dll]\r\nParam5=3\r\nParam3=2\r\n"));
    std::wstring exe = testkit::CopyThisExeTo(f.Folder());
    ASSERT_FALSE(exe.empty());
    // The child opens the book itself: the store is held by the process that opened it.
    DWORD code =
        testkit::RunProgram(exe, L"--gtest_filter=CommandChild.*", f.Folder(), {{L"ROSTVIEW_COMMAND_CHILD", L"1"}});
    EXPECT_EQ(0u, code);
    for (const wchar_t* name : {L"rostview-friend-menu.bmp", L"rostview-black-menu.bmp", L"rostview-drag-image.bmp"}) {
        std::string shot = testkit::ReadFileBytes(f.Folder() + L"screenshots\\" + name);
        EXPECT_FALSE(shot.empty()) << U8(name);
        testkit::WriteFileBytes(testkit::ProgramDir() + L"screenshots\\" + name, shot);
    }
}

std::string Trace() { return testkit::ReadFileBytes(testkit::ProgramDir() + L"trace.log"); }
bool Traced(const std::string& line) {
    return PumpUntil([&] { return Trace().find(line) != std::string::npos; }, 3000);
}


// A window of the test that takes drags: when the pane's drag comes over it, `onEnter`
// runs once with the data object of that drag. It never takes the drop.
class Catcher : public IDropTarget {
public:
    std::function<void(IDataObject*)> onEnter;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IDropTarget) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        if (onEnter) {
            auto run = onEnter;
            onEnter = nullptr;
            run(data);
        }
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
};

// A data object of someone else offering exactly what the pane's own offers.
class Lookalike : public IDataObject {
public:
    explicit Lookalike(IDataObject* inner) : inner_(inner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (riid != IID_IUnknown && riid != IID_IDataObject) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override { return inner_->GetData(f, m); }
    STDMETHODIMP GetDataHere(FORMATETC* f, STGMEDIUM* m) override { return inner_->GetDataHere(f, m); }
    STDMETHODIMP QueryGetData(FORMATETC* f) override { return inner_->QueryGetData(f); }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override {
        return inner_->GetCanonicalFormatEtc(in, out);
    }
    STDMETHODIMP SetData(FORMATETC* f, STGMEDIUM* m, BOOL r) override { return inner_->SetData(f, m, r); }
    STDMETHODIMP EnumFormatEtc(DWORD d, IEnumFORMATETC** e) override { return inner_->EnumFormatEtc(d, e); }
    STDMETHODIMP DAdvise(FORMATETC* f, DWORD a, IAdviseSink* s, DWORD* c) override { return inner_->DAdvise(f, a, s, c); }
    STDMETHODIMP DUnadvise(DWORD c) override { return inner_->DUnadvise(c); }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** e) override { return inner_->EnumDAdvise(e); }

private:
    IDataObject* inner_;
};

struct Outcome {
    DWORD over;    // the effect shown over the point
    UINT command;  // the command the drop posted, 0 for none
};
bool operator==(const Outcome& a, const Outcome& b) { return a.over == b.over && a.command == b.command; }
std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{effect " << o.over << ", command " << o.command << "}";
}
const Outcome kRefused = {DROPEFFECT_NONE, 0};
Outcome Moves(UINT command) { return Outcome{DROPEFFECT_MOVE, command}; }

// Enter, over and drop at the point through the drop target registered on the pane's
// window; the command the drop posted runs before this returns.
Outcome DropAt(HWND pane, IDataObject* data, POINT p, DWORD keys = 0) {
    Outcome out = kRefused;
    auto* target = static_cast<IDropTarget*>(GetPropW(pane, L"OleDropTargetInterface"));
    if (!target) {
        ADD_FAILURE() << "no drop target on the pane's window";
        return out;
    }
    POINTL at = {p.x, p.y};
    DWORD effect = DROPEFFECT_MOVE;
    target->DragEnter(data, MK_LBUTTON | keys, at, &effect);
    out.over = DROPEFFECT_MOVE;
    target->DragOver(MK_LBUTTON | keys, at, &out.over);
    effect = DROPEFFECT_MOVE;
    target->Drop(data, keys, at, &effect);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_NONE), effect) << "the source deletes nothing";
    MSG msg;
    if (PeekMessageW(&msg, pane, UM_ROST_COMMAND, UM_ROST_COMMAND, PM_REMOVE)) {
        out.command = static_cast<UINT>(msg.wParam);
        DispatchMessageW(&msg);
    }
    return out;
}

// Drags the item with the mouse over `via` (a picture taken there when named) onto the
// catcher window; while the drag is over the catcher, `cases` runs with the pane's own
// data object. Then the button goes up over the catcher.
void DragToCatcher(HWND catcher, Catcher& target, HWND tree, HTREEITEM item, POINT via, const wchar_t* picture,
                   const std::function<void(IDataObject*)>& cases) {
    std::atomic<bool> ran{false}, imageShown{false};
    target.onEnter = [&](IDataObject* data) {
        cases(data);
        ran = true;
    };
    RECT r = {};
    GetWindowRect(catcher, &r);
    POINT from = LabelCentre(tree, item), to = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    WhileHelping(
        [&] {
            MouseAt(from);
            Sleep(100);
            MouseButton(true);
            for (int i = 1; i <= 8; ++i) {
                Sleep(40);
                MouseAt(POINT{from.x + (via.x - from.x) * i / 8, from.y + (via.y - from.y) * i / 8});
            }
            Sleep(400);
            MouseAt(via);
            Sleep(400);
            if (picture) {
                POINT at = {}, hot = {};
                imageShown = ImageList_GetDragImage(&at, &hot) != nullptr;
                SaveScreenshot(GetAncestor(tree, GA_ROOT), picture);
            }
            for (int i = 1; i <= 8; ++i) {
                Sleep(40);
                MouseAt(POINT{via.x + (to.x - via.x) * i / 8, via.y + (to.y - via.y) * i / 8});
            }
            for (int i = 0; i < 500 && !ran; ++i) Sleep(20);
            MouseButton(false);
        },
        [] {}, 30000);
    target.onEnter = nullptr;
    EXPECT_TRUE(ran) << "the drag never reached the catcher";
    if (picture) {
        EXPECT_TRUE(imageShown) << "no drag image over the tree";
    }
}

TEST(CommandChild, EachCommandsCallAndArguments) {
    if (!GetEnvironmentVariableA(kChildMarker, nullptr, 0)) GTEST_SKIP() << "run by the parent";
    // The book is opened in a folder of its own; the libraries of this folder reach it
    // through the modules already loaded.
    ContactBookFixture book(L"book");
    ASSERT_TRUE(book.WriteBook(CommandBook()));
    ASSERT_TRUE(book.Open(L"me", {9, 8, 14}));
    ASSERT_TRUE(book.SetStatus(L"n1", 1));
    Container c;
    ASSERT_NE(nullptr, c.pane);
    ASSERT_TRUE(PumpUntil([&] { return c.Item(1, L"王五") != nullptr && c.Item(2, L"骚扰") != nullptr; }, 20000));

    // Phone: service 14 is prepared (and so loaded) first, then called with the number.
    c.Post(21001, c.Item(1, L"张三"));
    EXPECT_TRUE(Traced(" text=13900000001"));
    std::string trace = Trace();
    size_t created = trace.find("plug14.dll Create");
    size_t called = trace.find("plug14.dll DoCommand 2 ");
    EXPECT_NE(std::string::npos, created);
    EXPECT_LT(created, called);

    c.Post(21005, c.Item(1, L"小明"));
    EXPECT_TRUE(Traced("friend=n1 " + Gbk(L"小明")));
    c.Post(21011, c.Item(1, L"小明"));
    EXPECT_TRUE(Traced("pair=n1 " + Gbk(L"小明") + " group"));
    c.Post(31000, c.Item(2, L"骚扰"));
    EXPECT_TRUE(Traced("info=bad1 " + Gbk(L"骚扰")));

    c.Post(21008, c.Item(1, L"王五"));
    EXPECT_TRUE(Traced("RostDialogs.dll DelFriend book=1 friend=n4 group=111"));
    c.Post(20001, c.Item(1, L"同事"));
    EXPECT_TRUE(Traced("RostDialogs.dll DelGroup book=1 group=111 parent=11"));
    c.Post(21014, c.Item(1, L"网络好友"));
    EXPECT_TRUE(Traced("RostDialogs.dll SearchUser book=1"));
    c.Post(21007, c.Item(1, L"电话好友"));
    EXPECT_TRUE(Traced("RostDialogs.dll AddFriend book=1 group=10"));
    c.Post(31001, c.Item(2, L"骚扰"));
    EXPECT_TRUE(Traced("RostDialogs.dll DelBlackUser book=1 friend=bad1"));

    // A dismissed menu, a command on the wrong kind, on an item gone, and the details
    // without a menu item: nothing.
    size_t before = Trace().size();
    c.Post(0, c.Item(1, L"王五"));
    c.Post(20001, c.Item(1, L"网络好友"));
    c.Post(21011, c.Item(1, L"张三"));
    c.Post(21008, reinterpret_cast<HTREEITEM>(static_cast<INT_PTR>(0x7fff1234)));
    c.Post(21010, c.Item(1, L"王五"));
    Pump(500);
    EXPECT_EQ(before, Trace().size()) << Trace().substr(before);

    HWND friends = c.Friends();
    SetForegroundWindow(c.frame);
    // The new group's temporary node: its name goes to the dialogs' 8-bit call with the
    // root's group; the node itself is gone and the group shows only through the book.
    c.Post(20000, c.Item(1, L"网络好友"));
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    EXPECT_NE(nullptr, c.Item(1, L"新建自定义组"));
    SetWindowTextW(TreeView_GetEditControl(friends), L"新组");
    TreeView_EndEditLabelNow(friends, FALSE);
    EXPECT_TRUE(Traced("RostDialogs.dll AddGroupA book=1 name=" + Gbk(L"新组") + " parent=11"));
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));
    EXPECT_EQ(nullptr, c.Item(1, L"新组")) << "shown only through the callback";

    // An emptied edit leaves no node and calls nothing; a rename goes with the group's
    // record.
    before = Trace().size();
    c.Post(20000, c.Item(1, L"网络好友"));
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    SetWindowTextW(TreeView_GetEditControl(friends), L"");
    TreeView_EndEditLabelNow(friends, FALSE);
    Pump(300);
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));
    EXPECT_EQ(before, Trace().size()) << Trace().substr(before);
    c.Post(20002, c.Item(1, L"同学"));
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    SetWindowTextW(TreeView_GetEditControl(friends), L"老同学");
    TreeView_EndEditLabelNow(friends, FALSE);
    EXPECT_TRUE(Traced("RostDialogs.dll ModifyGroupA book=1 group=112 id=112 name=" + Gbk(L"老同学")));
    EXPECT_NE(nullptr, c.Item(1, L"同学"));

    // The 8-bit end of an edit counts like the wide one: here it comes after the tree's
    // own cancelled end, before the pane finishes the edit.
    c.Post(20000, c.Item(1, L"网络好友"));
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    HTREEITEM temporary = c.Item(1, L"新建自定义组");
    TreeView_EndEditLabelNow(friends, TRUE);
    std::string narrow = Gbk(L"亲戚");
    NMTVDISPINFOA end = {};
    end.hdr = {friends, 1, static_cast<UINT>(TVN_ENDLABELEDITA)};
    end.item.mask = TVIF_TEXT;
    end.item.hItem = temporary;
    end.item.pszText = &narrow[0];
    SendMessageW(c.pane, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&end));
    EXPECT_TRUE(Traced("RostDialogs.dll AddGroupA book=1 name=" + narrow + " parent=11"));
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));

    // A click on a network friend opens the chat; on a group it opens or closes the group
    // with its pictures.
    before = Trace().size();
    MouseAt(LabelCentre(friends, c.Item(1, L"小明")));
    Pump(100);
    MouseButton(true);
    MouseButton(false);
    EXPECT_TRUE(PumpUntil([&] { return Trace().find("friend=n1 " + Gbk(L"小明"), before) != std::string::npos; }));
    HTREEITEM colleagueGroup = c.Item(1, L"同事");
    auto image = [&] {
        TVITEMW tv = {};
        tv.mask = TVIF_IMAGE | TVIF_STATE;
        tv.stateMask = TVIS_EXPANDED;
        tv.hItem = colleagueGroup;
        SendMessageW(friends, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        return std::make_pair(tv.state & TVIS_EXPANDED, tv.iImage);
    };
    auto closed = image();
    Pump(600);  // apart from the first click: no double click
    MouseAt(LabelCentre(friends, colleagueGroup));
    Pump(100);
    MouseButton(true);
    MouseButton(false);
    EXPECT_TRUE(PumpUntil([&] { return image().first != closed.first; }));
    EXPECT_NE(closed.second, image().second);
    TreeView_Expand(friends, colleagueGroup, TVE_COLLAPSE);
    Pump(200);

    // The black-list menu, dismissed: nothing.
    ASSERT_TRUE(c.ShowFolder(1));
    HWND black = c.BlackList();
    before = Trace().size();
    WhileHelping(
        [&] {
            if (!WaitMenu(1)) return;
            Sleep(300);
            SaveScreenshot(c.frame, L"rostview-black-menu.bmp");
            Key(VK_ESCAPE);
        },
        [&] {
            MouseAt(LabelCentre(black, c.Item(2, L"骚扰")));
            Pump(100);
            RightClick();
        });
    Pump(300);
    EXPECT_EQ(before, Trace().size()) << Trace().substr(before);
    ASSERT_TRUE(c.ShowFolder(0));

    // The menu of a friend in a sub-group with its move submenu open: the root comes
    // first, the friend's own group is left out.
    TreeView_Expand(friends, c.Item(1, L"同事"), TVE_EXPAND);
    Pump(200);
    WhileHelping(
        [&] {
            HWND menu = WaitMenu(1);
            if (!menu) return;
            Sleep(200);
            HMENU popup = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
            int index = -1;
            for (int i = 0; i < GetMenuItemCount(popup); ++i) {
                if (GetSubMenu(popup, i)) index = i;
            }
            RECT r = {};
            if (index < 0 || !GetMenuItemRect(nullptr, popup, index, &r)) {
                Key(VK_ESCAPE);
                return;
            }
            MouseAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            HWND sub = WaitMenu(2);
            Sleep(300);
            SaveScreenshot(c.frame, L"rostview-friend-menu.bmp");
            RECT first = {};
            if (sub && GetMenuItemRect(nullptr, GetSubMenu(popup, index), 0, &first)) {
                MouseAt(POINT{(first.left + first.right) / 2, (first.top + first.bottom) / 2});
                Sleep(200);
                MouseButton(true);
                MouseButton(false);
            } else {
                Key(VK_ESCAPE);
                Key(VK_ESCAPE);
            }
        },
        [&] {
            MouseAt(LabelCentre(friends, c.Item(1, L"王五")));
            Pump(100);
            RightClick();
        });
    EXPECT_TRUE(Traced("RostDialogs.dll MoveFriend book=1 friend=n4 old=111 new=11 proxy=0"));
    TreeView_Expand(friends, c.Item(1, L"同事"), TVE_COLLAPSE);
    Pump(200);

    // Drops through the pane's registered drop target while its own drag is under way.
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"DropCatcher";
    RegisterClassW(&wc);
    HWND catcherWindow = CreateWindowExW(WS_EX_TOPMOST, L"DropCatcher", L"catcher", WS_POPUP | WS_VISIBLE | WS_BORDER, 380,
                                         60, 120, 120, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Catcher catcher;
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_EQ(S_OK, RegisterDragDrop(catcherWindow, &catcher));
    POINT networkRoot = LabelCentre(friends, c.Item(1, L"网络好友"));
    POINT colleagues = LabelCentre(friends, c.Item(1, L"同事"));
    POINT classmates = LabelCentre(friends, c.Item(1, L"同学"));
    POINT phoneRoot = LabelCentre(friends, c.Item(1, L"电话好友"));
    POINT family = LabelCentre(friends, c.Item(1, L"家人"));
    POINT aFriend = LabelCentre(friends, c.Item(1, L"张三"));
    POINT blackHeader = BottomHeader(c.pane);
    before = Trace().size();

    // A network friend: into another network group, or onto the black list.
    // The picture with the pointer at the foot of the group's row: the image hangs below.
    RECT row = {};
    TreeView_GetItemRect(friends, c.Item(1, L"同学"), &row, TRUE);
    POINT rowFoot = {classmates.x, classmates.y + (row.bottom - row.top) / 2 - 3};
    DragToCatcher(catcherWindow, catcher, friends, c.Item(1, L"小明"), rowFoot, L"rostview-drag-image.bmp",
                  [&](IDataObject* own) {
                      EXPECT_EQ(kRefused, DropAt(c.pane, own, networkRoot)) << "its own group";
                      EXPECT_EQ(Moves(30000), DropAt(c.pane, own, colleagues));
                      EXPECT_EQ(kRefused, DropAt(c.pane, own, phoneRoot));
                      EXPECT_EQ(kRefused, DropAt(c.pane, own, family));
                      EXPECT_EQ(kRefused, DropAt(c.pane, own, aFriend));
                      EXPECT_EQ(kRefused, DropAt(c.pane, own, colleagues, MK_CONTROL)) << "Control held";
                      EXPECT_EQ(Moves(21011), DropAt(c.pane, own, blackHeader));
                      Lookalike foreign(own);
                      EXPECT_EQ(kRefused, DropAt(c.pane, &foreign, colleagues)) << "not the pane's drag";
                      EXPECT_EQ(kRefused, DropAt(c.pane, &foreign, blackHeader)) << "not the pane's drag";
                  });
    EXPECT_TRUE(Traced("RostDialogs.dll MoveFriend book=1 friend=n1 old=11 new=111 proxy=0"));
    EXPECT_NE(std::string::npos, Trace().find("pair=n1 " + Gbk(L"小明") + " group", before));

    // A telephone friend: only into telephone groups, never onto the black list.
    before = Trace().size();
    DragToCatcher(catcherWindow, catcher, friends, c.Item(1, L"张三"), family, nullptr, [&](IDataObject* own) {
        EXPECT_EQ(Moves(30000), DropAt(c.pane, own, family));
        EXPECT_EQ(kRefused, DropAt(c.pane, own, phoneRoot)) << "its own group";
        EXPECT_EQ(kRefused, DropAt(c.pane, own, colleagues));
        EXPECT_EQ(kRefused, DropAt(c.pane, own, networkRoot));
        EXPECT_EQ(kRefused, DropAt(c.pane, own, blackHeader));
    });
    EXPECT_TRUE(Traced("RostDialogs.dll MoveFriend book=1 friend=t1 old=10 new=101 proxy=0"));

    // A group drags but drops nowhere.
    before = Trace().size();
    DragToCatcher(catcherWindow, catcher, friends, c.Item(1, L"同事"), classmates, nullptr, [&](IDataObject* own) {
        for (POINT p : {classmates, networkRoot, phoneRoot, family, blackHeader}) {
            EXPECT_EQ(kRefused, DropAt(c.pane, own, p));
        }
    });

    // A black-list user: onto the friend list's header, or a network group, asks for
    // friendship again.
    ASSERT_TRUE(c.ShowFolder(1));
    POINT friendHeader = TopHeader(c.pane);
    DragToCatcher(catcherWindow, catcher, black, c.Item(2, L"骚扰"), friendHeader, nullptr, [&](IDataObject* own) {
        EXPECT_EQ(Moves(31000), DropAt(c.pane, own, friendHeader));
        EXPECT_EQ(kRefused, DropAt(c.pane, own, LabelCentre(black, c.Item(2, L"骚扰"))));
        SendMessageW(c.pane, UM_ROST_SELECT_FOLDER, 0, 0);
        EXPECT_EQ(Moves(31000), DropAt(c.pane, own, colleagues));
        EXPECT_EQ(kRefused, DropAt(c.pane, own, phoneRoot));
        EXPECT_EQ(kRefused, DropAt(c.pane, own, family));
        SendMessageW(c.pane, UM_ROST_SELECT_FOLDER, 0, 1);
    });
    Pump(300);
    size_t first = Trace().find("info=bad1 " + Gbk(L"骚扰"), before);
    EXPECT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, Trace().find("info=bad1 " + Gbk(L"骚扰"), first + 1));
    // Nothing else came of the refused drops.
    EXPECT_EQ(std::string::npos, Trace().find("MoveFriend", before)) << Trace().substr(before);
    RevokeDragDrop(catcherWindow);
    DestroyWindow(catcherWindow);
    ASSERT_TRUE(c.ShowFolder(0));

    // The friend moves to another group while its menu is open (the menu's loop runs the
    // book's change): the move entry chosen then names the friend's group of now.
    typedef BOOL(WINAPI * ChangeGroupFn)(RostBaseHandle, FriendHandle, GroupHandle, GroupHandle);
    auto changeGroup = book.Proc<ChangeGroupFn>("RostBase_ChangeFriendGroup");
    ASSERT_NE(nullptr, changeGroup);
    TreeView_Expand(friends, c.Item(1, L"同事"), TVE_EXPAND);
    Pump(200);
    before = Trace().size();
    WhileHelping(
        [&] {
            HWND menu = WaitMenu(1);
            if (!menu) return;
            changeGroup(book.Store(), book.Friend(L"n4"), book.GroupOf(L"n4"), book.GroupOf(L"n1"));
            Sleep(200);
            HMENU popup = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
            int index = -1;
            for (int i = 0; i < GetMenuItemCount(popup); ++i) {
                if (GetSubMenu(popup, i)) index = i;
            }
            RECT r = {};
            if (index < 0 || !GetMenuItemRect(nullptr, popup, index, &r)) {
                Key(VK_ESCAPE);
                return;
            }
            MouseAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            HWND sub = WaitMenu(2);
            Sleep(300);
            RECT second = {};  // 同学, after the root
            if (sub && GetMenuItemRect(nullptr, GetSubMenu(popup, index), 1, &second)) {
                MouseAt(POINT{(second.left + second.right) / 2, (second.top + second.bottom) / 2});
                Sleep(200);
                MouseButton(true);
                MouseButton(false);
            } else {
                Key(VK_ESCAPE);
                Key(VK_ESCAPE);
            }
        },
        [&] {
            MouseAt(LabelCentre(friends, c.Item(1, L"王五")));
            Pump(100);
            RightClick();
        });
    EXPECT_TRUE(Traced("RostDialogs.dll MoveFriend book=1 friend=n4 old=11 new=112 proxy=0")) << Trace().substr(before);
}

}  // namespace
