// ChatDesk.dll as the container loads it: the exports, a session with links of every
// kind, and a destroy that ends every thread so the library can go.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include "ChildRun.h"
#include "ContactSetup.h"
#include "DebugLines.h"
#include "ImMessages.h"
#include "ModulePath.h"
#include "TabPlug.h"
#include "outside/RostKeeper.h"

using namespace cdtest;

namespace {

class ChildExports : public ChildTest {
protected:
    ChildExports() : ChildTest("exports") {}
};

TEST_F(ChildExports, ASessionWithEveryKindOfLinkEndsWithinTheLimitAndLeavesNoThread) {
    testkit::DebugLines lines;
    HMODULE dll = vantor::LoadProgramLibrary(L"ChatDesk.dll");
    ASSERT_NE(nullptr, dll);
    auto create = vantor::ProcAddress<PFN_TabPlug_Create>(dll, TABPLUG_CREATE_NAME);
    auto destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(dll, TABPLUG_DESTROY_NAME);
    auto move = vantor::ProcAddress<PFN_TabPlug_Move>(dll, TABPLUG_MOVE_NAME);
    auto show = vantor::ProcAddress<PFN_TabPlug_Show>(dll, TABPLUG_SHOW_NAME);
    auto command = vantor::ProcAddress<PFN_TabPlug_DoCommand>(dll, TABPLUG_DOCOMMAND_NAME);
    auto skin = vantor::ProcAddress<PFN_SwitchSkin>(dll, TABPLUG_SWITCHSKIN_NAME);
    ASSERT_TRUE(create && destroy && move && show && command && skin);
    EXPECT_EQ(nullptr, GetProcAddress(dll, TABPLUG_GETSAFEHWND_NAME));
    EXPECT_EQ(GetProcAddress(dll, "AddressCallback_OnDelFriend"), GetProcAddress(dll, "AddressCallback_OnPreventUser"));

    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    TabPlugHandle plug = create(parent, nullptr, kBook, 0);
    ASSERT_NE(nullptr, plug);
    EXPECT_EQ(1, move(plug, 0, 0, 100, 100));
    EXPECT_EQ(1, show(plug, 1));
    EXPECT_EQ(1, skin(plug));
    EXPECT_EQ(0, skin(nullptr));
    ASSERT_TRUE(Eventually([] { return HasSession(kOwnId); }, 8000));
    ASSERT_TRUE(lines.WaitFor(L"登录im服务器成功了！"));
    EXPECT_GE(ThreadsStartedIn(dll), 2u) << "the accept thread and the server link's receive thread";

    // A text ends after its receipt: no chat window can be made here.
    ASSERT_EQ("0", Fake().Control(std::string("peer/start?id=") + kFriendId + "&receipt=none").substr(0, 1));
    Fake().Control(std::string("peer/text?id=") + kFriendId + "&to=10001&text=hi");
    ASSERT_TRUE(Eventually([] { return PeerFrames(kFriendId, "003B").size() == 1; }, 5000));
    EXPECT_EQ('0', PeerFrames(kFriendId, "003B")[0].second[144]);
    // An unclaimed inbound link and a peer that went silent inside a message.
    Fake().Control(std::string("peer/connect?id=") + kFriendId + "&address=" + kClientAddress +
                   "&port=" + std::to_string(kClientPort) + "&source=" + kPeerAddress);
    Fake().Control(std::string("peer/raw?id=") + kFriendId + "&via=direct", std::string(100, '\0'));
    PumpFor(500);

    // Commands: a record without an id opens nothing; the others open nothing either,
    // quietly, until there are chat windows; unknown numbers are ignored.
    command(plug, 1, reinterpret_cast<INT_PTR>(Contacts().staleEntry));
    EXPECT_TRUE(lines.WaitFor(L"没有找到对应用户的数据"));
    command(plug, 1, reinterpret_cast<INT_PTR>(Contacts().friendEntry));
    command(plug, 8, 0);
    command(plug, 6, 0);
    command(plug, 77, 0);
    command(nullptr, 1, 0);

    // Contact notices reach the registered module and find no window to close.
    HMODULE keeper = vantor::LoadProgramLibrary(L"RostKeeper.dll");
    auto modify = vantor::ProcAddress<PFN_RostKeeper_ModifyFriendA>(keeper, "RostKeeper_ModifyFriendA");
    ASSERT_NE(nullptr, modify);
    FriendInfoA changed = {};
    strcpy(changed.id, kOtherFriend);
    strcpy(changed.nickname, "Renamed");
    EXPECT_TRUE(modify(kBook, Contacts().otherEntry, &changed));
    FreeLibrary(keeper);

    DWORD start = GetTickCount();
    EXPECT_EQ(1, destroy(plug));
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 15000u);
    EXPECT_EQ(1u, lines.Count(L"开始停止IM服务..."));
    EXPECT_EQ(1u, lines.Count(L"IM服务停止完毕！"));
    EXPECT_EQ(0, destroy(plug)) << "a handle already destroyed is refused";
    EXPECT_EQ(0, destroy(nullptr));
    EXPECT_EQ(0u, ThreadsStartedIn(dll)) << "no thread of the plug-in is left";
    DestroyWindow(parent);
    FreeLibrary(dll);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"ChatDesk.dll"));
    EXPECT_TRUE(Eventually([] { return !HasSession(kOwnId); }, 3000)) << "the session ended with the plug-in";
}


// Counts, when the web library leaves the process, the threads the plug-in still runs.
struct UnloadWatch {
    struct Name {
        USHORT length, maximum;
        PWSTR buffer;
    };
    struct Data {
        ULONG flags;
        const Name* fullName;
        const Name* baseName;
        void* base;
        ULONG size;
    };
    typedef void(CALLBACK* Callback)(ULONG, const Data*, void*);
    typedef LONG(NTAPI* RegisterFn)(ULONG, Callback, void*, void**);
    typedef LONG(NTAPI* UnregisterFn)(void*);

    explicit UnloadWatch(HMODULE plugIn) : plugIn_(plugIn) {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        auto add = vantor::ProcAddress<RegisterFn>(ntdll, "LdrRegisterDllNotification");
        remove_ = vantor::ProcAddress<UnregisterFn>(ntdll, "LdrUnregisterDllNotification");
        if (add) add(0, OnNotice, this, &cookie_);
    }
    ~UnloadWatch() {
        if (cookie_ && remove_) remove_(cookie_);
    }
    static void CALLBACK OnNotice(ULONG reason, const Data* data, void* context) {
        auto* self = static_cast<UnloadWatch*>(context);
        const ULONG kUnloaded = 2;
        if (reason != kUnloaded || !data->baseName) return;
        std::wstring name(data->baseName->buffer, data->baseName->length / sizeof(wchar_t));
        if (_wcsicmp(name.c_str(), L"WebFetch.dll") == 0) self->threadsAtUnload = static_cast<int>(ThreadsStartedIn(self->plugIn_));
    }
    bool Watching() const { return cookie_ != nullptr; }
    int threadsAtUnload = -1;

private:
    HMODULE plugIn_;
    void* cookie_ = nullptr;
    UnregisterFn remove_ = nullptr;
};

TEST_F(ChildExports, TheWebLibraryGoesOnlyOnceThePlugInsThreadsHaveEnded) {
    Fake().Control("gatekeeper?mode=refuse");
    testkit::DebugLines lines;
    HMODULE dll = vantor::LoadProgramLibrary(L"ChatDesk.dll");
    ASSERT_NE(nullptr, dll);
    auto create = vantor::ProcAddress<PFN_TabPlug_Create>(dll, TABPLUG_CREATE_NAME);
    auto destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(dll, TABPLUG_DESTROY_NAME);
    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    TabPlugHandle plug = create(parent, nullptr, kBook, 0);
    ASSERT_NE(nullptr, plug);
    ASSERT_TRUE(lines.WaitFor(L"发送HTTP请求到IM的GK失败！"));
    PumpFor(500);
    ASSERT_GE(ThreadsStartedIn(dll), 1u) << "the accept thread";
    UnloadWatch watch(dll);
    ASSERT_TRUE(watch.Watching());
    EXPECT_EQ(1, destroy(plug));
    EXPECT_TRUE(Eventually([] { return GetModuleHandleW(L"WebFetch.dll") == nullptr; }, 15000));
    EXPECT_EQ(0, watch.threadsAtUnload) << "the web library went while the plug-in's threads still ran";
    DestroyWindow(parent);
    FreeLibrary(dll);
}

TEST(ChatDeskExports, RunsInAChild) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    ASSERT_TRUE(Fake().loaded) << "the im_fake fixture did not run";
    EXPECT_TRUE(RunChild("exports", "ChildExports.*"));
}

}  // namespace
