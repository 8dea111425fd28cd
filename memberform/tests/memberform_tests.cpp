// The member form: its animated picture on a control of this process, and the form in the
// rig, signed in as a female account, where "注册" reaches the platform stand-in.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "GifBuilder.h"
#include "EditHint.h"
#include "GifPlayer.h"
#include "PaneChild.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"
#include "VantorMessages.h"

using memberform::GifPlayer;
using testkit::Ansi;

namespace {

const int kFormPlug = 52;

giftest::FrameSpec Solid(int width, int height, uint8_t index, int delayHundredths) {
    giftest::FrameSpec f;
    f.width = width;
    f.height = height;
    f.indexes.assign(static_cast<size_t>(width * height), index);
    f.delayHundredths = delayHundredths;
    return f;
}

std::wstring WriteGif(const std::wstring& name, const giftest::Bytes& bytes) {
    std::wstring path = testkit::FreshDir(L"gifplayer") + name;
    testkit::WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

TEST(GifPlayer, ThreadRunsOnlyForAnimationsAndStopsAtDetach) {
    HWND control = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(control);
    WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC));
    {
        GifPlayer single;
        single.Attach(control);
        EXPECT_NE(own, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC)));
        EXPECT_EQ(1u, single.Load(WriteGif(L"one.gif", giftest::MakeGif(8, 8, {Solid(8, 8, 1, 10)}))));
        single.Start();
        EXPECT_FALSE(single.Running()) << "one frame starts no thread";
        single.Detach();
        EXPECT_EQ(own, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC)));
    }
    {
        GifPlayer player;
        player.Attach(control);
        // Frames without a graphic control stay 100 ms; the second asks for 30 ms.
        giftest::FrameSpec slow = Solid(8, 8, 1, -1);
        ASSERT_EQ(2u, player.Load(WriteGif(L"two.gif", giftest::MakeGif(8, 8, {slow, Solid(8, 8, 2, 3)}))));
        player.Start();
        EXPECT_TRUE(player.Running());
        EXPECT_EQ(0, player.CurrentFrame());
        bool sawSecond = false;
        for (int i = 0; i < 40 && !sawSecond; ++i) {
            testkit::PumpFor(10);
            sawSecond = player.CurrentFrame() == 1;
        }
        EXPECT_TRUE(sawSecond);
        player.Detach();
        EXPECT_FALSE(player.Running());
        EXPECT_EQ(0u, player.Load(L"C:\\no\\such.gif"));
    }
    DestroyWindow(control);
}

WNDPROC g_editProc = nullptr;
bool g_sawNcDestroy = false;

LRESULT CALLBACK RecordingEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) g_sawNcDestroy = true;
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

TEST(EditHint, GreyHintInAnEmptyEditAndTheEditsOwnEnd) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 20, 20, 200, 60, nullptr, nullptr, nullptr,
                                  nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 150, 24, parent, nullptr,
                                nullptr, nullptr);
    g_editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingEditProc)));
    memberform::EditHint hint;
    hint.Attach(edit, testkit::Wide("请输入姓名"));
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    testkit::PumpFor(100);
    EXPECT_TRUE(testkit::CaptureWindow(edit).Holds(RGB(106, 106, 106))) << "the hint";
    SetWindowTextW(edit, L"abc");
    RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    testkit::PumpFor(100);
    EXPECT_FALSE(testkit::CaptureWindow(edit).Holds(RGB(106, 106, 106))) << "text hides the hint";

    DestroyWindow(parent);
    EXPECT_TRUE(g_sawNcDestroy) << "the edit's own procedure sees its last message";
}

// ---- The form in the rig ---------------------------------------------------------------

std::wstring Text(HWND dialog, int id) {
    wchar_t text[260] = L"";
    GetDlgItemTextW(dialog, id, text, 260);
    return text;
}

void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void ChooseProvince(HWND dialog, const char* utf8) {
    HWND box = GetDlgItem(dialog, 1007);
    LRESULT at = SendMessageW(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(testkit::Wide(utf8).c_str()));
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1007, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

int CountSubscribes() {
    int n = 0;
    for (const std::string& line : panetest::PlatformLog()) n += line.find("Zum_SubscribeService(19,") == 0;
    return n;
}

std::string LastSubscribe() {
    std::string last;
    for (const std::string& line : panetest::PlatformLog()) {
        if (line.find("Zum_SubscribeService(19,") == 0) last = line;
    }
    return last;
}

int CountChildren(HWND parent, const wchar_t* cls) {
    int n = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = L"";
        GetClassNameW(child, name, 64);
        n += lstrcmpiW(name, cls) == 0;
    }
    return n;
}

TEST(MemberFormChild, FillsFromTheAccountAndSendsTheFormText) {
    if (!panetest::InChild()) GTEST_SKIP() << "runs inside the rig";
    // The form relies on the host for the rich-edit and date-time picker classes.
    ASSERT_TRUE(LoadLibraryW(L"riched20.dll"));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_DATE_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    panetest::Container container;
    HWND form = container.Window(kFormPlug);
    ASSERT_TRUE(form);
    EXPECT_FALSE(IsWindowVisible(form));
    wchar_t caption[128] = L"", title[128] = L"";
    GetPrivateProfileStringW(L"Dialog", L"Caption", L"", caption, 128,
                             (testkit::ProgramDir() + L"config\\uiprof.cfg").c_str());
    GetWindowTextW(form, title, 128);
    EXPECT_STREQ(caption, title);
    EXPECT_EQ(testkit::Wide("女"), Text(form, 1019)) << "sex 2 of the account";
    EXPECT_EQ(testkit::Wide("江苏"), Text(form, 1007));
    EXPECT_EQ(2, CountChildren(form, L"RichEdit20A"));

    // Placed left of the notice pane (plug -3), 33 pixels above it.
    RECT notice, placed, client;
    GetWindowRect(container.Window(PLUG_NOTICE_PANE), &notice);
    GetWindowRect(form, &placed);
    GetClientRect(form, &client);
    EXPECT_EQ(notice.left - client.right - 8, placed.left);
    EXPECT_EQ(notice.top - 33, placed.top);

    // Lists from the program's files: a long province line makes two entries, a province
    // without a group leaves no cities.
    EXPECT_NE(CB_ERR, SendDlgItemMessageW(form, 1007, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(testkit::Wide("内蒙古自治区锡林郭").c_str())));
    ChooseProvince(form, "江苏");
    EXPECT_EQ(3, SendDlgItemMessageW(form, 1008, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(testkit::Wide("南京"), Text(form, 1008));
    ChooseProvince(form, "台湾");
    EXPECT_EQ(0, SendDlgItemMessageW(form, 1008, CB_GETCOUNT, 0, 0));
    ChooseProvince(form, "江苏");
    SetDlgItemTextW(form, 1005, testkit::Wide("李丽").c_str());
    SetDlgItemTextW(form, 1009, L"SN-42");
    SetDlgItemTextW(form, 1014, L"025");
    SetDlgItemTextW(form, 1015, L"5551234");
    SendDlgItemMessageW(form, 1029, CB_SETCURSEL, 0, 0);
    SYSTEMTIME date = {};
    date.wYear = 2025;
    date.wMonth = 11;
    date.wDay = 3;
    SendDlgItemMessageW(form, 1028, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&date));

    // The notice pane of the rig sits at the screen's left edge, so the form is placed
    // off the screen: it is brought back for its pictures.
    SetWindowPos(form, HWND_TOPMOST, 60, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    EXPECT_TRUE(panetest::SaveShot(form, L"memberform"));
    // Two pictures of the animation 300 ms apart differ (a busy machine may delay the
    // repaint thread once, so a few pairs are tried).
    HWND picture = GetDlgItem(form, 1026);
    testkit::Capture first, second;
    for (int attempt = 0; attempt < 5 && (attempt == 0 || first.pixels == second.pixels); ++attempt) {
        first = testkit::CaptureWindow(picture);
        testkit::PumpFor(300);
        second = testkit::CaptureWindow(picture);
    }
    EXPECT_NE(first.pixels, second.pixels) << "the animation moves on";
    EXPECT_TRUE(panetest::SaveCapture(first, L"memberform-gif-a"));
    EXPECT_TRUE(panetest::SaveCapture(second, L"memberform-gif-b"));

    Click(form, 1012);
    EXPECT_NE(std::string::npos,
              LastSubscribe().find(Ansi(":Username=u19&Password=p19&Realname=李丽&Sex=2&Province=江苏&City=南京"
                                        "&Areanum=025&Telephone=5551234&Pcsn=SN-42&Type=HQ730&Buydate=20251103"
                                        "&Number=1)=")))
        << LastSubscribe();

    // A name the unescaped text cannot carry is not sent; the box names the field.
    int sent = CountSubscribes();
    SetDlgItemTextW(form, 1005, L"A&Username=x");
    {
        panetest::BoxAnswerer box(5000);
        Click(form, 1012);
        EXPECT_NE(std::wstring::npos, box.Text().find(L"您的姓名"));
    }
    EXPECT_EQ(sent, CountSubscribes());
    EXPECT_EQ(L"A&Username=x", Text(form, 1005)) << "the form keeps its contents";

    // A refusal of the platform shows its message.
    SetDlgItemTextW(form, 1005, testkit::Wide("李丽").c_str());
    auto set = reinterpret_cast<void(__cdecl*)(const char*, const char*, const char*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"zumbase.dll"), "ZumStub_Set")));
    ASSERT_TRUE(set);
    set("Fail", "Zum_SubscribeService", "-7");
    set("Errors", "Zum_SubscribeService", Ansi("售后名额已满").c_str());
    {
        panetest::BoxAnswerer box(5000);
        Click(form, 1012);
        std::wstring shown = box.Text();
        EXPECT_NE(std::wstring::npos, shown.find(L"会员注册失败")) << vantor::WideToAnsi(shown);
    }

    // The reserved sub-tab calls only say their name.
    auto remove = container.Export<PFN_TabPlug_DelChildTab>(kFormPlug, TABPLUG_DELCHILDTAB_NAME);
    auto reparent = container.Export<PFN_TabPlug_ChangeParent>(kFormPlug, TABPLUG_CHANGEPARENT_NAME);
    ASSERT_TRUE(remove && reparent);
    {
        panetest::BoxAnswerer box(5000);
        EXPECT_EQ(1, remove(container.Handle(kFormPlug), 3));
        EXPECT_EQ(L"_DelChildTab", box.Text());
    }
    {
        panetest::BoxAnswerer box(5000);
        EXPECT_EQ(1, reparent(container.Handle(kFormPlug), container.host()));
        EXPECT_EQ(L"_ChangeParent", box.Text());
    }
    EXPECT_EQ(nullptr, GetParent(form));

    // Closing only tells the pane owner.
    SendMessageW(form, WM_CLOSE, 0, 0);
    testkit::PumpFor(100);
    EXPECT_TRUE(panetest::TraceHas("plug-13.dll Message 3024 w=0 l=0"));
    EXPECT_TRUE(IsWindow(form));
}

// Without a pane owner the close would become a message of the closing thread.
TEST(MemberFormOwnerless, ClosingPostsNothingToItsThread) {
    if (!panetest::InChild()) GTEST_SKIP() << "runs inside the rig";
    ASSERT_TRUE(LoadLibraryW(L"riched20.dll"));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_DATE_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    panetest::Container container;
    ASSERT_EQ(nullptr, container.Window(PLUG_PANE_OWNER));
    HWND form = container.Window(kFormPlug);
    ASSERT_TRUE(form);
    SendMessageW(form, WM_CLOSE, 0, 0);
    MSG stray;
    bool threadMessage = false;
    while (PeekMessageW(&stray, nullptr, UM_PANE_CLOSED, UM_PANE_CLOSED, PM_REMOVE)) {
        threadMessage = threadMessage || stray.hwnd == nullptr;
    }
    EXPECT_FALSE(threadMessage);
    EXPECT_TRUE(IsWindow(form));
}

// The container makes the form hidden at start-up: the user's window keeps the keyboard
// (an invisible form holding the focus takes the keys and deactivates the host), and the
// form's first field gets it once the form is shown.
TEST(MemberFormChild, MadeHiddenItLeavesTheKeyboardWithTheHost) {
    if (!panetest::InChild()) GTEST_SKIP() << "runs inside the rig";
    ASSERT_TRUE(LoadLibraryW(L"riched20.dll"));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_DATE_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    HWND user = CreateWindowExW(0, L"STATIC", L"user", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 200, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND typing = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 8, 8, 200, 24, user, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(user);
    SetFocus(typing);
    ASSERT_EQ(typing, GetFocus());
    {
        panetest::Container container;
        HWND form = container.Window(kFormPlug);
        ASSERT_TRUE(form);
        EXPECT_FALSE(IsWindowVisible(form));
        EXPECT_EQ(typing, GetFocus()) << "the hidden form took the focus";
        EXPECT_EQ(user, GetActiveWindow()) << "the hidden form took the activation";

        auto show = container.Export<PFN_TabPlug_Show>(kFormPlug, TABPLUG_SHOW_NAME);
        ASSERT_TRUE(show);
        EXPECT_EQ(1, show(container.Handle(kFormPlug), 1));
        SetForegroundWindow(form);
        testkit::PumpFor(100);
        EXPECT_EQ(GetDlgItem(form, 1005), GetFocus()) << "the shown form starts at the name field";
    }
    DestroyWindow(user);
}

void ConfigurePlatform(testkit::PaneRig& rig) {
    rig.Platform("[Customer]\r\naccount=vm0042\r\nnickname=lili\r\nprovince=" + Ansi("江苏") +
                 "\r\ncity=" + Ansi("南京") + "\r\nsex=2\r\n[Suite]\r\nid=RIG\r\n[Services]\r\nlist=19\r\n"
                 "[Service.19]\r\nname=after-sale\r\nstate=1\r\nlocator=http://127.0.0.1/service/19\r\n"
                 "codes=2\r\ncode0=u19\r\ncode1=p19\r\n[Catalog]\r\ncount=0\r\n[Notice]\r\ncount=0\r\n");
    // The form's own province list: a line too long for one entry and a province without
    // a group of cities.
    ASSERT_TRUE(rig.Write(L"config\\province.txt",
                          Ansi("北京\t京\r\n天津\t津\r\n上海\t沪\r\n江苏\t苏\r\n浙江\t浙\r\n广东\t粤\r\n"
                               "四川\t川\r\n内蒙古自治区锡林郭勒盟\r\n台湾\t台\r\n")));
}

TEST(MemberForm, InTheRig) {
    testkit::PaneRig rig(L"memberform-rig");
    rig.Pane(kFormPlug, L"MemberForm.dll");
    ConfigurePlatform(rig);
    EXPECT_EQ(0u, panetest::RunChild(rig, "MemberFormChild.*"));
}

TEST(MemberForm, WithoutAPaneOwner) {
    testkit::PaneRig rig(L"memberform-ownerless");
    rig.Pane(kFormPlug, L"MemberForm.dll");
    ConfigurePlatform(rig);
    const std::string form = std::to_string(kFormPlug);
    ASSERT_TRUE(rig.Write(L"config\\pruv2.cfg",
                          "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=-3,-8,-10," + form +
                              "\r\nSubPlugs=\r\n[PlugsLoadStyle]\r\n-3=immediately\r\n-8=immediately\r\n"
                              "-10=immediately\r\n" + form + "=immediately\r\n[PlugsModule]\r\n-3=plug-3.dll\r\n"
                              "-8=plug-8.dll\r\n-10=plug-10.dll\r\n" + form + "=MemberForm.dll\r\n"));
    EXPECT_EQ(0u, panetest::RunChild(rig, "MemberFormOwnerless.*"));
}

}  // namespace
