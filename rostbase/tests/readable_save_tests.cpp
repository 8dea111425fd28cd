// Saves the reader can always read back: characters whose bytes the reader would refuse
// go out as references, and a save killed before its rename leaves nothing that lasts.
#include <gtest/gtest.h>

#include <string>

#include "ContactFixtures.h"
#include "Handles.h"
#include "RostApi.h"
#include "TestSupport.h"
#include "Text.h"
#include "XmlDoc.h"
#include "XmlFile.h"

using vantor::xml::XmlDoc;
using vantor::xml::XmlFile;

namespace {

RostApi& Api() { return RostApi::Get(); }

// A gb2312 book of 70 friends under the network root.
std::wstring SeventyFriends() {
    std::wstring friends;
    for (int i = 0; i < 70; ++i) {
        friends += L"<Friend id=\"u" + std::to_wstring(100 + i) + L"\" nickname=\"友" + std::to_wstring(i) +
                   L"\" name=\"\" sex=\"1\" birthday=\"\" email=\"\" voip=\"\" phone=\"\" mobile=\"\" xlt=\"\" "
                   L"province=\"\" city=\"\" age=\"20\"/>\r\n";
    }
    return L"<AddressList version=\"1.0\">\r\n<FriendList id=\"1\">\r\n<Group id=\"10\" name=\"电话好友\"/>\r\n"
           L"<Group id=\"11\" name=\"网上好友\">\r\n" + friends + L"</Group>\r\n</FriendList>\r\n</AddressList>\r\n";
}

DWORD FriendsOnline(RostBaseHandle store) {
    DWORD total = 0, online = 0;
    Api().StatFriends(store, Api().GetOnRootGroup(store), &total, &online);
    return total;
}

// The friend of the network root with the given id.
FriendHandle FindFriend(RostBaseHandle store, const wchar_t* id) {
    struct Search {
        RostBaseHandle store;
        const wchar_t* id;
        FriendHandle found;
    } search = {store, id, nullptr};
    Api().EnumGroupFriends(store, Api().GetOnRootGroup(store),
                           [](FriendHandle entry, GroupHandle, UINT_PTR user) CALLBACK -> BOOL {
                               auto* s = reinterpret_cast<Search*>(user);
                               FriendInfoW f = {};
                               Api().GetFriendInfoW(s->store, entry, &f);
                               if (lstrcmpW(f.id, s->id) == 0) s->found = entry;
                               return TRUE;
                           },
                           reinterpret_cast<UINT_PTR>(&search));
    return search.found;
}

TEST(ReadableSaves, ACharacterWhoseBytesTheReaderRefusesGoesOutAsAReference) {
    vantor::ScopedCom com;
    std::wstring dir = testkit::FreshDir(L"rb_roundtrip");
    std::wstring path = dir + L"book.xml";
    ASSERT_TRUE(testkit::WriteFileBytes(path, GbkFile(L"<a n=\"x\"/>")));
    XmlDoc doc;
    XmlFile file;
    ASSERT_TRUE(file.Load(path, &doc));
    // U+F8F5 encodes to a lone 0xFF in code page 936, a byte the reader refuses.
    const std::wstring name = L"名\xF8F5字\xF8F5";
    doc.Root().SetAttribute(L"n", name);
    ASSERT_TRUE(file.Save(doc, path));
    std::string saved = testkit::ReadFileBytes(path);
    EXPECT_EQ(std::string::npos, saved.find('\xFF')) << "a byte the reader refuses was written";
    EXPECT_NE(std::string::npos, saved.find("&#63733;"));
    XmlDoc again;
    XmlFile reader;
    std::wstring reason;
    ASSERT_TRUE(reader.Load(path, &again, &reason)) << vantor::WideToAnsi(reason);
    EXPECT_EQ(name, again.Root().AttributeOr(L"n"));
    // What code page 936 does hold still goes out as its own bytes.
    EXPECT_NE(std::string::npos, saved.find(vantor::EncodeText(L"名", 936)));
    EXPECT_EQ("&#63733;", vantor::xml::EncodeWithReferences(L"\xF8F5", 936));
    EXPECT_EQ(vantor::EncodeText(L"好", 936), vantor::xml::EncodeWithReferences(L"好", 936));
}

TEST(ReadableSaves, ABookKeepsEveryFriendAfterANameTheEncodingCannotHold) {
    // The wide form with U+F8F5, and the 8-bit form with bytes 0xFF.
    for (int form = 0; form < 2; ++form) {
        std::wstring account = FreshAccount(form ? L"rb_ff_a" : L"rb_ff_w");
        PutContactFile(account, GbkFile(SeventyFriends()));
        RostBaseHandle store = Api().LoadW(account.c_str());
        ASSERT_NE(nullptr, store);
        ASSERT_EQ(70u, FriendsOnline(store));
        FriendHandle added = nullptr;
        if (form == 0) {
            FriendInfoW f = {};
            lstrcpyW(f.id, L"odd1");
            lstrcpyW(f.nickname, L"私\xF8F5");
            added = Api().AddFriendW(store, &f, Api().GetOnRootGroup(store));
        } else {
            FriendInfoA f = {};
            strcpy(f.id, "odd2");
            strcpy(f.nickname, "\xFF\xFF");
            added = Api().AddFriendA(store, &f, Api().GetOnRootGroup(store));
        }
        ASSERT_NE(nullptr, added);
        Api().Unload(store);

        store = Api().LoadW(account.c_str());
        ASSERT_NE(nullptr, store);
        EXPECT_EQ(71u, FriendsOnline(store)) << "form " << form << ": the book did not load back whole";
        FriendHandle back = FindFriend(store, form ? L"odd2" : L"odd1");
        ASSERT_NE(nullptr, back) << "form " << form;
        if (form == 0) {
            FriendInfoW f = {};
            Api().GetFriendInfoW(store, back, &f);
            EXPECT_STREQ(L"私\xF8F5", f.nickname);
        } else {
            FriendInfoA f = {};
            Api().GetFriendInfoA(store, back, &f);
            EXPECT_STREQ("\xFF\xFF", f.nickname);
        }
        Api().Unload(store);
    }
}

TEST(ReadableSaves, ATemporaryFileAKilledSaveLeftIsRemovedByTheNextLoadOrSave) {
    vantor::ScopedCom com;
    std::wstring dir = testkit::FreshDir(L"rb_orphan");
    std::wstring path = dir + L"book.xml";
    std::wstring temp = path + L".save.tmp";
    ASSERT_TRUE(testkit::WriteFileBytes(path, GbkFile(L"<a n=\"1\"/>")));

    // What a save killed before its rename leaves: the whole book under the temporary name.
    auto orphan = [&](ULONGLONG ageSeconds) {
        ASSERT_TRUE(testkit::WriteFileBytes(temp, std::string(100000, 'x')));
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t = {{now.dwLowDateTime, now.dwHighDateTime}};
        t.QuadPart -= ageSeconds * 10000000ull;
        FILETIME then = {t.LowPart, t.HighPart};
        vantor::UniqueHandle h(CreateFileW(temp.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(h);
        ASSERT_TRUE(SetFileTime(h.get(), nullptr, nullptr, &then));
    };
    auto exists = [&] { return GetFileAttributesW(temp.c_str()) != INVALID_FILE_ATTRIBUTES; };

    orphan(3600);
    XmlDoc doc;
    XmlFile file;
    ASSERT_TRUE(file.Load(path, &doc));
    EXPECT_FALSE(exists()) << "a load keeps a stale temporary file";

    // One being written just now is some save's own: a load leaves it.
    orphan(0);
    ASSERT_TRUE(file.Load(path, &doc));
    EXPECT_TRUE(exists());

    // A save writes over a stale one, read-only or not, and leaves none behind.
    orphan(3600);
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_READONLY);
    doc.Root().SetAttribute(L"n", L"2");
    ASSERT_TRUE(file.Save(doc, path));
    EXPECT_FALSE(exists());
    XmlDoc again;
    ASSERT_TRUE(XmlFile().Load(path, &again));
    EXPECT_EQ(L"2", again.Root().AttributeOr(L"n"));
}

}  // namespace
