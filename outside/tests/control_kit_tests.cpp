// KnobKit, GlassKit and AnchorKit on a dialog, each control in one of its states, over a
// background that holds a PictKit picture. The
// window is read back pixel by pixel and saved as "screenshots\outside-controls.bmp" in
// the program folder for a human to look at.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Handles.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/AnchorKit.h"
#include "outside/GlassKit.h"
#include "outside/KnobKit.h"
#include "outside/PictKit.h"

namespace {

using testkit::Capture;
using testkit::SolidBitmap;

const COLORREF kDialogBack = RGB(255, 250, 205);
const COLORREF kNormal = RGB(200, 200, 255);
const COLORREF kHover = RGB(255, 220, 150);
const COLORREF kPressed = RGB(120, 120, 240);
const COLORREF kLink = RGB(0, 0, 255);
const COLORREF kLinkHover = RGB(255, 0, 0);
const COLORREF kLinkChecked = RGB(0, 128, 0);
const COLORREF kPicture = RGB(180, 40, 160);
const RECT kPictureRect = {300, 140, 380, 185};

struct Kits {
    CKnobKit knobs[4];
    CGlassKit glass[3];
    CAnchorKit links[3];
    PictKit picture;
    int clicked[400] = {};
};

INT_PTR CALLBACK KitDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    Kits* kits = reinterpret_cast<Kits*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        return TRUE;
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(dlg, &rc);
        vantor::UniqueGdi<HBRUSH> brush(CreateSolidBrush(kDialogBack));
        FillRect(reinterpret_cast<HDC>(wParam), &rc, brush.get());
        kits->picture.Draw(reinterpret_cast<HDC>(wParam), kPictureRect);
        SetWindowLongPtrW(dlg, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        bool drawn = false;
        for (auto& k : kits->knobs) drawn = drawn || k.DrawItem(item);
        for (auto& g : kits->glass) drawn = drawn || g.DrawItem(item);
        return drawn;
    }
    case WM_COMMAND:
        if (kits && LOWORD(wParam) < 400) kits->clicked[LOWORD(wParam)]++;
        return TRUE;
    }
    return FALSE;
}

RECT ControlRect(HWND dlg, int id) {
    RECT rc;
    GetWindowRect(GetDlgItem(dlg, id), &rc);
    RECT win;
    GetWindowRect(dlg, &win);
    OffsetRect(&rc, -win.left, -win.top);
    return rc;
}

TEST(ControlKits, DrawEachStateAndKeepTheirBehaviour) {
    std::wstring dir = testkit::FreshDir(L"control-kits");
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"n.bmp", SolidBitmap(8, 8, kNormal)));
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"h.bmp", SolidBitmap(8, 8, kHover)));
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"p.bmp", SolidBitmap(8, 8, kPressed)));
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"picture.bmp", SolidBitmap(20, 10, kPicture)));
    std::string base = vantor::WideToAnsi(dir);

    std::vector<testkit::DialogControl> controls = {
        {101, 0x0080, BS_PUSHBUTTON, 10, 10, 55, 16, L"Normal"},
        {102, 0x0080, BS_PUSHBUTTON, 70, 10, 55, 16, L"Hover"},
        {103, 0x0080, BS_PUSHBUTTON, 130, 10, 55, 16, L"Pressed"},
        {104, 0x0080, BS_PUSHBUTTON | WS_DISABLED, 190, 10, 55, 16, L"Disabled"},
        {201, 0x0080, BS_AUTOCHECKBOX, 10, 40, 70, 12, L"Checked"},
        {202, 0x0080, BS_AUTOCHECKBOX, 90, 40, 70, 12, L"Clear"},
        {203, 0x0080, BS_PUSHBUTTON, 170, 38, 60, 16, L"Glass"},
        {301, 0x0082, SS_LEFT, 10, 70, 1, 1, L"Link"},
        {302, 0x0082, SS_LEFT, 70, 70, 1, 1, L"Hovered link"},
        {303, 0x0082, SS_LEFT, 160, 70, 1, 1, L"Checked link"},
    };
    std::vector<WORD> tpl = testkit::DialogTemplate(260, 120, controls);
    Kits kits;
    ASSERT_TRUE(kits.picture.Open((dir + L"picture.bmp").c_str()));
    HWND dlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(tpl.data()),
                                          nullptr, KitDialog, reinterpret_cast<LPARAM>(&kits));
    ASSERT_NE(nullptr, dlg);
    SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SendMessageW(GetDlgItem(dlg, 201), BM_SETCHECK, BST_CHECKED, 0);

    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(kits.knobs[i].SubclassWnd(GetDlgItem(dlg, 101 + i)));
        kits.knobs[i].SetBkgndImage((base + "n.bmp").c_str(), (base + "h.bmp").c_str(),
                                    i == 2 ? (base + "p.bmp").c_str() : nullptr, nullptr);
        kits.knobs[i].SetTextColor(RGB(0, 0, 0), RGB(128, 0, 0));
    }
    EXPECT_FALSE(kits.knobs[0].SubclassWnd(GetDlgItem(dlg, 102))) << "one control per object";
    EXPECT_FALSE(CKnobKit().SubclassWnd(GetDlgItem(dlg, 301))) << "a static is no button";
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(kits.glass[i].SubclassWnd(GetDlgItem(dlg, 201 + i)));
    kits.glass[0].SetBtnStyle(GLASSKIT_STYLE_CHECK);
    kits.glass[1].SetBtnStyle(GLASSKIT_STYLE_CHECK);
    kits.glass[2].SetBtnStyle(GLASSKIT_STYLE_PUSH);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(kits.links[i].SubclassWnd(GetDlgItem(dlg, 301 + i)));
        kits.links[i].SetTextColor(kLink, kLinkHover, kLinkChecked);
        kits.links[i].SetTextFont(12, true, false, "Tahoma");
    }
    kits.links[2].SetChecked(true);

    // Hover and pressed states as the pointer and a held click would make them.
    SendMessageW(GetDlgItem(dlg, 102), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    SendMessageW(GetDlgItem(dlg, 103), BM_SETSTATE, TRUE, 0);
    SendMessageW(GetDlgItem(dlg, 302), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testkit::PumpFor(200);

    Capture shot = testkit::CaptureWindow(dlg);
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    testkit::SaveBitmapFile(shot, testkit::ProgramDir() + L"screenshots\\outside-controls.bmp");

    auto corner = [&](int id) { RECT r = ControlRect(dlg, id); return shot.At(r.left + 2, r.top + 2); };
    EXPECT_EQ(kNormal, corner(101));
    EXPECT_EQ(kHover, corner(102));
    EXPECT_EQ(kPressed, corner(103));
    EXPECT_EQ(kNormal, corner(104)) << "no disabled picture: the normal one";
    // The check box shows the dialog's background right of its text.
    RECT glassRect = ControlRect(dlg, 202);
    EXPECT_EQ(kDialogBack, shot.At(glassRect.right - 2, glassRect.top + 1));
    EXPECT_TRUE(shot.Holds(ControlRect(dlg, 301), kLink));
    EXPECT_FALSE(shot.Holds(ControlRect(dlg, 301), kLinkHover));
    EXPECT_TRUE(shot.Holds(ControlRect(dlg, 302), kLinkHover));
    EXPECT_TRUE(shot.Holds(ControlRect(dlg, 303), kLinkChecked));
    EXPECT_EQ(kPicture, shot.At(kPictureRect.left + 5, kPictureRect.top + 5));
    EXPECT_EQ(kPicture, shot.At(kPictureRect.right - 5, kPictureRect.bottom - 5)) << "stretched over the rectangle";

    // Behaviour: owner-drawn check boxes keep and toggle their state and still notify.
    EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(dlg, 201), BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(GetDlgItem(dlg, 202), BM_GETCHECK, 0, 0));
    SendMessageW(GetDlgItem(dlg, 202), BM_CLICK, 0, 0);
    testkit::PumpFor(200);
    EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(dlg, 202), BM_GETCHECK, 0, 0));
    EXPECT_EQ(1, kits.clicked[202]);
    // Links are sized to their text and report clicks with their id.
    RECT linkRect = ControlRect(dlg, 302);
    EXPECT_GT(linkRect.right - linkRect.left, 20);
    EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(dlg, 301), GWL_STYLE) & SS_NOTIFY);
    SendMessageW(GetDlgItem(dlg, 301), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(GetDlgItem(dlg, 301), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    testkit::PumpFor(200);
    EXPECT_EQ(1, kits.clicked[301]);

    // Un-subclassing gives the check state and the style back.
    kits.glass[1].UnsubclassWnd();
    EXPECT_FALSE(kits.glass[1].IsSubclass());
    EXPECT_EQ(BS_AUTOCHECKBOX, GetWindowLongPtrW(GetDlgItem(dlg, 202), GWL_STYLE) & BS_TYPEMASK);
    EXPECT_EQ(BST_CHECKED, SendMessageW(GetDlgItem(dlg, 202), BM_GETCHECK, 0, 0));
    kits.knobs[0].UnsubclassWnd();
    EXPECT_EQ(BS_PUSHBUTTON, GetWindowLongPtrW(GetDlgItem(dlg, 101), GWL_STYLE) & BS_TYPEMASK);

    // Controls that go with their dialog are forgotten: a handle the system may give to
    // another window later is never touched when the objects go.
    DestroyWindow(dlg);
    EXPECT_FALSE(kits.knobs[1].IsSubclass());
    EXPECT_EQ(nullptr, kits.glass[0].GetSafeHwnd());
    EXPECT_FALSE(kits.links[0].IsSubclass());
}

}  // namespace
