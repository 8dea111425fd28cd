// Folder-bar geometry, the scroll rule, skin loading and header painting (pixel checks on
// a memory canvas), service-icon lists, slots, clicks and tool-tip texts.
#include <gtest/gtest.h>

#include "FolderBar.h"
#include "MemoryBook.h"
#include "RostSkin.h"
#include "Screenshot.h"
#include "ServiceIcons.h"
#include "TestSupport.h"

namespace {

using namespace rostview;
using rvtest::MemoryBook;

TEST(FolderBar, HeadersStandAboveAndBelowTheCurrentFolder) {
    const RECT c = {0, 0, 200, 300};
    RECT first = HeaderRect(c, 2, 0, 0);
    RECT second = HeaderRect(c, 2, 0, 1);
    EXPECT_EQ(1, first.left);
    EXPECT_EQ(199, first.right);
    EXPECT_EQ(2, first.top);
    EXPECT_EQ(22, first.bottom);
    EXPECT_EQ(279, second.top);
    EXPECT_EQ(299, second.bottom) << "the last header ends at C.bottom - 1";
    RECT area = ChildArea(c, 2, 0);
    EXPECT_EQ(22, area.top);
    EXPECT_EQ(279, area.bottom);
    EXPECT_EQ(1, area.left);
    EXPECT_EQ(199, area.right);
    // The black list current: both headers at the top, the child down to the bottom.
    EXPECT_EQ(23, HeaderRect(c, 2, 1, 1).top);
    EXPECT_EQ(43, ChildArea(c, 2, 1).top);
    EXPECT_EQ(300, ChildArea(c, 2, 1).bottom);
    // Hit tests use the same rectangles.
    EXPECT_EQ(0, HeaderAt(c, 2, 0, POINT{50, 2}));
    EXPECT_EQ(-1, HeaderAt(c, 2, 0, POINT{50, 22}));
    EXPECT_EQ(1, HeaderAt(c, 2, 0, POINT{50, 298}));
    EXPECT_EQ(-1, HeaderAt(c, 2, 0, POINT{50, 299}));
    EXPECT_EQ(-1, HeaderAt(c, 2, 0, POINT{0, 10})) << "one pixel inside at each side";
    EXPECT_EQ(1, HeaderAt(c, 2, 1, POINT{50, 30}));
}

TEST(FolderBar, SelectionNeedsPressAndReleaseOnOneOtherHeader) {
    EXPECT_EQ(1, FolderToSelect(1, 1, 0));
    EXPECT_EQ(-1, FolderToSelect(1, 0, 0)) << "pressed on one header, released on another";
    EXPECT_EQ(-1, FolderToSelect(0, 0, 0)) << "the current folder's own header";
    EXPECT_EQ(-1, FolderToSelect(-1, 1, 0));
    EXPECT_EQ(-1, FolderToSelect(1, -1, 0));
}

TEST(FolderBar, ScrollBarsBelowOneHundredByEighty) {
    ScrollPlan roomy = PlanScrollBars(100, 80, 2, 17, 17);
    EXPECT_FALSE(roomy.vertical);
    EXPECT_FALSE(roomy.horizontal);
    EXPECT_EQ(80, roomy.minHeight);
    ScrollPlan low = PlanScrollBars(200, 79, 2, 17, 17);
    EXPECT_TRUE(low.vertical);
    EXPECT_FALSE(low.horizontal);
    EXPECT_EQ(183, low.width);
    ScrollPlan narrow = PlanScrollBars(99, 200, 2, 17, 17);
    EXPECT_TRUE(narrow.horizontal);
    EXPECT_FALSE(narrow.vertical);
    // The horizontal bar takes height enough to need the vertical one too.
    ScrollPlan both = PlanScrollBars(99, 90, 2, 17, 17);
    EXPECT_TRUE(both.horizontal);
    EXPECT_TRUE(both.vertical);
    // The vertical bar narrows the pane below 100.
    ScrollPlan chain = PlanScrollBars(110, 50, 2, 17, 17);
    EXPECT_TRUE(chain.vertical);
    EXPECT_TRUE(chain.horizontal);
}

// --- service icons

TEST(ServiceIcons, ListFollowsRoomAndOffer) {
    IconOffer all{true, true, true};
    EXPECT_TRUE(BuildIconList(15, all).empty()) << "a narrow row builds no list";
    EXPECT_TRUE(BuildIconList(17, all).empty()) << "room for no whole slot";
    std::vector<BYTE> one = BuildIconList(18, IconOffer{true, false, false});
    ASSERT_EQ(2u, one.size());
    EXPECT_EQ(1, one[0]);
    EXPECT_EQ(ICON_MORE, one[1]) << "one slot gives the more-services icon";
    std::vector<BYTE> two = BuildIconList(40, all);
    ASSERT_EQ(3u, two.size());
    EXPECT_EQ((std::vector<BYTE>{2, ICON_CHAT, ICON_MORE}), two);
    std::vector<BYTE> wide = BuildIconList(100, all);
    EXPECT_EQ(6u, wide.size());
    EXPECT_EQ((std::vector<BYTE>{3, ICON_CHAT, ICON_SMS, ICON_PHONE, 0, 0}), wide);
    EXPECT_EQ((std::vector<BYTE>{1, ICON_PHONE, 0, 0, 0, 0}), BuildIconList(100, IconOffer{false, false, true}));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0}), BuildIconList(36, IconOffer{}));
}

TEST(ServiceIcons, OfferComesFromPoliciesAndNumbers) {
    MemoryBook book;
    GroupHandle g = book.AddGroup(nullptr, "11", "n");
    FriendHandle self = book.AddFriend(nullptr, "me", "me");
    FriendHandle pal = book.AddFriend(g, "pal", "pal");
    book.self = self;
    FriendInfoA info = {};
    book.FriendA(pal, &info);
    IconOffer none = OfferFor(book, pal, info);
    EXPECT_FALSE(none.chat || none.sms || none.phone);
    book.At(pal).policies[9] = 1;
    book.At(self).policies[9] = 2;
    EXPECT_FALSE(OfferFor(book, pal, info).chat) << "status 1 on both sides";
    book.At(self).policies[9] = 1;
    EXPECT_TRUE(OfferFor(book, pal, info).chat);
    book.At(self).policies[8] = 1;
    EXPECT_FALSE(OfferFor(book, pal, info).sms) << "no mobile number";
    vantor::CopyField(info.mobile, "13900000000");
    EXPECT_TRUE(OfferFor(book, pal, info).sms);
    EXPECT_FALSE(OfferFor(book, pal, info).phone);
    book.At(self).policies[3] = 1;
    EXPECT_TRUE(OfferFor(book, pal, info).phone);
    book.self = nullptr;
    IconOffer noAccount = OfferFor(book, pal, info);
    EXPECT_FALSE(noAccount.chat || noAccount.sms || noAccount.phone);
}

TEST(ServiceIcons, SlotsClicksAndTips) {
    const RECT row = {0, 100, 200, 118};
    const RECT text = {20, 100, 120, 118};
    RECT first = IconSlot(row, 0);
    EXPECT_EQ(184, first.left);
    EXPECT_EQ(101, first.top);
    EXPECT_EQ(166, IconSlot(row, 1).left);
    EXPECT_EQ(0, SlotAt(row, text, POINT{190, 110}, 3));
    EXPECT_EQ(1, SlotAt(row, text, POINT{170, 110}, 3));
    EXPECT_EQ(-1, SlotAt(row, text, POINT{170, 110}, 1)) << "beyond the list's count";
    EXPECT_EQ(-1, SlotAt(row, text, POINT{182, 110}, 3)) << "between two slots";
    EXPECT_EQ(-1, SlotAt(row, RECT{20, 100, 170, 118}, POINT{170, 110}, -1)) << "slots stop at the text";
    EXPECT_EQ(3, SlotAt(row, text, POINT{135, 110}, -1)) << "no count limit";
    EXPECT_EQ(-1, SlotAt(row, text, POINT{115, 110}, -1)) << "slot 4 would start left of the text's end";
    EXPECT_EQ(3, IconImage(ICON_SMS, true));
    EXPECT_EQ(ICON_MORE, IconImage(ICON_MORE, true));
    EXPECT_EQ(16, IconImage(ICON_CHAT, false));

    FriendInfoA info = {};
    EXPECT_EQ(21004, IconCommand(ICON_SMS, info));
    EXPECT_EQ(21005, IconCommand(ICON_CHAT, info));
    EXPECT_EQ(0, IconCommand(ICON_PHONE, info));
    EXPECT_EQ(0, IconCommand(ICON_MORE, info));
    vantor::CopyField(info.xlt, "x");
    EXPECT_EQ(21003, IconCommand(ICON_PHONE, info));
    vantor::CopyField(info.phone, "p");
    EXPECT_EQ(21002, IconCommand(ICON_PHONE, info));
    vantor::CopyField(info.mobile, "m");
    EXPECT_EQ(21001, IconCommand(ICON_PHONE, info));
    vantor::CopyField(info.voip, "v");
    EXPECT_EQ(21000, IconCommand(ICON_PHONE, info));

    FriendInfoW w = {};
    vantor::CopyField(w.id, L"u1");
    vantor::CopyField(w.name, L"张三");
    EXPECT_EQ(L"张三(u1)", FriendTip(w, -1));
    vantor::CopyField(w.nickname, L"小张");
    EXPECT_EQ(L"小张(u1)", FriendTip(w, -1));
    EXPECT_EQ(L"聊天", FriendTip(w, ICON_CHAT));
    EXPECT_EQ(L"短信", FriendTip(w, ICON_SMS));
    EXPECT_EQ(L"宽带电话", FriendTip(w, ICON_PHONE));
    EXPECT_EQ(L"更多服务", FriendTip(w, ICON_MORE));
    FriendInfoA a = {};
    vantor::CopyField(a.id, "u1");
    vantor::CopyField(a.name, testkit::Ansi("张三").c_str());
    EXPECT_EQ(testkit::Ansi("张三(u1)"), FriendTip(a, -1));
    EXPECT_EQ(testkit::Ansi("宽带电话"), FriendTip(a, ICON_PHONE));
    GroupInfoW gw = {};
    vantor::CopyField(gw.id, L"11");
    vantor::CopyField(gw.name, L"网络好友");
    EXPECT_EQ(L"网络好友(11)", GroupTip(gw));
    GroupInfoA ga = {};
    vantor::CopyField(ga.id, "11");
    vantor::CopyField(ga.name, testkit::Ansi("网络好友").c_str());
    EXPECT_EQ(testkit::Ansi("网络好友(11)"), GroupTip(ga));
}

// --- skins

struct SkinFolder {
    std::wstring dir = testkit::FreshDir(L"rostskin");
    void File(const wchar_t* name, const std::string& text) { testkit::WriteFileBytes(dir + name, text); }
    void Picture(const wchar_t* name, int w, int h, COLORREF c) {
        testkit::WriteFileBytes(dir + name, testkit::SolidBitmap(w, h, c));
    }
    // A full skin: caps, middles and tags in colours of their own.
    void Full(const char* omit = "") {
        std::string ini = "[FolderBar]\r\nbkgndl=10,20,30\r\nbkgndr=40,50,60\r\nselFontColor=1,2,3\r\n"
                          "norFontColor=4,5,6\r\ntagOpen=open.bmp\r\ntagClose=close.bmp\r\n";
        const char* keys[] = {"bkn", "bkh", "bkd", "lcn", "lch", "lcd", "rcn", "rch", "rcd"};
        for (const char* key : keys) {
            if (std::string(key) == omit) continue;
            ini += std::string(key) + "=" + key + ".bmp\r\n";
        }
        File(L"RostView.skn", ini);
        File(L"CommWnd.skn", "[COLOR]\r\nbkgnd=250,240,230\r\n");
        Picture(L"bkn.bmp", 4, 20, RGB(0, 200, 0));
        Picture(L"bkh.bmp", 4, 20, RGB(0, 0, 200));
        Picture(L"bkd.bmp", 4, 20, RGB(200, 0, 0));
        for (const wchar_t* cap : {L"lcn.bmp", L"lch.bmp", L"lcd.bmp"}) Picture(cap, 3, 20, RGB(90, 90, 0));
        for (const wchar_t* cap : {L"rcn.bmp", L"rch.bmp", L"rcd.bmp"}) Picture(cap, 5, 20, RGB(0, 90, 90));
        Picture(L"open.bmp", 8, 8, RGB(255, 128, 0));
        Picture(L"close.bmp", 8, 8, RGB(128, 0, 255));
    }
};

TEST(RostSkin, ReadsColoursAndAWholePictureSet) {
    SkinFolder f;
    f.Full();
    SkinValues skin;
    LoadSkin(f.dir, &skin);
    EXPECT_EQ(RGB(250, 240, 230), skin.background);
    EXPECT_EQ(RGB(10, 20, 30), skin.gradientLeft);
    EXPECT_EQ(RGB(40, 50, 60), skin.gradientRight);
    EXPECT_EQ(RGB(1, 2, 3), skin.currentText);
    EXPECT_EQ(RGB(4, 5, 6), skin.otherText);
    EXPECT_TRUE(skin.HasHeaderPictures());
    EXPECT_EQ(8, skin.tagSize);

    // Pictures of the right state; caption centred; the open tag beside it.
    HFONT font = CreateCaptionFont();
    testkit::Canvas canvas(200, 20);
    RECT r = {0, 0, 200, 20};
    PaintHeader(canvas.dc(), r, skin, font, L"好友列表", 48, HeaderLook{true, false, false});
    EXPECT_EQ(RGB(90, 90, 0), canvas.At(1, 10)) << "left cap";
    EXPECT_EQ(RGB(0, 90, 90), canvas.At(197, 10)) << "right cap";
    EXPECT_EQ(RGB(0, 200, 0), canvas.At(10, 10)) << "normal middle, stretched";
    EXPECT_GT(canvas.Count(RGB(255, 128, 0), 0, 0, 200, 20), 40) << "open tag";
    // The caption box: 48 wide, centred left of one and a half tags.
    int ink = 48 * 16 - canvas.Count(RGB(0, 200, 0), 70, 2, 118, 18);
    EXPECT_GT(ink, 40) << "the caption is drawn in its box";
    EXPECT_GT(canvas.Count(RGB(1, 2, 3), 70, 2, 118, 18), 0) << "in the current folder's colour";
    PaintHeader(canvas.dc(), r, skin, font, L"黑名单", 48, HeaderLook{false, true, false});
    EXPECT_EQ(RGB(0, 0, 200), canvas.At(10, 10)) << "hover middle";
    EXPECT_GT(canvas.Count(RGB(128, 0, 255), 0, 0, 200, 20), 40) << "closed tag";
    EXPECT_GT(canvas.Count(RGB(4, 5, 6), 70, 2, 118, 18), 0);
    PaintHeader(canvas.dc(), r, skin, font, L"黑名单", 48, HeaderLook{false, true, true});
    EXPECT_EQ(RGB(200, 0, 0), canvas.At(10, 10)) << "pressed middle";
    DeleteObject(font);
}

TEST(RostSkin, IncompleteSetsFallBackToTheGradient) {
    {
        // Without rcd: no header pictures and no tags.
        SkinFolder f;
        f.Full("rcd");
        SkinValues skin;
        LoadSkin(f.dir, &skin);
        EXPECT_FALSE(skin.HasHeaderPictures());
        EXPECT_FALSE(skin.HasTags());
        EXPECT_EQ(0, skin.tagSize);
        testkit::Canvas canvas(200, 20);
        PaintHeader(canvas.dc(), RECT{0, 0, 200, 20}, skin, nullptr, L"", 0, HeaderLook{true, false, false});
        EXPECT_EQ(RGB(10, 20, 30), canvas.At(0, 10)) << "gradient from the left colour";
        EXPECT_EQ(0, canvas.Count(RGB(255, 128, 0), 0, 0, 200, 20)) << "no tag";
        EXPECT_EQ(0, canvas.Count(RGB(0, 200, 0), 0, 0, 200, 20));
    }
    {
        // Without bkn: gradient headers that keep their tags.
        SkinFolder f;
        f.Full("bkn");
        SkinValues skin;
        LoadSkin(f.dir, &skin);
        EXPECT_FALSE(skin.HasHeaderPictures());
        EXPECT_TRUE(skin.HasTags());
        testkit::Canvas canvas(200, 20);
        PaintHeader(canvas.dc(), RECT{0, 0, 200, 20}, skin, nullptr, L"", 0, HeaderLook{true, false, false});
        EXPECT_EQ(RGB(10, 20, 30), canvas.At(0, 10));
        EXPECT_GT(canvas.Count(RGB(255, 128, 0), 0, 0, 200, 20), 40) << "the tag stays";
    }
    {
        // Nothing there: the defaults.
        SkinFolder f;
        SkinValues skin;
        skin.background = RGB(1, 1, 1);
        skin.Reset();
        LoadSkin(f.dir + L"missing\\", &skin);
        EXPECT_EQ(RGB(255, 255, 255), skin.background);
        EXPECT_EQ(RGB(192, 192, 192), skin.gradientLeft);
        EXPECT_EQ(RGB(0, 0, 0), skin.currentText);
        EXPECT_FALSE(skin.HasTags());
    }
}

TEST(RostSkin, ReadAheadGivesWhatSwitchingReads) {
    // A program folder whose configuration names the skin in Skins\Blue.
    std::wstring program = testkit::FreshDir(L"rostpreload");
    CreateDirectoryW((program + L"config").c_str(), nullptr);
    CreateDirectoryW((program + L"Skins").c_str(), nullptr);
    SkinFolder f;
    f.Full();
    ASSERT_TRUE(MoveFileW(f.dir.substr(0, f.dir.size() - 1).c_str(), (program + L"Skins\\Blue").c_str()));
    testkit::WriteFileBytes(program + L"config\\uiprof.cfg", "[Global]\r\nSkinName=Blue\r\n");
    {
        SkinPreload preload;
        preload.Start(program);
        SkinValues skin;
        skin.tagOpen = CreateBitmap(8, 8, 1, 32, nullptr);  // freed on taking
        ASSERT_EQ(SkinPreload::LOADED, preload.Take(&skin));
        EXPECT_EQ(RGB(250, 240, 230), skin.background);
        EXPECT_EQ(RGB(4, 5, 6), skin.otherText);
        EXPECT_TRUE(skin.HasHeaderPictures());
        EXPECT_EQ(8, skin.tagSize);
        EXPECT_EQ(SkinPreload::NOT_READ, preload.Take(&skin)) << "taken once";
        EXPECT_TRUE(skin.HasHeaderPictures());
        // The folder has no resource profile: the lists are made, empty.
        ImageLists lists;
        ASSERT_EQ(SkinPreload::LOADED, preload.TakeImages(&lists));
        EXPECT_NE(nullptr, lists.tree);
        EXPECT_EQ(0, ImageList_GetImageCount(lists.tree));
        DestroyImageLists(&lists);
        EXPECT_EQ(SkinPreload::NOT_READ, preload.TakeImages(&lists));
    }
    {
        // No skin name: the pane keeps the skin it has.
        testkit::WriteFileBytes(program + L"config\\uiprof.cfg", "[Global]\r\nSkinName=\r\n");
        SkinPreload preload;
        preload.Start(program);
        SkinValues skin;
        skin.background = RGB(7, 7, 7);
        EXPECT_EQ(SkinPreload::NO_SKIN_NAME, preload.Take(&skin));
        EXPECT_EQ(RGB(7, 7, 7), skin.background);
    }
    {
        // Started but never taken: the reading ends with the object.
        SkinPreload preload;
        preload.Start(program);
    }
}

TEST(RostSkin, ImageListsFromTheResourceProfile) {
    std::wstring dir = testkit::FreshDir(L"rostimages");
    CreateDirectoryW((dir + L"resource").c_str(), nullptr);
    testkit::WriteFileBytes(dir + L"resource\\RostLedgerProf.cfg",
                            "[UIResource]\r\nbaseimage=resource\\tree.bmp\r\nserviceimage=resource\\svc.bmp\r\n");
    testkit::WriteFileBytes(dir + L"resource\\tree.bmp", testkit::SolidBitmap(96, 16, RGB(0, 0, 255)));
    testkit::WriteFileBytes(dir + L"resource\\svc.bmp", testkit::SolidBitmap(320, 16, RGB(0, 255, 0)));
    ImageLists lists = LoadImageLists(dir);
    EXPECT_EQ(6, ImageList_GetImageCount(lists.tree));
    EXPECT_EQ(20, ImageList_GetImageCount(lists.service));
    DestroyImageLists(&lists);
    ImageLists empty = LoadImageLists(dir + L"none\\");
    EXPECT_EQ(0, ImageList_GetImageCount(empty.tree)) << "a missing strip leaves its list empty";
    EXPECT_EQ(0, ImageList_GetImageCount(empty.service));
    DestroyImageLists(&empty);
}

}  // namespace
