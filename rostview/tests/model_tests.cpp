// The contact tree model over trees and a book in memory: load, order, texts and images,
// and what every change of the book does (or, for a contact never shown, does not do).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

#include "ContactModel.h"
#include "MemoryBook.h"
#include "MemoryTree.h"
#include "ServiceIcons.h"

namespace {

using namespace rostview;
using rvtest::MemoryBook;
using rvtest::MemoryTree;

std::string U(const char* utf8) { return MemoryBook::Ansi(utf8); }

struct Lines : DebugSink {
    std::vector<std::wstring> lines;
    void Line(const wchar_t* text) override { lines.push_back(text); }
    bool Has(const wchar_t* prefix) const {
        for (const auto& line : lines) {
            if (line.compare(0, wcslen(prefix), prefix) == 0) return true;
        }
        return false;
    }
};

struct Hooks : PaneHooks {
    std::vector<ContactNode*> gone;
    int dropped = 0;
    void NodeGone(ContactNode* node) override { gone.push_back(node); }
    void IconsDropped(ContactNode*) override { ++dropped; }
};

struct DirectDelivery : LoadDelivery {
    ContactModel& model;
    ContactBook& book;
    bool finished = false;
    DirectDelivery(ContactModel& m, ContactBook& b) : model(m), book(b) {}
    bool DeliverGroup(std::unique_ptr<GroupBatch> batch) override { return model.DeliverGroup(*batch, book); }
    void DeliverBlackList(std::unique_ptr<std::vector<LoadedFriend>> users) override {
        model.DeliverBlackList(*users, book);
    }
    void Finished() override { finished = true; }
};

// The book of the load scenario: both roots, nested groups, Chinese names.
struct Scene {
    MemoryBook book;
    MemoryTree friends, black;
    Lines lines;
    Hooks hooks;
    ContactModel model{friends, black, lines, &hooks};
    GroupHandle phoneRoot, colleagues, netRoot, yi, jia, bing;
    FriendHandle a, b, x, y, z, p, q, blocked;

    Scene() {
        friends.onDelete = [this](ContactNode* n) { model.NodeDeleted(n); };
        black.onDelete = [this](ContactNode* n) { model.NodeDeleted(n); };
        phoneRoot = book.AddGroup(nullptr, "10", "电话好友");
        b = book.AddFriend(phoneRoot, "t2", "b");
        a = book.AddFriend(phoneRoot, "t1", "a");
        colleagues = book.AddGroup(phoneRoot, "101", "同事");
        book.AddFriend(colleagues, "t4", "d");
        book.AddFriend(colleagues, "t3", "c");
        netRoot = book.AddGroup(nullptr, "11", "网络好友");
        y = book.AddFriend(netRoot, "n2", "Y", "", 0);
        x = book.AddFriend(netRoot, "n1", "X", "", 1);
        z = book.AddFriend(netRoot, "n3", "", "Zed", 2);
        yi = book.AddGroup(netRoot, "112", "乙");
        jia = book.AddGroup(netRoot, "111", "甲");
        // 乙's only child is a group: it is never compared with a sibling.
        bing = book.AddGroup(yi, "1121", "丙");
        q = book.AddFriend(bing, "n5", "q");
        p = book.AddFriend(bing, "n4", "p");
        blocked = book.AddBlack("bad", "骚扰");
    }

    // The trees report their nodes to the model as they go, so they empty while it lives.
    ~Scene() {
        friends.Clear();
        black.Clear();
    }

    LoadResult Load() {
        DirectDelivery delivery(model, book);
        std::atomic<bool> stop{false};
        LoadResult r = LoadContacts(book, true, delivery, stop, lines, model.Reads());
        EXPECT_TRUE(delivery.finished);
        if (delivery.finished) model.LoadFinished(book);
        return r;
    }
    std::string Net() { return friends.Dump(model.NetworkRoot()); }
};

TEST(ContactLoad, FillsBothTreesSortedAndExpanded) {
    Scene s;
    EXPECT_EQ(LOAD_DONE, s.Load());
    // Friends before groups; online before offline, telephone friends as offline; groups by
    // character code (甲 BCD7 before 乙 D2D2); the only-child group sorted too; a friend
    // without nickname shown by its name.
    EXPECT_EQ(U("a/5 b/5 同事/0{c/5 d/5}"), s.friends.Dump(s.model.TelephoneRoot()));
    EXPECT_EQ(U("X/5 Zed/5 Y/4 甲/0 乙/0{丙/0{p/4 q/4}}"), s.Net());
    EXPECT_TRUE(s.friends.Get(s.model.TelephoneRoot())->expanded);
    EXPECT_TRUE(s.friends.Get(s.model.NetworkRoot())->expanded);
    // The memory tree sends no expansion notices: the roots show open by the load itself.
    EXPECT_EQ(IMAGE_GROUP_OPEN, s.friends.Get(s.model.TelephoneRoot())->image);
    EXPECT_EQ(IMAGE_GROUP_OPEN_SELECTED, s.friends.Get(s.model.NetworkRoot())->selected);
    EXPECT_EQ(U("骚扰/4"), s.black.Dump());
    EXPECT_TRUE(s.lines.Has(L"枚举组和好友一共耗时："));
    // Each friend and the black user read once: the end of the load sorts with what the
    // load read.
    EXPECT_EQ(9 + 1, s.book.friendReads);
    // Every node went to its place as it came (甲 arrived after 乙): nothing to sort after.
    EXPECT_EQ(0, s.friends.sorts);
    EXPECT_NE(nullptr, s.model.FindBlackNode(s.blocked));
    EXPECT_EQ(nullptr, s.model.FindNode(s.blocked)) << "the black list is its own tree";
}

TEST(ContactLoad, EqualTextsGoByIdAndOrphansBecomeTopLevel) {
    Scene s;
    s.book.AddFriend(s.jia, "n9", "same", "", 1);
    s.book.AddFriend(s.jia, "n7", "same", "", 1);
    s.book.AddFriend(s.jia, "n8", "same", "", 0);
    s.book.orphan = s.colleagues;
    s.Load();
    HTREEITEM jia = s.model.FindNode(s.jia);
    EXPECT_EQ("same/5 same/5 same/4", s.friends.Dump(jia));
    auto id = [&](HTREEITEM item) { return std::string(s.book.At(s.friends.Node(item)->Friend()).info.id); };
    HTREEITEM first = s.friends.FirstChild(jia);
    EXPECT_EQ("n7", id(first));
    EXPECT_EQ("n9", id(s.friends.Next(first)));
    // A sub-group whose parent is not shown: a top-level node, kind by its id.
    HTREEITEM orphan = s.model.FindNode(s.colleagues);
    EXPECT_EQ(nullptr, s.friends.Parent(orphan));
    EXPECT_EQ(Kind::NetworkGroup, s.friends.Node(orphan)->kind);
    EXPECT_EQ(Kind::NetworkFriend, s.friends.Node(s.friends.FirstChild(orphan))->kind);
}

// A change while the load runs: the end of the load reads the book again.
struct ChangingDelivery : DirectDelivery {
    Scene& scene;
    explicit ChangingDelivery(Scene& s) : DirectDelivery(s.model, s.book), scene(s) {}
    bool DeliverGroup(std::unique_ptr<GroupBatch> batch) override {
        bool net = batch->group == scene.netRoot;
        bool goOn = DirectDelivery::DeliverGroup(std::move(batch));
        if (net) {
            scene.book.At(scene.y).info.status.status = 1;
            scene.model.UpdateStatus(scene.book, scene.y);
        }
        return goOn;
    }
};

TEST(ContactLoad, AChangeDuringTheLoadIsSortedIn) {
    Scene s;
    ChangingDelivery delivery(s);
    std::atomic<bool> stop{false};
    LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
    s.model.LoadFinished(s.book);
    EXPECT_EQ(U("X/5 Y/5 Zed/5 甲/0 乙/0{丙/0{p/4 q/4}}"), s.Net());
}

// The friend the next group would be placed after goes while the load runs.
struct DeletingDelivery : DirectDelivery {
    Scene& scene;
    explicit DeletingDelivery(Scene& s) : DirectDelivery(s.model, s.book), scene(s) {}
    bool DeliverGroup(std::unique_ptr<GroupBatch> batch) override {
        bool net = batch->group == scene.netRoot;
        bool goOn = DirectDelivery::DeliverGroup(std::move(batch));
        if (net) scene.model.DelFriend(scene.y);
        return goOn;
    }
};

TEST(ContactLoad, ADeletionDuringTheLoadLeavesTheOrderToTheEnd) {
    Scene s;
    DeletingDelivery delivery(s);
    std::atomic<bool> stop{false};
    LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
    s.model.LoadFinished(s.book);
    EXPECT_EQ(U("X/5 Zed/5 甲/0 乙/0{丙/0{p/4 q/4}}"), s.Net());
    EXPECT_LT(0, s.friends.sorts);
}

// Changes that reach the window after a group was read and before it is inserted, as
// the store's sent callbacks overtake the load's posted batches.
struct OvertakingDelivery : DirectDelivery {
    GroupHandle group;
    std::function<void()> changes;
    OvertakingDelivery(Scene& s, GroupHandle g, std::function<void()> c)
        : DirectDelivery(s.model, s.book), group(g), changes(std::move(c)) {}
    bool DeliverGroup(std::unique_ptr<GroupBatch> batch) override {
        if (batch->group == group) changes();
        return DirectDelivery::DeliverGroup(std::move(batch));
    }
};

TEST(ContactLoad, ChangesOvertakingABatchShowAfterTheLoad) {
    {
        Scene s;
        FriendHandle w = nullptr;
        OvertakingDelivery delivery(s, s.netRoot, [&] {
            auto& net = s.book.At(s.netRoot).friends;
            net.erase(std::find(net.begin(), net.end(), s.y));
            s.model.Apply(s.book, Change::DelFriend, s.y, s.netRoot);
            w = s.book.AddFriend(s.netRoot, "n6", "W", "", 1);
            s.model.Apply(s.book, Change::AddFriend, w, s.netRoot);
            s.book.At(s.x).info.status.status = 0;
            s.model.Apply(s.book, Change::Status, s.x);
        });
        std::atomic<bool> stop{false};
        LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
        s.model.LoadFinished(s.book);
        EXPECT_EQ(U("W/5 Zed/5 X/4 甲/0 乙/0{丙/0{p/4 q/4}}"), s.Net());
        EXPECT_EQ(nullptr, s.model.FindNode(s.y));
        EXPECT_FALSE(s.lines.Has(L"不存在")) << "every change found its node";
    }
    {
        // A group deleted after its read: neither it nor its sub-group (read later from
        // the walk's list) is left behind.
        Scene s;
        OvertakingDelivery delivery(s, s.yi, [&] { s.model.Apply(s.book, Change::DelGroup, s.yi, s.netRoot); });
        std::atomic<bool> stop{false};
        LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
        s.model.LoadFinished(s.book);
        EXPECT_EQ(U("X/5 Zed/5 Y/4 甲/0"), s.Net());
        EXPECT_EQ(nullptr, s.model.FindNode(s.bing));
    }
    {
        // A change the batch already holds: made once more, it adds no second node.
        Scene s;
        GroupHandle fresh = s.book.AddGroup(s.bing, "11211", "新组");
        OvertakingDelivery delivery(s, s.jia, [&] { s.model.Apply(s.book, Change::AddGroup, fresh, s.bing); });
        std::atomic<bool> stop{false};
        LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
        s.model.LoadFinished(s.book);
        EXPECT_EQ(U("X/5 Zed/5 Y/4 甲/0 乙/0{丙/0{p/4 q/4 新组/0}}"), s.Net());
    }
}

TEST(ContactLoad, ChangesAheadOfTheirGroupsReadShowAfterTheLoad) {
    {
        // A group deleted before its read, which the walk's list still holds: neither it
        // nor its sub-group is shown.
        Scene s;
        OvertakingDelivery delivery(s, s.netRoot, [&] { s.model.Apply(s.book, Change::DelGroup, s.yi, s.netRoot); });
        std::atomic<bool> stop{false};
        LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
        s.model.LoadFinished(s.book);
        EXPECT_EQ(U("X/5 Zed/5 Y/4 甲/0"), s.Net());
        EXPECT_EQ(nullptr, s.model.FindNode(s.yi));
        EXPECT_EQ(nullptr, s.model.FindNode(s.bing));
    }
    {
        // A group added under one not read yet, a friend added to it and a friend moved
        // into it during the load, another friend after it: all shown.
        Scene s;
        GroupHandle fresh = nullptr;
        FriendHandle r = nullptr;
        OvertakingDelivery delivery(s, s.netRoot, [&] {
            fresh = s.book.AddGroup(s.jia, "1111", "新组", false);
            s.model.Apply(s.book, Change::AddGroup, fresh, s.jia);
            r = s.book.AddFriend(fresh, "n6", "R", "", 1);
            s.model.Apply(s.book, Change::AddFriend, r, fresh);
            auto& bing = s.book.At(s.bing).friends;
            bing.erase(std::find(bing.begin(), bing.end(), s.q));
            s.book.At(fresh).friends.push_back(s.q);
            s.model.Apply(s.book, Change::MoveFriend, s.q, s.bing, fresh);
        });
        std::atomic<bool> stop{false};
        LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
        s.model.LoadFinished(s.book);
        FriendHandle t = s.book.AddFriend(fresh, "n7", "T");
        s.model.Apply(s.book, Change::AddFriend, t, fresh);
        EXPECT_EQ(U("X/5 Zed/5 Y/4 甲/0{新组/0{R/5 T/4 q/4}} 乙/0{丙/0{p/4}}"), s.Net());
    }
    {
        // A friend moved out of a group not read yet into one shown already.
        Scene s;
        FriendHandle w = s.book.AddFriend(s.jia, "n6", "W");
        OvertakingDelivery delivery(s, s.yi, [&] {
            auto& jia = s.book.At(s.jia).friends;
            jia.erase(std::find(jia.begin(), jia.end(), w));
            s.book.At(s.netRoot).friends.push_back(w);
            s.model.Apply(s.book, Change::MoveFriend, w, s.jia, s.netRoot);
        });
        std::atomic<bool> stop{false};
        LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
        s.model.LoadFinished(s.book);
        EXPECT_EQ(U("X/5 Zed/5 W/4 Y/4 甲/0 乙/0{丙/0{p/4 q/4}}"), s.Net());
    }
}

TEST(ContactLoad, StopsWhereTheBookOrTheTreeFails) {
    {
        Scene s;
        DirectDelivery delivery(s.model, s.book);
        std::atomic<bool> stop{false};
        EXPECT_EQ(LOAD_NO_BOOK, LoadContacts(s.book, false, delivery, stop, s.lines, s.model.Reads()));
        EXPECT_FALSE(delivery.finished) << "no library: no end-of-load message";
    }
    {
        Scene s;
        s.book.walkable = false;
        DirectDelivery delivery(s.model, s.book);
        std::atomic<bool> stop{false};
        EXPECT_EQ(LOAD_NO_WALK, LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads()));
        EXPECT_TRUE(delivery.finished) << "the empty roots are still sorted and expanded";
        EXPECT_EQ(0u, s.friends.Size());
    }
    {
        Scene s;
        DirectDelivery delivery(s.model, s.book);
        std::atomic<bool> stop{true};
        LoadContacts(s.book, true, delivery, stop, s.lines, s.model.Reads());
        EXPECT_EQ(0u, s.friends.Size()) << "a set stop flag ends the walk at once";
        EXPECT_EQ(0u, s.black.Size());
    }
    {
        Scene s;
        s.friends.failAfter = 2;  // the telephone root and friend b
        s.Load();
        EXPECT_EQ(2u, s.friends.Size()) << "a failed insertion stops the group walk";
        EXPECT_EQ(nullptr, s.model.NetworkRoot());
        EXPECT_EQ(1u, s.black.Size());
    }
    {
        Scene s;
        s.book.hasBlackList = false;
        s.Load();
        EXPECT_EQ(0u, s.black.Size());
        EXPECT_NE(nullptr, s.model.NetworkRoot());
    }
}

TEST(ContactChanges, EachChangeShowsInTheTrees) {
    Scene s;
    s.Load();
    // Add a friend to 甲: it takes the group's kind and the group is sorted.
    FriendHandle w = s.book.AddFriend(s.jia, "n6", "W", "", 1);
    s.book.AddFriend(s.jia, "n10", "V", "", 0);
    s.model.AddFriend(s.book, w, s.jia);
    EXPECT_EQ("W/5", s.friends.Dump(s.model.FindNode(s.jia)));
    EXPECT_EQ(Kind::NetworkFriend, s.friends.Node(s.model.FindNode(w))->kind);

    // A rename does not move the group until its parent is sorted again.
    vantor::CopyField(s.book.At(s.jia).info.name, U("子").c_str());
    s.model.ModifyGroup(s.book, s.jia);
    EXPECT_EQ(U("X/5 Zed/5 Y/4 子/0{W/5} 乙/0{丙/0{p/4 q/4}}"), s.Net());

    // Modify: the text follows the nickname, or the name when it is empty; status image.
    vantor::CopyField(s.book.At(s.x).info.nickname, "");
    vantor::CopyField(s.book.At(s.x).info.name, "Xavier");
    s.book.At(s.x).info.status.status = 10;
    s.model.ModifyFriend(s.book, s.x);
    EXPECT_EQ(U("Zed/5 Xavier/4 Y/4 乙/0{丙/0{p/4 q/4}} 子/0{W/5}"), s.Net());

    // Status: Y comes online and moves above the offline friends.
    s.book.At(s.y).info.status.status = 1;
    s.model.UpdateStatus(s.book, s.y);
    EXPECT_EQ(U("Y/5 Zed/5 Xavier/4 乙/0{丙/0{p/4 q/4}} 子/0{W/5}"), s.Net());

    // Refresh: every network friend gets its image again.
    s.book.At(s.y).info.status.status = 0;
    s.book.At(s.z).info.status.status = 0;
    s.book.At(s.p).info.status.status = 5;
    s.model.RefreshStatuses(s.book);
    EXPECT_EQ(U("Xavier/4 Y/4 Zed/4 乙/0{丙/0{p/5 q/4}} 子/0{W/5}"), s.Net());

    // Policies: the icon list goes and the row is repainted.
    ContactNode* wNode = s.friends.Node(s.model.FindNode(w));
    wNode->icons = new std::vector<BYTE>{1, ICON_CHAT};
    int repaints = s.friends.repaints;
    s.model.PoliciesChanged(w);
    EXPECT_EQ(nullptr, wNode->icons);
    EXPECT_EQ(1, s.hooks.dropped);
    EXPECT_EQ(repaints + 1, s.friends.repaints);

    // Move W to 丙, keeping its kind.
    s.model.ChangeGroup(s.book, w, s.jia, s.bing);
    EXPECT_EQ(U("Xavier/4 Y/4 Zed/4 乙/0{丙/0{W/5 p/5 q/4}} 子/0"), s.Net());

    // Block Z: it leaves the friend tree and joins the black list; then unblock it.
    s.model.PreventUser(s.book, s.z, s.netRoot);
    EXPECT_EQ(nullptr, s.model.FindNode(s.z));
    EXPECT_EQ(U("骚扰/4 Zed/4"), s.black.Dump());
    s.model.DelBlackUser(s.z);
    EXPECT_EQ(U("骚扰/4"), s.black.Dump());

    // Add and delete groups, delete friends.
    GroupHandle fresh = s.book.AddGroup(s.netRoot, "113", "新组");
    s.model.AddGroup(s.book, fresh, s.netRoot);
    EXPECT_EQ(Kind::NetworkGroup, s.friends.Node(s.model.FindNode(fresh))->kind);
    s.model.DelGroup(s.yi);
    EXPECT_EQ(nullptr, s.model.FindNode(s.p)) << "a group goes with everything below it";
    s.model.DelFriend(s.y);
    EXPECT_EQ(U("Xavier/4 新组/0 子/0"), s.Net());
    EXPECT_TRUE(s.lines.lines.size() == 1) << "only the load's timing line";
}

TEST(ContactChanges, UnknownContactsWriteTheirLineAndChangeNothing) {
    Scene s;
    s.Load();
    std::string before = s.friends.Dump() + "|" + s.black.Dump();
    MemoryBook other;
    GroupHandle g = other.AddGroup(nullptr, "99", "x");
    FriendHandle f = other.AddFriend(g, "zz", "zz");
    s.lines.lines.clear();
    s.model.AddFriend(s.book, s.x, g);
    s.model.DelFriend(f);
    s.model.ModifyFriend(s.book, f);
    s.model.AddGroup(s.book, g, g);
    s.model.DelGroup(g);
    s.model.ModifyGroup(s.book, g);
    s.model.UpdateStatus(s.book, f);
    s.model.PoliciesChanged(f);
    s.model.ChangeGroup(s.book, f, g, s.jia);
    s.model.ChangeGroup(s.book, s.x, s.netRoot, g);
    s.model.PreventUser(s.book, f, g);
    s.model.DelBlackUser(s.x);
    EXPECT_EQ(before, s.friends.Dump() + "|" + s.black.Dump());
    const std::vector<std::wstring> expected = {
        L"不存在该组，所以不能添加该好友到好友树中\n", L"不存在该好友，不需要删除处理\n",
        L"不存在该好友，所以不需要做修改处理\n",       L"不存在该父组，所以不能加入一个新组\n",
        L"不存在该组，所以不需要被删除\n",             L"不存在该组，所以不需要做修改处理\n",
        L"不存在该好友，所以不需要做修改处理\n",       L"不存在该好友，所以不需要做修改处理\n",
        L"不存在原来的好友节点或者改变之后的父节点\n", L"不存在原来的好友节点或者改变之后的父节点\n",
        L"不存在该好友，不需要删除处理\n",             L"不存在该黑名单用户，不用删除\n",
    };
    EXPECT_EQ(expected, s.lines.lines);
}

TEST(ContactChanges, DeletedNodesAreReportedAndExpansionSetsImages) {
    Scene s;
    s.Load();
    ContactNode* node = s.friends.Node(s.model.FindNode(s.x));
    s.model.DelFriend(s.x);
    ASSERT_EQ(1u, s.hooks.gone.size());
    EXPECT_EQ(node, s.hooks.gone[0]) << "the pane hears of the node before it is freed";
    HTREEITEM jia = s.model.FindNode(s.jia);
    s.model.ItemExpanded(jia, true);
    EXPECT_EQ(IMAGE_GROUP_OPEN, s.friends.Get(jia)->image);
    EXPECT_EQ(IMAGE_GROUP_OPEN_SELECTED, s.friends.Get(jia)->selected);
    s.model.ItemExpanded(jia, false);
    EXPECT_EQ(IMAGE_GROUP_CLOSED, s.friends.Get(jia)->image);
    // Deleting a root forgets it.
    s.model.DelGroup(s.phoneRoot);
    EXPECT_EQ(nullptr, s.model.TelephoneRoot());
}

TEST(NodeKinds, AreDistinctRegisteredFormats) {
    std::vector<WORD> formats;
    for (Kind k : {Kind::TelephoneGroup, Kind::NetworkGroup, Kind::TelephoneFriend, Kind::NetworkFriend,
                   Kind::BlackUser, Kind::StrangerUser}) {
        WORD f = KindFormat(k);
        EXPECT_GE(f, 0xC000);
        EXPECT_EQ(f, KindFormat(k));
        for (WORD other : formats) EXPECT_NE(other, f);
        formats.push_back(f);
    }
    char name[128] = {};
    GetClipboardFormatNameA(KindFormat(Kind::BlackUser), name, sizeof name);
    EXPECT_STREQ("Vantor Dosk Core RostLedger Drag Drop Object of Black User", name);
}

}  // namespace
