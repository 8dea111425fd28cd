// The store in memory: records, walks, changes with their callbacks, presence state,
// service data, and several threads at once. Accounts here have no contact file.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ModulePath.h"
#include "Recorder.h"
#include "RostApi.h"
#include "TestSupport.h"

namespace {

RostApi& Api() { return RostApi::Get(); }

// A store for one test, unloaded at the end.
struct Store {
    explicit Store(const wchar_t* name) : account(FreshAccount(name)), h(Api().LoadW(account.c_str())) {}
    ~Store() { Api().Unload(h); }
    std::wstring account;
    RostBaseHandle h;
};

FriendInfoW Friend(const wchar_t* id, const wchar_t* nickname = L"") {
    FriendInfoW f = {};
    lstrcpynW(f.id, id, 24);
    lstrcpynW(f.nickname, nickname, 24);
    return f;
}

GroupInfoW Group(const wchar_t* id, const wchar_t* name) {
    GroupInfoW g = {};
    lstrcpynW(g.id, id, 24);
    lstrcpynW(g.name, name, 24);
    return g;
}

GroupHandle SubGroup(RostBaseHandle h, GroupHandle parent, const wchar_t* id, const wchar_t* name = nullptr) {
    GroupInfoW info = Group(id, name ? name : id);
    EXPECT_TRUE(Api().AddGroupW(h, &info, parent));
    return GroupById(h, id);
}

std::wstring IdOf(RostBaseHandle h, FriendHandle e) {
    FriendInfoW f = {};
    Api().GetFriendInfoW(h, e, &f);
    return f.id;
}

std::vector<std::wstring> WalkIds(RostBaseHandle h, DWORD mask, const wchar_t* key) {
    struct Ctx {
        RostBaseHandle h;
        std::vector<std::wstring> ids;
    } ctx = {h, {}};
    Api().EnumFriendsW(h, [](FriendHandle e, GroupHandle, UINT_PTR user) CALLBACK -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(user);
        c->ids.push_back(IdOf(c->h, e));
        return TRUE;
    }, mask, key, reinterpret_cast<UINT_PTR>(&ctx));
    return ctx.ids;
}

// The two recorder modules and what they heard.
struct Recorders {
    Recorders() {
        full = vantor::LoadProgramLibrary(L"RostRecorder.dll");
        part = vantor::LoadProgramLibrary(L"RostRecorderPart.dll");
        Reset();
    }
    ~Recorders() {
        FreeLibrary(full);
        FreeLibrary(part);
    }
    void Reset(RecorderHook hook = nullptr) {
        sequence = 0;
        for (HMODULE m : {full, part}) vantor::ProcAddress<Recorder_ResetProc>(m, "Recorder_Reset")(&sequence, hook);
    }
    std::vector<RecordedCall> Calls(HMODULE m) {
        std::vector<RecordedCall> calls;
        int n = vantor::ProcAddress<Recorder_CountProc>(m, "Recorder_Count")();
        for (int i = 0; i < n; ++i) {
            RecordedCall c = {};
            vantor::ProcAddress<Recorder_GetProc>(m, "Recorder_Get")(i, &c);
            calls.push_back(c);
        }
        return calls;
    }
    std::vector<std::string> Names(HMODULE m) {
        std::vector<std::string> names;
        for (auto& c : Calls(m)) names.push_back(c.name);
        return names;
    }
    HMODULE full;
    HMODULE part;
    LONG sequence = 0;
};

using Names = std::vector<std::string>;

// Above 4 GiB on x86_64: a value cut to 32 bits would show.
const UINT_PTR kFullUser = sizeof(void*) == 8 ? static_cast<UINT_PTR>(0x123456789ABCull) : 0x89ABCDEFu;
const UINT_PTR kPartUser = 77;

}  // namespace

TEST(RostStore, NewStoreWithoutFileHasDefaultRootsOnly) {
    ASSERT_EQ(71, Api().resolved) << "every call resolves by name";
    Store s(L"rb_nofile");
    ASSERT_NE(nullptr, s.h);
    GroupInfoW off = {}, on = {};
    ASSERT_TRUE(Api().GetGroupInfoW(s.h, Api().GetOffRootGroup(s.h), &off));
    ASSERT_TRUE(Api().GetGroupInfoW(s.h, Api().GetOnRootGroup(s.h), &on));
    EXPECT_STREQ(L"10", off.id);
    EXPECT_STREQ(L"电话好友", off.name);
    EXPECT_STREQ(L"11", on.id);
    EXPECT_STREQ(L"网上好友", on.name);
    EXPECT_TRUE(WalkIds(s.h, FRIEND_MATCH_ALL, nullptr).empty());
    EXPECT_FALSE(Api().IsCodeInBlackListUserW(s.h, FRIEND_MATCH_ALL, nullptr));
    int groups = 0;
    EXPECT_TRUE(Api().EnumGroup(s.h, 3, [](GroupHandle, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        ++*reinterpret_cast<int*>(u);
        return TRUE;
    }, reinterpret_cast<UINT_PTR>(&groups)));
    EXPECT_EQ(2, groups);
    EXPECT_NE(nullptr, Api().GetCurrentAccount(s.h));
    // No file and no folder appear for a store that was only loaded.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(ContactFileOf(s.account).c_str()));

    EXPECT_FALSE(Api().Unload(nullptr));
    RostBaseHandle other = Api().LoadA("rb_nofile_a");
    EXPECT_NE(nullptr, other);
    EXPECT_TRUE(Api().Unload(other));
    // Null stores answer 0 everywhere.
    EXPECT_EQ(nullptr, Api().GetOffRootGroup(nullptr));
    EXPECT_FALSE(Api().StatFriends(nullptr, nullptr, nullptr, nullptr));
}

TEST(RostStore, UnloadDuringAWalkOnAnotherThreadKeepsTheStoreUntilTheWalkEnds) {
    RostBaseHandle h = Api().LoadW(FreshAccount(L"rb_unload_walk").c_str());
    ASSERT_NE(nullptr, h);
    for (const wchar_t* id : {L"w1", L"w2", L"w3"}) {
        FriendInfoW f = Friend(id);
        ASSERT_NE(nullptr, Api().AddFriendW(h, &f, Api().GetOffRootGroup(h)));
    }
    struct Walk {
        RostBaseHandle h;
        HANDLE inside;
        HANDLE resume;
        int calls;
        int readable;
    } walk = {h, CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr), 0, 0};
    BOOL walked = FALSE;
    std::thread walker([&] {
        walked = Api().EnumFriendsW(h, [](FriendHandle e, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
            auto* w = reinterpret_cast<Walk*>(u);
            if (w->calls++ == 0) {
                SetEvent(w->inside);
                WaitForSingleObject(w->resume, 10000);
            }
            FriendInfoW info;
            if (Api().GetFriendInfoW(w->h, e, &info)) ++w->readable;
            return TRUE;
        }, FRIEND_MATCH_ALL, nullptr, reinterpret_cast<UINT_PTR>(&walk));
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(walk.inside, 10000));
    EXPECT_TRUE(Api().Unload(h));
    // The handle is refused at once, while the walk that started before goes on to its end.
    EXPECT_EQ(nullptr, Api().GetOnRootGroup(h));
    EXPECT_EQ(nullptr, Api().GetCurrentAccount(h));
    EXPECT_FALSE(Api().Unload(h));
    SetEvent(walk.resume);
    walker.join();
    EXPECT_TRUE(walked);
    EXPECT_EQ(3, walk.calls);
    EXPECT_EQ(0, walk.readable);
    CloseHandle(walk.inside);
    CloseHandle(walk.resume);
}

TEST(RostStore, AWalkPassesOverWhatAChangeTookOutMeanwhile) {
    Store s(L"rb_walk_retired");
    GroupHandle net = Api().GetOnRootGroup(s.h);
    SubGroup(s.h, net, L"a");
    GroupHandle b = SubGroup(s.h, net, L"b");
    GroupHandle bb = SubGroup(s.h, b, L"bb");
    SubGroup(s.h, net, L"c");
    for (auto [group, id] : {std::pair<GroupHandle, const wchar_t*>{b, L"b1"}, {bb, L"bb1"}, {net, L"n1"}, {net, L"n2"}}) {
        FriendInfoW f = Friend(id);
        ASSERT_NE(nullptr, Api().AddFriendW(s.h, &f, group));
    }
    // The group b goes while the walk reads the first group: neither it nor its sub-group
    // is handed out later, and its friends are not walked.
    struct Walk {
        RostBaseHandle h;
        GroupHandle b, net;
        std::vector<std::wstring> seen;
        BOOL friendsWalked = TRUE;
        int friendCalls = 0;
    } walk = {s.h, b, net, {}};
    ASSERT_TRUE(Api().EnumGroup(s.h, 3, [](GroupHandle g, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        auto* w = reinterpret_cast<Walk*>(u);
        GroupInfoW info = {};
        Api().GetGroupInfoW(w->h, g, &info);
        w->seen.push_back(info.id);
        if (w->seen.size() == 1) {
            EXPECT_TRUE(Api().DelGroup(w->h, w->b, w->net));
            w->friendsWalked = Api().EnumGroupFriends(w->h, w->b, [](FriendHandle, GroupHandle, UINT_PTR c) CALLBACK -> BOOL {
                ++*reinterpret_cast<int*>(c);
                return TRUE;
            }, reinterpret_cast<UINT_PTR>(&w->friendCalls));
        }
        return TRUE;
    }, reinterpret_cast<UINT_PTR>(&walk)));
    EXPECT_EQ((std::vector<std::wstring>{L"10", L"11", L"a", L"c"}), walk.seen);
    EXPECT_FALSE(walk.friendsWalked);
    EXPECT_EQ(0, walk.friendCalls);

    // A friend deleted during a walk of friends is not handed out after.
    struct Friends {
        RostBaseHandle h;
        GroupHandle net;
        std::vector<std::wstring> seen;
    } friends = {s.h, net, {}};
    ASSERT_TRUE(Api().EnumFriendsW(s.h, [](FriendHandle e, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        auto* f = reinterpret_cast<Friends*>(u);
        f->seen.push_back(IdOf(f->h, e));
        if (f->seen.size() == 1) {
            EXPECT_TRUE(Api().DelFriend(f->h, Api().IsUserInFriendsW(f->h, L"n2", nullptr), f->net));
        }
        return TRUE;
    }, FRIEND_MATCH_ALL, nullptr, reinterpret_cast<UINT_PTR>(&friends)));
    EXPECT_EQ((std::vector<std::wstring>{L"n1"}), friends.seen);
}

TEST(RostStore, RecordCutsAndZeroing) {
    if (GetACP() != 936) GTEST_SKIP() << "needs code page 936";
    Store s(L"rb_cuts");
    GroupHandle off = Api().GetOffRootGroup(s.h);
    FriendInfoA in = {};
    lstrcpyA(in.id, "u1");
    lstrcpyA(in.nickname, "abcdefghijklmnopqrstuvw");  // 23 bytes: whole
    lstrcpyA(in.name, "abcdefghijklmnopqrstuvw");
    // An 8-bit field that fills its width without a terminator is read only to its width.
    std::memset(in.birthday, '7', sizeof(in.birthday));
    in.age = -5;
    in.status.status = 2;
    in.status.publicPort = 4321;
    FriendHandle e = Api().AddFriendA(s.h, &in, off);
    ASSERT_NE(nullptr, e);

    FriendInfoA a;
    std::memset(&a, 0xCC, sizeof(a));
    ASSERT_TRUE(Api().GetFriendInfoA(s.h, e, &a));
    EXPECT_STREQ("abcdefghijklmnopqrstuvw", a.nickname);
    EXPECT_EQ(std::string(14, '7'), std::string(a.birthday)) << "16 bytes in, cut to 14 out";
    EXPECT_EQ(-5, a.age);
    EXPECT_EQ(2, a.status.status);
    EXPECT_EQ(4321, a.status.publicPort);
    EXPECT_EQ(0, a.status.reserved);
    EXPECT_EQ(0, a.email[0]);
    // Every byte behind a text is zero.
    for (size_t i = std::strlen(a.city); i < sizeof(a.city); ++i) EXPECT_EQ(0, a.city[i]);

    // A 24-byte text comes out as its first 22 bytes; a Chinese text is never split.
    FriendInfoW w = Friend(L"u1");
    std::memcpy(w.nickname, L"abcdefghijklmnopqrstuvwx", sizeof(w.nickname));
    lstrcpyW(w.name, L"一二三四五六七八九十一二");  // 24 bytes in cp936
    lstrcpyW(w.city, L"a一二三四五六七八九十一二三四五六");  // 33 bytes: cut to 29, not into a character
    ASSERT_TRUE(Api().ModifyFriendW(s.h, e, &w));
    std::memset(&a, 0xCC, sizeof(a));
    ASSERT_TRUE(Api().GetFriendInfoA(s.h, e, &a));
    EXPECT_STREQ("abcdefghijklmnopqrstuv", a.nickname);
    EXPECT_EQ(testkit::Ansi("一二三四五六七八九十一"), std::string(a.name));
    EXPECT_EQ(testkit::Ansi("a一二三四五六七八九十一二三四"), std::string(a.city));
    EXPECT_EQ(0, a.birthday[0]) << "the W record had an empty birthday";

    FriendInfoW wo;
    std::memset(&wo, 0xCC, sizeof(wo));
    ASSERT_TRUE(Api().GetFriendInfoW(s.h, e, &wo));
    EXPECT_STREQ(L"abcdefghijklmnopqrstuv", wo.nickname);
    EXPECT_STREQ(L"一二三四五六七八九十一二", wo.name);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(0, wo.birthday[i]);
    // A surrogate pair at the cut goes whole or not at all.
    std::memcpy(w.nickname, L"abcdefghijklmnopqrstu\U0001F600x", sizeof(w.nickname));
    ASSERT_TRUE(Api().ModifyFriendW(s.h, e, &w));
    ASSERT_TRUE(Api().GetFriendInfoW(s.h, e, &wo));
    EXPECT_STREQ(L"abcdefghijklmnopqrstu", wo.nickname);

    // Groups: the A form leaves the caller's name alone when the name is empty.
    GroupHandle gh = SubGroup(s.h, off, L"g1", L"");
    GroupInfoA ga;
    std::memset(&ga, 'Z', sizeof(ga));
    ASSERT_TRUE(Api().GetGroupInfoA(s.h, gh, &ga));
    EXPECT_STREQ("g1", ga.id);
    EXPECT_EQ(std::string(24, 'Z'), std::string(ga.name, 24));
    GroupInfoW gw;
    std::memset(&gw, 0xCC, sizeof(gw));
    ASSERT_TRUE(Api().GetGroupInfoW(s.h, gh, &gw));
    EXPECT_STREQ(L"", gw.name);
    // An A record with an empty name empties the entry's name, even over a named entry.
    std::memset(&in.birthday, 0, sizeof(in.birthday));
    lstrcpyA(in.name, "");
    ASSERT_TRUE(Api().ModifyFriendA(s.h, e, &in));
    ASSERT_TRUE(Api().GetFriendInfoW(s.h, e, &wo));
    EXPECT_STREQ(L"", wo.name);
    EXPECT_FALSE(Api().GetFriendInfoA(s.h, e, nullptr));
    EXPECT_FALSE(Api().GetFriendInfoA(s.h, nullptr, &a));
}

TEST(RostStore, WalksFiltersLookupsAndCounts) {
    Store s(L"rb_walks");
    GroupHandle off = Api().GetOffRootGroup(s.h), on = Api().GetOnRootGroup(s.h);
    GroupHandle a = SubGroup(s.h, off, L"A");
    GroupHandle a1 = SubGroup(s.h, a, L"A1");
    GroupHandle b = SubGroup(s.h, off, L"B");
    ASSERT_TRUE(a && a1 && b);
    FriendInfoW f = Friend(L"f1");
    lstrcpyW(f.voip, L"5551");
    f.status.status = 10;
    ASSERT_TRUE(Api().AddFriendW(s.h, &f, a));
    f = Friend(L"f2");
    lstrcpyW(f.email, L"x@y");
    f.status.status = 1;
    ASSERT_TRUE(Api().AddFriendW(s.h, &f, a));
    f = Friend(L"f3");
    f.status.status = 999;
    ASSERT_TRUE(Api().AddFriendW(s.h, &f, a1));
    f = Friend(L"dup");
    ASSERT_TRUE(Api().AddFriendW(s.h, &f, on));
    FriendHandle dupOff = Api().AddFriendW(s.h, &f, b);
    ASSERT_TRUE(dupOff);

    // Pre-order, parents as given, telephone root first.
    struct Seen {
        RostBaseHandle h;
        std::vector<std::pair<GroupHandle, GroupHandle>> groups;
        size_t stopAt;
    } seen = {s.h, {}, 100};
    auto record = [](GroupHandle g, GroupHandle p, UINT_PTR u) CALLBACK -> BOOL {
        auto* sn = reinterpret_cast<Seen*>(u);
        sn->groups.emplace_back(g, p);
        return sn->groups.size() < sn->stopAt;
    };
    EXPECT_TRUE(Api().EnumGroup(s.h, 1, record, reinterpret_cast<UINT_PTR>(&seen)));
    std::vector<std::pair<GroupHandle, GroupHandle>> expected = {{off, nullptr}, {a, off}, {a1, a}, {b, off}};
    EXPECT_EQ(expected, seen.groups);
    seen.groups.clear();
    seen.stopAt = 2;  // a stop inside the telephone tree skips the network root too
    EXPECT_FALSE(Api().EnumGroup(s.h, 3, record, reinterpret_cast<UINT_PTR>(&seen)));
    EXPECT_EQ(2u, seen.groups.size());
    EXPECT_TRUE(Api().EnumGroup(s.h, 4, record, 0)) << "no root selected: no call";

    EXPECT_EQ((std::vector<std::wstring>{L"f1", L"f2", L"f3", L"dup", L"dup"}), WalkIds(s.h, FRIEND_MATCH_ALL, nullptr));
    EXPECT_TRUE(WalkIds(s.h, FRIEND_MATCH_VOIP, nullptr).empty());
    EXPECT_TRUE(Api().EnumFriendsW(s.h, [](FriendHandle, GroupHandle, UINT_PTR) CALLBACK -> BOOL { return FALSE; },
                                   FRIEND_MATCH_VOIP, nullptr, 0));
    EXPECT_TRUE(WalkIds(s.h, FRIEND_MATCH_VOIP, L"").empty()) << "an empty voip never matches";
    EXPECT_TRUE(WalkIds(s.h, FRIEND_MATCH_VOIP | FRIEND_MATCH_EMAIL, nullptr).empty());
    EXPECT_EQ((std::vector<std::wstring>{L"f2"}), WalkIds(s.h, FRIEND_MATCH_EMAIL | FRIEND_MATCH_VOIP, L"x@y"));
    EXPECT_EQ((std::vector<std::wstring>{L"f1"}), WalkIds(s.h, FRIEND_MATCH_STATUS, L"10"));
    EXPECT_EQ((std::vector<std::wstring>{L"f1", L"f2", L"f3"}), WalkIds(s.h, FRIEND_MATCH_NOT_STATUS, L"0"));
    std::vector<std::wstring> ansiWalk;
    struct AnsiCtx {
        RostBaseHandle h;
        std::vector<std::wstring>* ids;
    } actx = {s.h, &ansiWalk};
    EXPECT_TRUE(Api().EnumFriendsA(s.h, [](FriendHandle e, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        auto* c = reinterpret_cast<AnsiCtx*>(u);
        c->ids->push_back(IdOf(c->h, e));
        return TRUE;
    }, FRIEND_MATCH_VOIP, "5551", reinterpret_cast<UINT_PTR>(&actx)));
    EXPECT_EQ((std::vector<std::wstring>{L"f1"}), ansiWalk);

    // Look-ups: the telephone root wins; the holding group comes back.
    GroupHandle holder = nullptr;
    EXPECT_EQ(dupOff, Api().IsUserInFriendsW(s.h, L"dup", &holder));
    EXPECT_EQ(b, holder);
    holder = reinterpret_cast<GroupHandle>(1);
    EXPECT_EQ(nullptr, Api().IsUserInFriendsA(s.h, "nobody", &holder));
    EXPECT_EQ(reinterpret_cast<GroupHandle>(1), holder);
    EXPECT_NE(nullptr, Api().IsUserInFriendsA(s.h, "f3", nullptr));

    // Counts add to what the caller holds.
    DWORD total = 5, online = 1;
    EXPECT_TRUE(Api().StatFriends(s.h, a, &total, &online));
    EXPECT_EQ(8u, total);
    EXPECT_EQ(3u, online);
    total = 0;
    EXPECT_TRUE(Api().StatFriends(s.h, nullptr, &total, nullptr));
    EXPECT_EQ(1u, total) << "a null group counts the network root";

    EXPECT_TRUE(Api().IsGroupNameExistsW(s.h, off, L"A"));
    EXPECT_FALSE(Api().IsGroupNameExistsW(s.h, off, L"a"));
    EXPECT_FALSE(Api().IsGroupNameExistsW(s.h, off, L"A1")) << "direct sub-groups only";
    EXPECT_TRUE(Api().IsGroupNameExistsA(s.h, a, "A1"));
    EXPECT_FALSE(Api().IsGroupNameExistsW(s.h, nullptr, L"A"));

    // Direct friends only; a stop answers 0.
    int calls = 0;
    EXPECT_FALSE(Api().EnumGroupFriends(s.h, a, [](FriendHandle, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        return ++*reinterpret_cast<int*>(u) < 1;
    }, reinterpret_cast<UINT_PTR>(&calls)));
    EXPECT_EQ(1, calls);
    EXPECT_FALSE(Api().EnumGroupFriends(s.h, nullptr, [](FriendHandle, GroupHandle, UINT_PTR) CALLBACK -> BOOL { return TRUE; }, 0));

    // A walk procedure may wait for another thread that changes the store.
    EXPECT_TRUE(Api().EnumGroupFriends(s.h, a, [](FriendHandle e, GroupHandle g, UINT_PTR u) CALLBACK -> BOOL {
        BOOL moved = FALSE;
        std::thread([&] { moved = Api().DelFriend(reinterpret_cast<RostBaseHandle>(u), e, g); }).join();
        return moved;
    }, reinterpret_cast<UINT_PTR>(s.h)));
    calls = 0;
    EXPECT_TRUE(Api().EnumGroupFriends(s.h, a, [](FriendHandle, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        return ++*reinterpret_cast<int*>(u) > 0;
    }, reinterpret_cast<UINT_PTR>(&calls)));
    EXPECT_EQ(0, calls);
}

namespace {
RostBaseHandle g_hookStore = nullptr;
std::wstring g_readInCallback;
DWORD g_countInCallback = 0;

void CALLBACK ReadBack(const char* name, UINT_PTR first, UINT_PTR) {
    if (std::strcmp(name, "OnDelFriend") != 0) return;
    // The entry is out of its group but still readable while its callbacks run; read
    // from another thread, as a window thread would, so a lock held across the callback
    // would hang here.
    std::thread reader([first] {
        FriendInfoA f = {};
        if (Api().GetFriendInfoA(g_hookStore, reinterpret_cast<FriendHandle>(first), &f)) {
            g_readInCallback = testkit::Wide(f.id);
        }
        Api().StatFriends(g_hookStore, Api().GetOffRootGroup(g_hookStore), &g_countInCallback, nullptr);
    });
    reader.join();
}

HMODULE g_partModule = nullptr;
// The first module to hear of a change unregisters the other before it is told.
void CALLBACK DropPart(const char*, UINT_PTR, UINT_PTR user) {
    if (user == kFullUser) Api().UnregisterEventModule(g_hookStore, g_partModule);
}
}  // namespace

TEST(RostStore, ChangesNotifyRegisteredModulesInOrder) {
    Store s(L"rb_changes");
    Recorders rec;
    GroupHandle off = Api().GetOffRootGroup(s.h);
    EXPECT_TRUE(Api().RegisterEventModule(s.h, rec.full, kFullUser));
    EXPECT_FALSE(Api().RegisterEventModule(s.h, rec.full, 5)) << "a module registers once";
    EXPECT_TRUE(Api().RegisterEventModule(s.h, rec.part, kPartUser));

    FriendInfoW f = Friend(L"f1", L"一号");
    FriendHandle e = Api().AddFriendW(s.h, &f, off);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(nullptr, Api().AddFriendW(s.h, &f, off)) << "same id in the same group";
    auto full = rec.Calls(rec.full), part = rec.Calls(rec.part);
    ASSERT_EQ(1u, full.size());
    ASSERT_EQ(1u, part.size());
    EXPECT_STREQ("OnAddFriend", full[0].name);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(e), full[0].args[0]);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(off), full[0].args[1]);
    EXPECT_EQ(kFullUser, full[0].user);
    EXPECT_EQ(kPartUser, part[0].user);
    EXPECT_LT(full[0].sequence, part[0].sequence) << "registration order";

    // A module lacking the export is passed over.
    f = Friend(L"f1", L"改名");
    EXPECT_TRUE(Api().ModifyFriendW(s.h, e, &f));
    FriendInfoA fa = {};
    lstrcpyA(fa.id, "other");
    EXPECT_FALSE(Api().ModifyFriendA(s.h, e, &fa)) << "the record's id must be the entry's";
    EXPECT_EQ((Names{"OnAddFriend", "OnModifyFriend"}), rec.Names(rec.full));
    EXPECT_EQ((Names{"OnAddFriend"}), rec.Names(rec.part));

    // Groups.
    GroupHandle gh = SubGroup(s.h, off, L"G", L"组");
    GroupInfoW g = Group(L"G", L"other");
    EXPECT_FALSE(Api().AddGroupW(s.h, &g, off)) << "same id under the same parent";
    GroupInfoA ga = {};
    lstrcpyA(ga.id, "G");
    lstrcpyA(ga.name, "renamed");
    EXPECT_TRUE(Api().ModifyGroupA(s.h, gh, &ga));
    lstrcpyA(ga.id, "g");
    EXPECT_FALSE(Api().ModifyGroupA(s.h, gh, &ga)) << "ids compare with case";

    // Moves: into a group that already holds the id, the entry goes to the end of its old group.
    FriendInfoW f2 = Friend(L"f2");
    FriendHandle e2 = Api().AddFriendW(s.h, &f2, off);
    FriendHandle inG = Api().AddFriendW(s.h, &f, gh);
    ASSERT_TRUE(e2 && inG);
    EXPECT_FALSE(Api().ChangeFriendGroup(s.h, e, off, gh));
    EXPECT_EQ((std::vector<std::wstring>{L"f2", L"f1", L"f1"}), WalkIds(s.h, FRIEND_MATCH_ALL, nullptr));
    EXPECT_TRUE(Api().ChangeFriendGroup(s.h, e2, off, gh));
    EXPECT_FALSE(Api().ChangeFriendGroup(s.h, e2, off, gh)) << "no longer in the old group";

    // Strangers: a refused call leaves the entry where it was.
    EXPECT_TRUE(Api().AddStranger(s.h, e2, gh));
    FriendHandle twin = Api().AddFriendW(s.h, &f2, off);
    EXPECT_FALSE(Api().AddStranger(s.h, twin, off));
    GroupHandle where = nullptr;
    EXPECT_EQ(twin, Api().IsUserInFriendsW(s.h, L"f2", &where));
    EXPECT_EQ(off, where);

    // Black list: block, unblock keeping the handle, delete by id.
    EXPECT_TRUE(Api().PreventUser(s.h, twin, off));
    EXPECT_TRUE(Api().IsUserInBlackListW(s.h, L"f2"));
    EXPECT_TRUE(Api().DelUserFromBlackList(s.h, twin));
    EXPECT_FALSE(Api().IsUserInBlackListA(s.h, "f2"));
    FriendInfoW kept = {};
    EXPECT_TRUE(Api().GetFriendInfoW(s.h, twin, &kept)) << "the entry left the store but stays valid";
    EXPECT_STREQ(L"f2", kept.id);
    EXPECT_TRUE(Api().PreventUser(s.h, inG, gh));
    EXPECT_TRUE(Api().DelBlackUserA(s.h, "f1"));
    EXPECT_FALSE(Api().DelBlackUserW(s.h, L"f1"));

    // Deletion: callbacks can still read the entry; the store no longer lists it.
    g_hookStore = s.h;
    rec.Reset(ReadBack);
    EXPECT_FALSE(Api().DelFriend(s.h, e, gh)) << "not in that group";
    EXPECT_TRUE(Api().DelFriend(s.h, e, off));
    EXPECT_EQ(L"f1", g_readInCallback);
    EXPECT_EQ(0u, g_countInCallback);
    EXPECT_FALSE(Api().GetFriendInfoW(s.h, e, &kept)) << "gone once the call returned";
    EXPECT_TRUE(Api().DelGroup(s.h, gh, off));
    EXPECT_FALSE(Api().DelGroup(s.h, gh, off));
    EXPECT_EQ((Names{"OnDelFriend", "OnDelGroup"}), rec.Names(rec.full));
    EXPECT_EQ((Names{"OnDelFriend"}), rec.Names(rec.part));
    rec.Reset();

    // The whole sequence each module heard before the reset, checked by name.
    // Unregistered modules hear nothing, even of a change made before they left; unloading
    // tells nobody.
    g_partModule = rec.part;
    rec.Reset(DropPart);
    f = Friend(L"f9");
    EXPECT_TRUE(Api().AddFriendW(s.h, &f, off));
    EXPECT_EQ((Names{"OnAddFriend"}), rec.Names(rec.full));
    EXPECT_TRUE(rec.Names(rec.part).empty());
    EXPECT_FALSE(Api().UnregisterEventModule(s.h, rec.part));
    rec.Reset();
    RostBaseHandle h = s.h;
    s.h = nullptr;
    EXPECT_TRUE(Api().Unload(h));
    EXPECT_TRUE(rec.Names(rec.full).empty());
}

TEST(RostStore, EveryChangeNamesItsCallback) {
    Store s(L"rb_callbacks");
    Recorders rec;
    ASSERT_TRUE(Api().RegisterEventModule(s.h, rec.full, kFullUser));
    GroupHandle off = Api().GetOffRootGroup(s.h), on = Api().GetOnRootGroup(s.h);
    FriendInfoW f = Friend(L"x");
    FriendHandle e = Api().AddFriendW(s.h, &f, off);
    Api().ChangeFriendGroup(s.h, e, off, on);
    Api().PreventUser(s.h, e, on);
    Api().DelUserFromBlackList(s.h, e);
    Api().AddStranger(s.h, e, nullptr);
    GroupInfoW g = Group(L"g", L"g");
    Api().AddGroupW(s.h, &g, on);
    ServicePolicyInfoW p = {};
    p.id = 9;
    Api().AddServicePolicyW(s.h, e, &p, 1, 0);
    auto calls = rec.Calls(rec.full);
    EXPECT_EQ((Names{"OnAddFriend", "OnChangeFriendGroup", "OnPreventUser", "OnDelBlackUser", "OnAddStranger",
                     "OnAddGroup", "OnUpdateFriendSerivcePolicys"}),
              rec.Names(rec.full));
    ASSERT_EQ(7u, calls.size());
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(off), calls[1].args[1]);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(on), calls[1].args[2]);
    EXPECT_EQ(0u, calls[4].args[1]) << "stranger taken from no group";
    for (auto& c : calls) EXPECT_EQ(kFullUser, c.user);
}

TEST(RostStore, PresenceStateCallsNotifyOnlyOnChange) {
    Store s(L"rb_status");
    Recorders rec;
    ASSERT_TRUE(Api().RegisterEventModule(s.h, rec.full, kFullUser));
    GroupHandle off = Api().GetOffRootGroup(s.h), on = Api().GetOnRootGroup(s.h);
    FriendInfoW f = Friend(L"net");
    f.status.status = 1;
    f.status.publicIp = 0x0100007F;
    FriendHandle net = Api().AddFriendW(s.h, &f, SubGroup(s.h, on, L"deep"));
    f = Friend(L"tel");
    f.status.status = 2;
    FriendHandle tel = Api().AddFriendW(s.h, &f, off);
    rec.Reset();

    FriendStatus st = {};
    st.status = 1;
    st.publicIp = 0x0200007F;
    EXPECT_FALSE(Api().UpdateFriendStatus(s.h, net, &st, 1)) << "same status: nothing copied";
    FriendInfoW out = {};
    Api().GetFriendInfoW(s.h, net, &out);
    EXPECT_EQ(0x0100007Fu, out.status.publicIp);
    st.status = 3;
    EXPECT_TRUE(Api().UpdateFriendStatus(s.h, net, &st, 0));
    EXPECT_TRUE(rec.Names(rec.full).empty());
    st.status = 4;
    EXPECT_TRUE(Api().UpdateFriendStatus(s.h, net, &st, 1));
    Api().GetFriendInfoW(s.h, net, &out);
    EXPECT_EQ(0x0200007Fu, out.status.publicIp);

    st.status = 1;
    EXPECT_TRUE(Api().UpdateSelfStatus(s.h, &st));
    EXPECT_FALSE(Api().UpdateSelfStatus(s.h, &st));
    EXPECT_TRUE(Api().RefreshFriendStatus(s.h, REFRESH_RESET_NETWORK_FRIENDS));
    Api().GetFriendInfoW(s.h, net, &out);
    EXPECT_EQ(0, out.status.status);
    EXPECT_EQ(0x0200007Fu, out.status.publicIp) << "only the status is reset";
    Api().GetFriendInfoW(s.h, tel, &out);
    EXPECT_EQ(2, out.status.status) << "telephone friends are left alone";
    EXPECT_TRUE(Api().RefreshFriendStatus(s.h, REFRESH_NOTIFY | REFRESH_RESET_NETWORK_FRIENDS));
    EXPECT_TRUE(Api().SetOnlineCount(s.h, 5, 7));
    DWORD second = 0;
    EXPECT_EQ(5u, Api().GetOnlineCount(s.h, &second));
    EXPECT_EQ(7u, second);
    EXPECT_EQ(5u, Api().GetOnlineCount(s.h, nullptr));

    auto calls = rec.Calls(rec.full);
    EXPECT_EQ((Names{"OnUpdateFriendOnlineStatus", "OnRefreshSelfStatus", "OnRefreshFriendStatus", "OnRefreshOnlineUser"}),
              rec.Names(rec.full));
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(&st), calls[1].args[0]) << "the caller's own record";
    EXPECT_EQ(1, calls[1].status.status);
    EXPECT_FALSE(Api().UpdateSelfStatus(s.h, nullptr));
}

TEST(RostStore, ServiceDataAsTheLoginFillsIt) {
    Store s(L"rb_services");
    Recorders rec;
    ASSERT_TRUE(Api().RegisterEventModule(s.h, rec.full, kFullUser));
    FriendInfoA me = {};
    lstrcpyA(me.id, "13800000000");
    lstrcpyA(me.nickname, testkit::Ansi("客户").c_str());
    ASSERT_TRUE(Api().SetCurrentAccountInfoA(s.h, &me));
    FriendHandle cur = Api().GetCurrentAccount(s.h);

    std::vector<ServicePolicyInfoA> policies(2);
    std::memset(policies.data(), 0, policies.size() * sizeof(ServicePolicyInfoA));
    policies[0].id = 9;
    lstrcpyA(policies[0].name, testkit::Ansi("在线服务").c_str());
    policies[0].flags[4] = 1;
    policies[0].codeCount = 9;  // more than the six slots hold
    for (int i = 0; i < 6; ++i) wsprintfA(policies[0].codes[i], "k%d=v", i);
    policies[1].id = 19;
    policies[1].codeCount = 2;
    lstrcpyA(policies[1].codes[0], "user");
    lstrcpyA(policies[1].codes[1], "pw");
    EXPECT_TRUE(Api().AddServicePolicyA(s.h, cur, policies.data(), 2, 0));
    EXPECT_FALSE(Api().AddServicePolicyA(s.h, cur, policies.data(), 1, 0)) << "same id, same status";
    EXPECT_FALSE(Api().AddServicePolicyA(s.h, cur, policies.data(), 0, 0));
    policies[1].flags[4] = 1;
    EXPECT_TRUE(Api().AddServicePolicyA(s.h, cur, &policies[1], 1, 0)) << "same id, new status: replaced";
    EXPECT_EQ((Names{"OnUpdateFriendSerivcePolicys", "OnUpdateFriendSerivcePolicys"}), rec.Names(rec.full));
    // The current account stays itself after a later account update.
    ASSERT_TRUE(Api().SetCurrentAccountInfoA(s.h, &me));

    DWORD count = 0;
    ASSERT_TRUE(Api().GetFriendServicePolicysW(s.h, cur, nullptr, &count));
    ASSERT_EQ(2u, count);
    std::vector<ServicePolicyInfoW> back(2);
    ASSERT_TRUE(Api().GetFriendServicePolicysW(s.h, cur, back.data(), &count));
    EXPECT_EQ(9u, back[0].id);
    EXPECT_STREQ(L"在线服务", back[0].name);
    EXPECT_EQ(6u, back[0].codeCount);
    EXPECT_STREQ(L"k5=v", back[0].codes[5]);
    EXPECT_EQ(19u, back[1].id) << "replaced in its place";
    EXPECT_EQ(1, back[1].flags[4]);
    ServicePolicyInfoW q;
    EXPECT_TRUE(Api().QueryFriendServicePolicyW(s.h, cur, 19, &q));
    EXPECT_STREQ(L"pw", q.codes[1]);
    EXPECT_FALSE(Api().QueryFriendServicePolicyW(s.h, cur, 7, nullptr));
    EXPECT_TRUE(Api().QueryFriendServicePolicyA(s.h, cur, 9, nullptr));

    // Policy data changes only with a new status.
    ServicePolicyInfoA upd = policies[0];
    lstrcpyA(upd.name, "other");
    EXPECT_FALSE(Api().UpdateServicePolicyDataA(s.h, 9, &upd));
    upd.flags[4] = 2;
    EXPECT_TRUE(Api().UpdateServicePolicyDataA(s.h, 9, &upd));
    EXPECT_TRUE(Api().QueryFriendServicePolicyW(s.h, cur, 9, &q));
    EXPECT_STREQ(L"other", q.name);

    // Boards and their ids, into a 64-byte buffer with guards.
    ServiceBoardInfoA board = {};
    lstrcpyA(board.caption, testkit::Ansi("家庭").c_str());
    lstrcpyA(board.locator, "http://x/a-b-b12");
    char idBuf[80];
    std::memset(idBuf, '#', sizeof(idBuf));
    ASSERT_TRUE(Api().GetServiceBoardIdA(&board, idBuf));
    EXPECT_STREQ("b12", idBuf);
    ServiceBoardInfoA noDash = {};
    lstrcpyA(noDash.locator, "plain");
    std::memset(idBuf, '#', sizeof(idBuf));
    EXPECT_FALSE(Api().GetServiceBoardIdA(&noDash, idBuf));
    EXPECT_EQ('#', idBuf[0]);
    ServiceBoardInfoA longId = {};
    lstrcpyA(longId.locator, "x-");
    std::memset(longId.locator + 2, 'L', 200);
    std::memset(idBuf, '#', sizeof(idBuf));
    ASSERT_TRUE(Api().GetServiceBoardIdA(&longId, idBuf));
    EXPECT_EQ(63u, std::strlen(idBuf));
    EXPECT_EQ('#', idBuf[64]) << "nothing written past 64 bytes";
    // A locator that fills its field is read to the field's end, not into the next one.
    ServiceBoardInfoA full = {};
    std::memset(full.locator, 'u', sizeof(full.locator));
    std::memcpy(full.locator + sizeof(full.locator) - 4, "-abc", 4);
    lstrcpyA(full.extra, "XYZ");
    ASSERT_TRUE(Api().GetServiceBoardIdA(&full, idBuf));
    EXPECT_STREQ("abc", idBuf);
    ServiceBoardInfoW wl = {};
    lstrcpyW(wl.locator, L"x-");
    for (int i = 2; i < 202; ++i) wl.locator[i] = L'L';
    wchar_t wid[70];
    wmemset(wid, L'#', 70);
    ASSERT_TRUE(Api().GetServiceBoardIdW(&wl, wid));
    EXPECT_EQ(L'#', wid[64]);

    for (int i = 0; i < 5; ++i) {
        ServiceBoardInfoA b = board;
        wsprintfA(b.locator, "http://x/a-b%d", 10 + i);
        ASSERT_TRUE(Api().AppendServiceBoardA(s.h, cur, &b));
    }
    ASSERT_TRUE(Api().AppendServiceBoardA(s.h, cur, &board));
    ServiceSubjectInfoA subject = {};
    lstrcpyA(subject.caption, "Repair");
    subject.number = 3;
    subject.tail = 8;
    EXPECT_TRUE(Api().AppendServiceSubjectA(s.h, cur, "b12", &subject));
    EXPECT_FALSE(Api().AppendServiceSubjectA(s.h, cur, "zz", &subject));
    EXPECT_FALSE(Api().AppendServiceSubjectA(s.h, cur, nullptr, &subject));

    count = 2;
    std::vector<ServiceBoardInfoW> boards(2);
    ASSERT_TRUE(Api().GetFriendServiceBoardsW(s.h, cur, boards.data(), &count));
    EXPECT_EQ(2u, count);
    EXPECT_STREQ(L"家庭", boards[0].caption);
    EXPECT_STREQ(L"http://x/a-b10", boards[0].locator);
    // The A form leaves fields of empty texts as the caller had them.
    ServiceBoardInfoA ba;
    std::memset(&ba, 'Q', sizeof(ba));
    count = 1;
    ASSERT_TRUE(Api().GetFriendServiceBoardsA(s.h, cur, &ba, &count));
    EXPECT_EQ('Q', ba.summary[0]);
    ServiceBoardInfoW bw;
    wmemset(bw.summary, L'Q', 320);
    count = 1;
    ASSERT_TRUE(Api().GetFriendServiceBoardsW(s.h, cur, &bw, &count));
    EXPECT_EQ(0, bw.summary[0]);

    // Subjects: caption without regard to case, number 0 keeps the held number.
    ServiceBoardInfoW boardW = {};
    lstrcpyW(boardW.locator, L"http://x/a-b-b12");
    ServiceSubjectInfoW sw = {};
    lstrcpyW(sw.caption, L"REPAIR");
    lstrcpyW(sw.summary, L"修理");
    sw.tail = 1;
    EXPECT_TRUE(Api().UpdateFriendSubjectW(s.h, nullptr, &boardW, &sw));
    lstrcpyW(sw.caption, L"missing");
    EXPECT_FALSE(Api().UpdateFriendSubjectW(s.h, nullptr, &boardW, &sw));
    std::vector<ServiceSubjectInfoW> subjects(1);
    std::memset(subjects.data(), 0, sizeof(ServiceSubjectInfoW));
    count = 5;
    ASSERT_TRUE(Api().GetFriendServiceSubjectsW(s.h, cur, L"b12", nullptr, &count));
    EXPECT_EQ(1u, count);
    ASSERT_TRUE(Api().GetFriendServiceSubjectsW(s.h, cur, L"b12", subjects.data(), &count));
    EXPECT_STREQ(L"REPAIR", subjects[0].caption);
    EXPECT_EQ(3u, subjects[0].number);
    EXPECT_STREQ(L"修理", subjects[0].summary);
    EXPECT_FALSE(Api().GetFriendServiceSubjectsA(s.h, cur, "b99", nullptr, &count));

    // A board update keeps its subjects.
    lstrcpyW(boardW.caption, L"新名");
    EXPECT_TRUE(Api().UpdateFriendBoardW(s.h, nullptr, &boardW));
    EXPECT_FALSE(Api().UpdateFriendBoardA(s.h, nullptr, &noDash));
    count = 5;
    ASSERT_TRUE(Api().GetFriendServiceSubjectsA(s.h, cur, "b12", nullptr, &count));
    EXPECT_EQ(1u, count);
    EXPECT_FALSE(Api().AppendServiceBoardA(s.h, nullptr, &board)) << "a null entry is refused here";
    // Boards and subjects fire nothing.
    EXPECT_EQ(2u, rec.Calls(rec.full).size());
}

TEST(RostStore, TwoThreadsOnOneStoreStayConsistent) {
    Store s(L"rb_threads");
    Recorders rec;
    ASSERT_TRUE(Api().RegisterEventModule(s.h, rec.full, 1));
    GroupHandle off = Api().GetOffRootGroup(s.h), on = Api().GetOnRootGroup(s.h);
    std::atomic<bool> stop{false};
    std::atomic<long> walked{0};
    RostBaseHandle h = s.h;

    auto changer = [&](int seed) {
        for (int round = 0; !stop; ++round) {
            wchar_t id[24];
            wsprintfW(id, L"t%d_%d", seed, round % 50);
            FriendInfoW f = Friend(id);
            FriendHandle e = Api().AddFriendW(h, &f, off);
            if (!e) continue;
            if (round % 3 == 0) Api().ChangeFriendGroup(h, e, off, on);
            if (round % 5 == 0) Api().DelFriend(h, e, round % 3 == 0 ? on : off);
            if (round % 7 == 0) {
                GroupInfoW g = Group(id, id);
                Api().AddGroupW(h, &g, on);
            }
        }
    };
    auto walker = [&] {
        std::pair<RostBaseHandle, std::atomic<long>*> ctx(h, &walked);
        while (!stop) {
            Api().EnumFriendsW(h, [](FriendHandle e, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
                auto* ctx = reinterpret_cast<std::pair<RostBaseHandle, std::atomic<long>*>*>(u);
                FriendInfoW info;
                // A handle seen by a walk stays readable for the walk's duration.
                if (Api().GetFriendInfoW(ctx->first, e, &info)) ++*ctx->second;
                return TRUE;
            }, FRIEND_MATCH_ALL, nullptr, reinterpret_cast<UINT_PTR>(&ctx));
        }
    };
    std::thread t1(changer, 1), t2(changer, 2), t3(walker);
    Sleep(3000);
    stop = true;
    t1.join();
    t2.join();
    t3.join();

    DWORD total = 0, offTotal = 0;
    Api().StatFriends(h, on, &total, nullptr);
    Api().StatFriends(h, off, &offTotal, nullptr);
    EXPECT_EQ(WalkIds(h, FRIEND_MATCH_ALL, nullptr).size(), total + offTotal);
    EXPECT_GT(walked.load(), 0);
    EXPECT_GT(rec.Calls(rec.full).size(), 0u);
}
