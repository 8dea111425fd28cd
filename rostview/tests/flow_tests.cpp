// The contact list in the container with the real contact dialogs, against the fake
// presence server: a group made from the root's menu, a rename refused for a sibling's
// name, a cancelled new group, and a friend dragged onto another group. What reaches the
// server, and the tree changed only by the book's callbacks. A copy of this program runs
// in a folder of its own holding the libraries.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "ContainerDriver.h"
#include "DialogDriver.h"
#include "DialogRig.h"
#include "PaneRig.h"
#include "TestSupport.h"
#include "Text.h"

namespace rdtest {
extern int g_port;
extern std::wstring g_stage;
}  // namespace rdtest

namespace {

using namespace rvtest;
using rdtest::Post;

std::vector<std::string> Actions() {
    std::vector<std::string> names;
    for (const Post& p : rdtest::Posts()) names.push_back(p.action);
    return names;
}

bool Has(const std::string& body, const std::string& part) { return body.find(part) != std::string::npos; }

std::wstring EditText(HWND tree) {
    HWND edit = TreeView_GetEditControl(tree);
    return edit ? testkit::Text(edit) : L"";
}

// Right-clicks the item's label and chooses the entry of its menu.
void ChooseFromMenu(HWND tree, HTREEITEM item, const wchar_t* entry) {
    WhileHelping([&] { EXPECT_TRUE(ChooseMenuEntry(1, entry)) << U8(entry); },
                 [&] {
                     MouseAt(LabelCentre(tree, item));
                     Pump(100);
                     RightClick();
                 });
}

HTREEITEM ParentOf(HWND tree, HTREEITEM item) { return item ? TreeView_GetParent(tree, item) : nullptr; }

TEST(RostViewFlows, GroupsAndADragReachTheServerAndShowThroughTheBook) {
    rdtest::Book book(L"flow");
    Container c(book.Handle());
    ASSERT_NE(nullptr, c.pane);
    ASSERT_TRUE(PumpUntil([&] { return c.Item(1, L"王五") != nullptr && c.Item(2, L"骚扰") != nullptr; }, 20000));
    HWND friends = c.Friends();
    SetForegroundWindow(c.frame);

    // "新建组" on the network root, a name typed, Enter: the server is asked and the new
    // group comes into the tree through the book.
    rdtest::Queue("AddNewGroup", rdtest::Cell("groupid", "120"));
    ChooseFromMenu(friends, c.Item(1, L"网络好友"), L"新建组");
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    EXPECT_EQ(L"新建自定义组", EditText(friends));
    EXPECT_EQ(20, SendMessageW(TreeView_GetEditControl(friends), EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(c.Item(1, L"网络好友"), ParentOf(friends, c.Item(1, L"新建自定义组")));
    MouseAt(POINT{600, 600});  // the root's tip goes
    Pump(500);
    EXPECT_TRUE(rdtest::Screenshot(c.frame, L"rostview-new-group-editor.bmp"));
    TypeText(L"朋友");
    EXPECT_TRUE(PumpUntil([&] { return EditText(friends) == L"朋友"; }));
    Key(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return c.Item(1, L"朋友") != nullptr; }));
    std::vector<Post> posts = rdtest::Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_EQ("AddNewGroup", posts[0].action);
    EXPECT_TRUE(Has(posts[0].body, "GroupName=" + Gbk(L"朋友"))) << posts[0].body;
    EXPECT_TRUE(Has(posts[0].body, "ParGroupID=11")) << posts[0].body;
    EXPECT_EQ(c.Item(1, L"网络好友"), ParentOf(friends, c.Item(1, L"朋友")));
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));

    // Renaming "同学" to its sibling's name: the box on the pane, nothing sent, no change.
    rdtest::ResetServer();
    ChooseFromMenu(friends, c.Item(1, L"同学"), L"重命名");
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    TypeText(L"同事");
    EXPECT_TRUE(PumpUntil([&] { return EditText(friends) == L"同事"; }));
    testkit::MessageBoxSeen box;
    HWND owner = nullptr;
    WhileHelping(
        [&] {
            box = testkit::WaitMessageBox(5000);
            if (!box) return;
            owner = GetWindow(box.window, GW_OWNER);
            Sleep(300);
            rdtest::Screenshot(box.window, L"rostview-duplicate-group.bmp");
            testkit::DismissMessageBox(box);
        },
        [&] { Key(VK_RETURN); });
    ASSERT_TRUE(box);
    EXPECT_EQ(L"该组已经存在了，请输入不同的名称！", box.text);
    EXPECT_EQ(L"修改组", box.caption);
    EXPECT_EQ(GetAncestor(c.pane, GA_ROOT), owner) << "owned by the pane's window";
    Pump(300);
    EXPECT_TRUE(rdtest::Posts().empty());
    EXPECT_NE(nullptr, c.Item(1, L"同学"));
    EXPECT_TRUE(book.HasGroupNamed(book.Group("11"), L"同学"));

    // A new group under the same name: the box captioned for a new group, and no node.
    ChooseFromMenu(friends, c.Item(1, L"网络好友"), L"新建组");
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    TypeText(L"同学");
    EXPECT_TRUE(PumpUntil([&] { return EditText(friends) == L"同学"; }));
    testkit::MessageBoxSeen again;
    HICON icon = nullptr;
    WhileHelping(
        [&] {
            again = testkit::WaitMessageBox(5000);
            if (!again) return;
            icon = reinterpret_cast<HICON>(SendDlgItemMessageW(again.window, 0x0440, STM_GETICON, 0, 0));
            testkit::DismissMessageBox(again);
        },
        [&] { Key(VK_RETURN); });
    ASSERT_TRUE(again);
    EXPECT_EQ(L"该组已经存在了，请输入不同的名称！", again.text);
    EXPECT_EQ(L"新建组", again.caption);
    EXPECT_EQ(LoadIcon(nullptr, IDI_ERROR), icon) << "the error icon";
    Pump(300);
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));
    EXPECT_TRUE(rdtest::Posts().empty());

    // A new group whose edit is cancelled leaves no node and sends nothing.
    ChooseFromMenu(friends, c.Item(1, L"网络好友"), L"新建组");
    ASSERT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) != nullptr; }));
    TypeText(L"abc");
    Key(VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return TreeView_GetEditControl(friends) == nullptr; }));
    Pump(300);
    EXPECT_EQ(nullptr, c.Item(1, L"新建自定义组"));
    EXPECT_EQ(nullptr, c.Item(1, L"abc"));
    EXPECT_TRUE(rdtest::Posts().empty());

    // 小明 from the network root onto 同学 with the mouse; the first time Escape ends the
    // drag on the way and nothing comes of it.
    POINT from = LabelCentre(friends, c.Item(1, L"小明"));
    POINT to = LabelCentre(friends, c.Item(1, L"同学"));
    auto drag = [&](bool escape) {
        WhileHelping(
            [&] {
                MouseAt(from);
                Sleep(100);
                MouseButton(true);
                for (int i = 1; i <= 10; ++i) {
                    Sleep(40);
                    MouseAt(POINT{from.x + (to.x - from.x) * i / 10, from.y + (to.y - from.y) * i / 10});
                }
                Sleep(300);
                if (escape) Key(VK_ESCAPE);
                Sleep(200);
                MouseAt(to);
                Sleep(300);
                MouseButton(false);
            },
            [] {});
    };
    drag(true);
    Pump(500);
    EXPECT_TRUE(rdtest::Posts().empty());
    EXPECT_EQ(c.Item(1, L"网络好友"), ParentOf(friends, c.Item(1, L"小明")));
    drag(false);
    EXPECT_TRUE(PumpUntil([&] { return ParentOf(friends, c.Item(1, L"小明")) == c.Item(1, L"同学"); }))
        << DumpTree(friends);
    EXPECT_EQ((std::vector<std::string>{"ChangeGroup"}), Actions());
    posts = rdtest::Posts();
    if (!posts.empty()) {
        EXPECT_TRUE(Has(posts[0].body, "112")) << posts[0].body;
        EXPECT_TRUE(Has(posts[0].body, "proxyflag=0")) << posts[0].body;
    }
    EXPECT_EQ(book.Group("112"), book.GroupOf(L"n1"));
}

int RunInPrivateFolder() {
    std::wstring stage = testkit::ProgramDir();
    std::string ports = testkit::ReadFileBytes(stage + L"presence-fake.port");
    if (ports.empty()) {
        fprintf(stderr, "presence-fake.port is missing: the fake presence server did not start\n");
        return 1;
    }
    int port = atoi(ports.c_str());
    testkit::PrivateFolder folder;
    folder.name = L"rostview-flows";
    folder.files = {L"RostView.dll", L"RostDialogs.dll", L"PlugHost.dll", L"OrderHub.dll", L"CoreFront.dll",
                    L"RostLedger.dll", L"RostKeeper.dll", L"RostBase.dll", L"CoreStub.dll", L"zumbase.dll",
                    L"PresenceCore.dll", L"WebFetch.dll", L"CommonKit.dll", L"SkinFrame.dll", L"PictKit.dll",
                    L"KnobKit.dll", L"GlassKit.dll", L"AnchorKit.dll", L"HookRelay.dll", L"SurfView.dll"};
    folder.renamed = {{L"TraceDeck.dll", L"TabDeck.dll"}, {L"TracePlug.dll", L"PresenceTab.dll"}};
    folder.trees = {L"config", L"Skins", L"resource"};
    folder.written = {
        {L"config\\psimprof.cfg",
         "[PSConfig]\r\npsUrl=http://127.0.0.1:" + std::to_string(port) + "/web/\r\ngkenable=0\r\n"},
        {L"config\\pruv2.cfg", "[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=-1\r\nSubPlugs=\r\n[PlugsLoadStyle]\r\n"
                                "-1=immediately\r\n[PlugsModule]\r\n-1=RostView.dll\r\n"},
        {L"behave.cfg", "[PresenceTab.dll]\r\nParam7=1\r\nParam3=2\r\n"}};
    return testkit::RunThisExeInPrivateFolder(folder, {{L"RV_FAKE_PORT", std::to_wstring(port)}, {L"RV_STAGE", stage}});
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t port[32] = {};
    if (!GetEnvironmentVariableW(L"RV_FAKE_PORT", port, 32)) return RunInPrivateFolder();
    rdtest::g_port = _wtoi(port);
    wchar_t stage[MAX_PATH] = {};
    GetEnvironmentVariableW(L"RV_STAGE", stage, MAX_PATH);
    rdtest::g_stage = stage;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
