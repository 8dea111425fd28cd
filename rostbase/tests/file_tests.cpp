// The contact file: the encoding layer under Wine, and the reader.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ContactFixtures.h"
#include "Handles.h"
#include "RostApi.h"
#include "TestSupport.h"
#include "Text.h"
#include "XmlDoc.h"
#include "XmlFile.h"

using vantor::xml::XmlDoc;
using vantor::xml::XmlFile;
using vantor::xml::XmlNode;

namespace {

RostApi& Api() { return RostApi::Get(); }

// The store's tree as text: "name#id{friend,friend|sub-group...}".
struct TreeDump {
    RostBaseHandle h;
    std::map<GroupHandle, std::vector<GroupHandle>> children;
    std::vector<GroupHandle> roots;

    explicit TreeDump(RostBaseHandle store) : h(store) {
        Api().EnumGroup(h, 3, [](GroupHandle g, GroupHandle parent, UINT_PTR u) CALLBACK -> BOOL {
            auto* d = reinterpret_cast<TreeDump*>(u);
            if (parent) d->children[parent].push_back(g);
            else d->roots.push_back(g);
            return TRUE;
        }, reinterpret_cast<UINT_PTR>(this));
    }
    std::wstring Friends(GroupHandle g) const {
        std::pair<RostBaseHandle, std::wstring> ctx(h, L"");
        Api().EnumGroupFriends(h, g, [](FriendHandle e, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
            auto* c = reinterpret_cast<std::pair<RostBaseHandle, std::wstring>*>(u);
            FriendInfoW f = {};
            Api().GetFriendInfoW(c->first, e, &f);
            if (!c->second.empty()) c->second += L",";
            c->second += f.id;
            return TRUE;
        }, reinterpret_cast<UINT_PTR>(&ctx));
        return ctx.second;
    }
    std::wstring Group(GroupHandle g) const {
        GroupInfoW info = {};
        Api().GetGroupInfoW(h, g, &info);
        std::wstring out = std::wstring(info.name) + L"#" + info.id + L"{" + Friends(g);
        auto it = children.find(g);
        if (it != children.end()) {
            for (GroupHandle c : it->second) out += L"|" + Group(c);
        }
        return out + L"}";
    }
    std::wstring All() const {
        std::wstring out;
        for (GroupHandle r : roots) out += Group(r);
        return out;
    }
};

std::wstring Dump(RostBaseHandle h) { return TreeDump(h).All(); }

std::wstring BlackIds(RostBaseHandle h) {
    std::pair<RostBaseHandle, std::wstring> ctx(h, L"");
    Api().EnumBlackList(h, [](FriendHandle e, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        auto* c = reinterpret_cast<std::pair<RostBaseHandle, std::wstring>*>(u);
        FriendInfoW f = {};
        Api().GetFriendInfoW(c->first, e, &f);
        c->second += std::wstring(f.id) + L";";
        return TRUE;
    }, reinterpret_cast<UINT_PTR>(&ctx));
    return ctx.second;
}

// A store loaded from the given contact-file bytes.
struct FileStore {
    FileStore(const wchar_t* name, const std::string& bytes) : account(FreshAccount(name)) {
        if (!bytes.empty()) PutContactFile(account, bytes);
        h = Api().LoadW(account.c_str());
    }
    ~FileStore() { Api().Unload(h); }
    std::wstring account;
    RostBaseHandle h = nullptr;
};

const wchar_t* kDefaultTree = L"电话好友#10{}网上好友#11{}";

}  // namespace

// What the encoding layer must do on this platform's MSXML: gb2312 files with GBK bytes,
// declarations kept on save, no whitespace-only text, attributes in document order.
TEST(ContactFileEncoding, Gb2312FilesRoundTripThroughTheDocument) {
    vantor::ScopedCom com;
    std::wstring dir = testkit::FreshDir(L"rb_spike");
    std::wstring path = dir + L"book.xml";
    std::wstring text = L"<AddressList version=\"1.0\">\r\n  <FriendList id=\"1\">\r\n    <Group id=\"10\" name=\"电话好友\" "
                        L"zeta=\"1\" alpha=\"2\"/>\r\n  </FriendList>\r\n</AddressList>\r\n";
    ASSERT_TRUE(testkit::WriteFileBytes(path, GbkFile(text)));

    XmlDoc doc;
    XmlFile file;
    std::wstring reason;
    ASSERT_TRUE(file.Load(path, &doc, &reason)) << testkit::Ansi("") << std::string(reason.begin(), reason.end());
    EXPECT_EQ(936u, file.CodePage());
    XmlNode group = doc.SelectSingleNode(L"AddressList/FriendList/Group");
    ASSERT_TRUE(group);
    EXPECT_EQ(L"电话好友", group.AttributeOr(L"name"));
    auto attributes = group.Attributes();
    ASSERT_EQ(4u, attributes.size());
    EXPECT_EQ(L"id", attributes[0].first);
    EXPECT_EQ(L"zeta", attributes[2].first);
    EXPECT_EQ(L"alpha", attributes[3].first);
    EXPECT_TRUE(doc.Root().FirstChild().IsElement()) << "whitespace-only text is not kept";

    // A character GBK cannot hold goes out as a reference and comes back whole.
    group.SetAttribute(L"name", L"好友\U0001F600");
    ASSERT_TRUE(file.Save(doc, path));
    std::string saved = testkit::ReadFileBytes(path);
    EXPECT_EQ(0u, saved.find("<?xml version=\"1.0\" encoding=\"gb2312\"?>"));
    EXPECT_NE(std::string::npos, saved.find(vantor::EncodeText(L"好友&#128512;", 936)));
    XmlDoc again;
    XmlFile file2;
    ASSERT_TRUE(file2.Load(path, &again));
    EXPECT_EQ(L"好友\U0001F600", again.SelectSingleNode(L"AddressList/FriendList/Group").AttributeOr(L"name"));
    // Nothing is left behind in the folder but the file itself.
    WIN32_FIND_DATAW found;
    vantor::UniqueFind find(FindFirstFileW((dir + L"*.tmp").c_str(), &found));
    EXPECT_FALSE(find);

    // UTF-8 and UTF-16 files, and files this layer refuses with a reason.
    ASSERT_TRUE(testkit::WriteFileBytes(path, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><a n=\"" +
                                                  vantor::EncodeText(L"网", CP_UTF8) + "\"/>"));
    ASSERT_TRUE(file.Load(path, &doc));
    EXPECT_EQ(L"网", doc.Root().AttributeOr(L"n"));
    // The text handed back is what the parser got: the whole file decoded, four-byte
    // sequences included, the declaration left out.
    std::wstring wide = L"\r\n<a n=\"网\U0001F600x\"/>";
    std::wstring parsed;
    ASSERT_TRUE(testkit::WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"utf-8\"?>" +
                                                  vantor::EncodeText(wide, CP_UTF8)));
    ASSERT_TRUE(file.Load(path, &doc, nullptr, &parsed));
    EXPECT_EQ(wide, parsed);
    ASSERT_TRUE(testkit::WriteFileBytes(path, "<a n=\"\xF0\x9F\x98\"/>"));
    EXPECT_FALSE(file.Load(path, &doc, nullptr, &parsed)) << "a cut UTF-8 sequence is refused";
    ASSERT_TRUE(testkit::WriteFileBytes(path, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><a n=\"" +
                                                  vantor::EncodeText(L"网", CP_UTF8) + "\"/>"));
    ASSERT_TRUE(file.Load(path, &doc));
    ASSERT_TRUE(file.Save(doc, path));
    EXPECT_EQ(0u, testkit::ReadFileBytes(path).find("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    std::wstring utf16 = L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><a n=\"友\"/>";
    ASSERT_TRUE(testkit::WriteFileBytes(path, std::string(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2)));
    ASSERT_TRUE(file.Load(path, &doc));
    EXPECT_EQ(L"友", doc.Root().AttributeOr(L"n"));
    ASSERT_TRUE(testkit::WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"x-martian\"?><a/>"));
    EXPECT_FALSE(file.Load(path, &doc, &reason));
    EXPECT_FALSE(reason.empty());
    ASSERT_TRUE(testkit::WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"gb2312\"?><a n=\"\x81\"/>"));
    EXPECT_FALSE(file.Load(path, &doc)) << "a lone lead byte is refused, not replaced";
    ASSERT_TRUE(testkit::WriteFileBytes(path, "<a><b></a>"));
    EXPECT_FALSE(file.Load(path, &doc, &reason));
    EXPECT_FALSE(file.Load(dir + L"missing.xml", &doc, &reason));
}

TEST(ContactFileReader, LoadsADownloadedBookIntoTheExpectedTree) {
    FileStore s(L"rb_read", GbkFile(DownloadedBook()));
    ASSERT_NE(nullptr, s.h);
    EXPECT_EQ(L"电话好友#10{13900000001|家人#101{13900000002|远亲#1011{13900000003}}|同事#102{}}"
              L"网上好友#11{u2001|论坛#111{u2002}}",
              Dump(s.h));
    EXPECT_EQ(L"bad1;", BlackIds(s.h));

    GroupHandle holder = nullptr;
    FriendHandle zhang = Api().IsUserInFriendsW(s.h, L"13900000001", &holder);
    ASSERT_NE(nullptr, zhang);
    FriendInfoW f = {};
    ASSERT_TRUE(Api().GetFriendInfoW(s.h, zhang, &f));
    EXPECT_STREQ(L"张三", f.nickname);
    EXPECT_STREQ(L"张伟", f.name);
    EXPECT_STREQ(L"北京", f.city);
    EXPECT_STREQ(L"801", f.voip);
    EXPECT_STREQ(L"01088", f.phone);
    EXPECT_STREQ(L"x1", f.xlt);
    EXPECT_STREQ(L"11", f.province);
    EXPECT_STREQ(L"19800101", f.birthday);
    EXPECT_EQ(45, f.age);
    EXPECT_EQ(1, f.sex);
    EXPECT_EQ(0, f.status.status) << "statuses are not in the file";
    ASSERT_TRUE(Api().GetFriendInfoW(s.h, Api().IsUserInFriendsW(s.h, L"13900000003", nullptr), &f));
    EXPECT_EQ(-1, f.age);

    FriendHandle net = Api().IsUserInFriendsW(s.h, L"u2001", nullptr);
    DWORD count = 0;
    ASSERT_TRUE(Api().GetFriendServicePolicysW(s.h, net, nullptr, &count));
    ASSERT_EQ(2u, count);
    ServicePolicyInfoW p[2];
    ASSERT_TRUE(Api().GetFriendServicePolicysW(s.h, net, p, &count));
    EXPECT_EQ(9u, p[0].id);
    EXPECT_STREQ(L"在线服务", p[0].name);
    EXPECT_EQ(3u, p[0].codeCount);
    EXPECT_STREQ(L"host=127.0.0.1", p[0].codes[1]);
    EXPECT_EQ(1, p[0].flags[4]);
    EXPECT_STREQ(L"", p[0].summary);
    EXPECT_EQ(19u, p[1].id);
    EXPECT_STREQ(L"pw", p[1].codes[1]);
    {
        // The same book behind a document type is read through the document: same contents.
        FileStore dom(L"rb_read_dom", GbkFile(L"<!DOCTYPE AddressList>" + DownloadedBook()));
        EXPECT_EQ(Dump(s.h), Dump(dom.h));
        EXPECT_EQ(BlackIds(s.h), BlackIds(dom.h));
        FriendInfoW a = {}, b = {};
        ASSERT_TRUE(Api().GetFriendInfoW(s.h, zhang, &a));
        ASSERT_TRUE(Api().GetFriendInfoW(dom.h, Api().IsUserInFriendsW(dom.h, L"13900000001", nullptr), &b));
        EXPECT_EQ(std::wstring(a.nickname) + a.name + a.city + a.email + a.mobile,
                  std::wstring(b.nickname) + b.name + b.city + b.email + b.mobile);
        EXPECT_EQ(a.age, b.age);
        DWORD domCount = 0;
        Api().GetFriendServicePolicysW(dom.h, Api().IsUserInFriendsW(dom.h, L"u2001", nullptr), nullptr, &domCount);
        EXPECT_EQ(count, domCount);
    }
    // The stranger is read: it cannot be added a second time.
    FriendInfoW s1 = {};
    lstrcpyW(s1.id, L"s1");
    FriendHandle other = Api().AddFriendW(s.h, &s1, Api().GetOnRootGroup(s.h));
    EXPECT_FALSE(Api().AddStranger(s.h, other, nullptr));
}

TEST(ContactFileReader, ToleratesOddButReadableFiles) {
    {
        FileStore s(L"rb_case", GbkFile(L"<AddressList><friendlist><GROUP ID=\"10\" Name=\"电话\"><friend iD=\"a\" AGE=\"12abc\" "
                                        L"sex=\"x\" address=\"x\" memo=\"m\"/><Friend id=\"\" name=\"dropped\"/><Friend "
                                        L"name=\"noid\"><ServicePolicy id=\"3\"/></Friend><Friend id=\"b\" age=\"70000\"/>"
                                        L"</GROUP></friendlist><Friend id=\"top\"/></AddressList>"));
        EXPECT_EQ(L"电话#10{a,b}#11{}", Dump(s.h)) << "names in any case; a root without a group has no name";
        FriendInfoW f = {};
        Api().GetFriendInfoW(s.h, Api().IsUserInFriendsW(s.h, L"a", nullptr), &f);
        EXPECT_EQ(12, f.age);
        EXPECT_EQ(0, f.sex);
        Api().GetFriendInfoW(s.h, Api().IsUserInFriendsW(s.h, L"b", nullptr), &f);
        EXPECT_EQ(static_cast<SHORT>(70000 & 0xFFFF), f.age);
        EXPECT_EQ(nullptr, Api().IsUserInFriendsW(s.h, L"top", nullptr)) << "a Friend directly under FriendList";
    }
    {
        // Markup characters and references in values come through as the text they stand for.
        FileStore s(L"rb_escapes", GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"a&amp;b\"><Friend "
                                           L"id=\"e\" nickname=\"x&amp;y&lt;z&gt;&quot;q&apos;\" name='单&#13;&#x1F600;' "
                                           L"city=\"a  b\"/></Group></FriendList></AddressList>"));
        FriendInfoW f = {};
        ASSERT_TRUE(Api().GetFriendInfoW(s.h, Api().IsUserInFriendsW(s.h, L"e", nullptr), &f));
        EXPECT_STREQ(L"x&y<z>\"q'", f.nickname);
        EXPECT_STREQ(L"单\r\U0001F600", f.name);
        EXPECT_STREQ(L"a  b", f.city);
        EXPECT_EQ(L"a&b#10{e}#11{}", Dump(s.h));
    }
    {
        // Line breaks and tabs written into a value are read as the parser reads them; a
        // reference to one keeps it. Quotes, '>' and markup around the root change nothing.
        FileStore s(L"rb_spaces", GbkFile(L"<?note before?><!-- made by hand -->\r\n<AddressList><FriendList>"
                                          L"<Group id=\"11\" name=\"网上\"><Friend id=\"v\"><ServicePolicy id=\"2\"/>"
                                          L"</Friend><Group id=\"s\"/></Group>"
                                          L"<Group id=\"10\" name=\"电话\r\n好友\"><Friend id=\"w\" nickname='说 \"嗨\" &gt;' "
                                          L"name=\"a\tb\nc\" city=\"x&#10;y&#9;z\" email = \"m>n\"/></Group></FriendList>"
                                          L"</AddressList><!-- after -->"));
        FriendInfoW f = {};
        ASSERT_TRUE(Api().GetFriendInfoW(s.h, Api().IsUserInFriendsW(s.h, L"w", nullptr), &f));
        EXPECT_STREQ(L"说 \"嗨\" >", f.nickname);
        EXPECT_STREQ(L"a b c", f.name);
        EXPECT_STREQ(L"x\ny\tz", f.city);
        EXPECT_STREQ(L"m>n", f.email);
        EXPECT_EQ(L"电话 好友#10{w}网上#11{v|#s{}}", Dump(s.h));
        DWORD count = 0;
        Api().GetFriendServicePolicysW(s.h, Api().IsUserInFriendsW(s.h, L"v", nullptr), nullptr, &count);
        EXPECT_EQ(1u, count);
    }
    {
        const std::wstring kDefaultRoots = L"电话好友#10{}网上好友#11{}";
        // A document type that declares entities of its own is no file this system
        // wrote: it is refused before parsing, however small or large its entities.
        FileStore s(L"rb_doctype", GbkFile(L"<!DOCTYPE AddressList [<!ENTITY co \"公司\">]><AddressList><FriendList>"
                                           L"<Group id=\"11\" name=\"&co;\"><Friend id=\"d\" nickname=\"&co;&amp;\">"
                                           L"<ServicePolicy id=\"4\"/></Friend></Group></FriendList></AddressList>"));
        EXPECT_EQ(kDefaultRoots, Dump(s.h));
        EXPECT_EQ(nullptr, Api().IsUserInFriendsW(s.h, L"d", nullptr));
        std::wstring refs;
        for (int i = 0; i < 1000; ++i) refs += L"&big;";
        ULONGLONG start = GetTickCount64();
        FileStore big(L"rb_doctype_big",
                      GbkFile(L"<!DOCTYPE AddressList [<!ENTITY big \"" + std::wstring(65536, L'x') + L"\">]>"
                              L"<AddressList><FriendList><Group id=\"11\" name=\"n\"><Friend id=\"d\" name=\"" + refs +
                              L"\"/></Group></FriendList></AddressList>"));
        EXPECT_EQ(kDefaultRoots, Dump(big.h));
        // So is an element with more attributes than any contact carries.
        std::wstring many = L"<Friend id=\"m\"";
        for (int i = 0; i < 20000; ++i) many += L" a" + std::to_wstring(i) + L"=\"\"";
        FileStore wide(L"rb_attributes", GbkFile(L"<AddressList><FriendList><Group id=\"11\" name=\"n\">" + many +
                                                 L"/></Group></FriendList></AddressList>"));
        EXPECT_EQ(kDefaultRoots, Dump(wide.h));
        EXPECT_LT(GetTickCount64() - start, 5000u);
    }
    {
        FileStore s(L"rb_noroots", GbkFile(L"<AddressList><FriendList><Group id=\"7\" name=\"x\"><Friend id=\"q\"/></Group>"
                                           L"</FriendList></AddressList>"));
        EXPECT_EQ(L"#10{}#11{}", Dump(s.h));
    }
    {
        // Duplicate policies: one is held, with the later data only when the status differs;
        // "code" and any name beginning with "code" add codes; an id of 0 is dropped.
        FileStore s(L"rb_policies", GbkFile(L"<AddressList><FriendList><Group id=\"11\" name=\"n\"><Friend id=\"p\">"
                                            L"<ServicePolicy id=\"5\" name=\"first\" status=\"1\"/>"
                                            L"<ServicePolicy id=\"5\" name=\"same\" status=\"1\"/>"
                                            L"<ServicePolicy id=\"5\" name=\"second\" code=\"a\" CodeX=\"b\" status=\"2\"/>"
                                            L"<ServicePolicy id=\"0\" name=\"zero\"/><ServicePolicy id=\"x\"/>"
                                            L"</Friend></Group></FriendList><BlackList><Friend id=\"b1\"/></BlackList>"
                                            L"<BlackList><Group id=\"g\"><Friend id=\"b2\"/></Group><Friend id=\"b3\"/>"
                                            L"</BlackList></AddressList>"));
        FriendHandle p = Api().IsUserInFriendsW(s.h, L"p", nullptr);
        DWORD count = 0;
        Api().GetFriendServicePolicysW(s.h, p, nullptr, &count);
        EXPECT_EQ(1u, count);
        ServicePolicyInfoW info = {};
        ASSERT_TRUE(Api().QueryFriendServicePolicyW(s.h, p, 5, &info));
        EXPECT_STREQ(L"second", info.name);
        EXPECT_EQ(2u, info.codeCount);
        EXPECT_STREQ(L"b", info.codes[1]);
        EXPECT_EQ(L"b1;b3;", BlackIds(s.h)) << "both black lists; the nested group's user is not a direct entry";
    }
    {
        // Every element child of a friend is a policy; what lies deeper, comments and text are not.
        FileStore s(L"rb_children", GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"t\"><Friend id=\"k\">"
                                            L"<!--<ServicePolicy id=\"1\"/>-->text<![CDATA[<x id='2'/>]]>"
                                            L"<ServicePolicy id=\"5\" code0=\"a&gt;b\"/><?pi <ServicePolicy id='3'/>?>"
                                            L"<Other id=\"6\"><ServicePolicy id=\"7\"/></Other></Friend></Group>"
                                            L"</FriendList></AddressList>"));
        FriendHandle k = Api().IsUserInFriendsW(s.h, L"k", nullptr);
        ServicePolicyInfoW info[4] = {};
        DWORD count = 4;
        ASSERT_TRUE(Api().GetFriendServicePolicysW(s.h, k, info, &count));
        ASSERT_EQ(2u, count);
        EXPECT_EQ(5u, info[0].id);
        EXPECT_STREQ(L"a>b", info[0].codes[0]);
        EXPECT_EQ(6u, info[1].id);
    }
    // Files that give the default roots. One that holds no book leaves the store working
    // in memory; a change that one the parser refuses cannot take is not made, and the
    // file stays as it was.
    const std::pair<std::string, bool> unusable[] = {
        {"<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<AddressList><FriendList>", false},  // not well-formed
        {GbkFile(L"<addresslist><FriendList><Group id=\"10\" name=\"x\"/></FriendList></addresslist>"), true},
        {GbkFile(L"<AddressList/>"), true},
        // Markup a reading of the text alone would take, which the parser refuses.
        {GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"x\"><Friend id=\"a\"/></Grup></FriendList>"
                 L"</AddressList>"),
         false},
        {GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"x\" name=\"y\"/></FriendList></AddressList>"),
         false},
        {std::string("\x01\x02garbage", 9), false},
    };
    for (const auto& file : unusable) {
        FileStore s(L"rb_unusable", file.first);
        ASSERT_NE(nullptr, s.h);
        EXPECT_EQ(kDefaultTree, Dump(s.h));
        FriendInfoW f = {};
        lstrcpyW(f.id, L"z");
        FriendHandle added = Api().AddFriendW(s.h, &f, Api().GetOffRootGroup(s.h));
        EXPECT_EQ(file.second, added != nullptr) << file.first;
        EXPECT_EQ(file.second, Api().IsUserInFriendsW(s.h, L"z", nullptr) != nullptr);
        EXPECT_EQ(file.first, testkit::ReadFileBytes(ContactFileOf(s.account)));
    }
    FileStore missing(L"rb_missing", "");
    EXPECT_EQ(kDefaultTree, Dump(missing.h));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(ContactFileOf(missing.account).c_str()));
    // An account path beyond the system limit counts as no file.
    std::wstring longAccount(400, L'a');
    RostBaseHandle h = Api().LoadW(longAccount.c_str());
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(kDefaultTree, Dump(h));
    Api().Unload(h);
}

TEST(ContactFileReader, DeepNestingIsCutNotFatal) {
    std::wstring text = L"<AddressList><FriendList><Group id=\"10\" name=\"r\">";
    for (int i = 0; i < 230; ++i) text += L"<Group id=\"d" + std::to_wstring(i) + L"\">";
    text += L"<Friend id=\"deep\"/>";
    for (int i = 0; i < 230; ++i) text += L"</Group>";
    text += L"<Friend id=\"after\"/></Group></FriendList></AddressList>";
    FileStore s(L"rb_deep", GbkFile(text));
    ASSERT_NE(nullptr, s.h);
    EXPECT_NE(nullptr, Api().IsUserInFriendsW(s.h, L"after", nullptr));
    EXPECT_EQ(nullptr, Api().IsUserInFriendsW(s.h, L"deep", nullptr));
}

TEST(ContactFileReader, AccountsThatAreNoPlainFolderNameHaveNoFile) {
    std::wstring account = FreshAccount(L"rb_names");
    PutContactFile(account, GbkFile(DownloadedBook()));
    std::string before = testkit::ReadFileBytes(ContactFileOf(account));
    // Each of these reaches the account's folder through the file functions (or names a
    // device, or the library's own folder): none reads or changes a file.
    for (const std::wstring& name : {L"rbtest-none\\..\\" + account, account + L".", account + L" ",
                                     std::wstring(L"CON"), std::wstring(L"nul.xml"), std::wstring()}) {
        RostBaseHandle h = Api().LoadW(name.c_str());
        ASSERT_NE(nullptr, h);
        EXPECT_EQ(kDefaultTree, Dump(h)) << vantor::WideToAnsi(name);
        GroupInfoW g = {};
        lstrcpyW(g.id, L"x");
        lstrcpyW(g.name, L"x");
        EXPECT_TRUE(Api().AddGroupW(h, &g, Api().GetOnRootGroup(h)));
        Api().Unload(h);
    }
    EXPECT_TRUE(before == testkit::ReadFileBytes(ContactFileOf(account))) << "the account's file changed";
    RostBaseHandle plain = Api().LoadW(account.c_str());
    EXPECT_NE(nullptr, Api().IsUserInFriendsW(plain, L"u2002", nullptr));
    Api().Unload(plain);
}

TEST(ContactFileReader, LeavesTheCallersComAsItWas) {
    std::wstring account = FreshAccount(L"rb_com");
    PutContactFile(account, GbkFile(DownloadedBook()));
    bool loaded = false, usable = false;
    std::thread mta([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        RostBaseHandle h = Api().LoadW(account.c_str());
        loaded = h && Api().IsUserInFriendsW(h, L"u2002", nullptr);
        GroupInfoW g = {};
        lstrcpyW(g.id, L"x");
        Api().AddGroupW(h, &g, Api().GetOnRootGroup(h));
        Api().Unload(h);
        // The thread's own apartment still works.
        vantor::ComPtr<IUnknown> doc;
        usable = SUCCEEDED(CoCreateInstance(CLSID_DOMDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            doc.put_void()));
        doc = vantor::ComPtr<IUnknown>();
        CoUninitialize();
    });
    mta.join();
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(usable);
    // A thread without COM is left without it.
    bool clean = false;
    std::thread bare([&] {
        RostBaseHandle h = Api().LoadW(account.c_str());
        Api().Unload(h);
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        clean = hr == S_OK;
        if (SUCCEEDED(hr)) CoUninitialize();
    });
    bare.join();
    EXPECT_TRUE(clean);
}
