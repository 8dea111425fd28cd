// Forwarders reaching test plug-ins through a test container by plug id.
#include <gtest/gtest.h>

#include <string>

#include "CommonKit.h"
#include "FakeHosts.h"
#include "Handles.h"
#include "ModulePath.h"

namespace {

class ForwardersTest : public ::testing::Test {
protected:
    void SetUp() override {
        container_.reset(vantor::LoadProgramLibrary(L"CkFakeContainer.dll"));
        plug_.reset(vantor::LoadProgramLibrary(L"CkTestPlug.dll"));
        fewPlug_.reset(vantor::LoadProgramLibrary(L"CkTestPlugFew.dll"));
        ASSERT_TRUE(container_ && plug_ && fewPlug_);
        setPlug_ = vantor::ProcAddress<PFN_FakeContainer_SetPlug>(container_.get(), "FakeContainer_SetPlug");
        ASSERT_NE(nullptr, setPlug_);
        vantor::ProcAddress<PFN_FakeContainer_Reset>(container_.get(), "FakeContainer_Reset")();
    }

    PlugCall LastCall(HMODULE plugModule) {
        PlugCall call = {};
        vantor::ProcAddress<PFN_TestPlug_LastCall>(plugModule, "TestPlug_LastCall")(&call);
        return call;
    }

    vantor::UniqueModule container_, plug_, fewPlug_;
    PFN_FakeContainer_SetPlug setPlug_ = nullptr;
    // Beyond 32 bits on x86_64, so a truncating hop would show.
    TabPlugHandle handle_ = reinterpret_cast<TabPlugHandle>(static_cast<UINT_PTR>(0x5A5A1234ABCD0010ull));
};

}  // namespace

TEST_F(ForwardersTest, ReachThePlugInWithArgumentsIntact) {
    HMODULE c = container_.get();
    setPlug_(8, 1, 1, plug_.get(), handle_);

    EXPECT_EQ(1, _TabPlug_Move(c, 8, -5, 10, 300, 200));
    PlugCall call = LastCall(plug_.get());
    EXPECT_STREQ("Move", call.name);
    EXPECT_EQ(handle_, call.plug);
    EXPECT_EQ((std::vector<INT_PTR>{-5, 10, 300, 200}), std::vector<INT_PTR>(call.args, call.args + 4));

    EXPECT_EQ(1, _TabPlug_Show(c, 8, 5));
    EXPECT_EQ(1, LastCall(plug_.get()).args[0]) << "any nonzero flag goes as 1";
    _TabPlug_Show(c, 8, 0);
    EXPECT_EQ(0, LastCall(plug_.get()).args[0]);

    struct { int a; wchar_t text[8]; } record = {3, L"x"};
    _TabPlug_DoCommand(c, 8, 5, reinterpret_cast<INT_PTR>(&record));
    call = LastCall(plug_.get());
    EXPECT_STREQ("DoCommand", call.name);
    EXPECT_EQ(5, call.args[0]);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(&record), call.args[1]);

    EXPECT_EQ(reinterpret_cast<HWND>(reinterpret_cast<INT_PTR>(handle_) + 1), _TabPlug_GetSafeHwnd(c, 8));

    INT_PTR big = static_cast<INT_PTR>(reinterpret_cast<UINT_PTR>(&record));
    EXPECT_EQ(1, _TabPlug_AddChildTabA(c, 8, 1, -2, big, 4, 5, 6));
    call = LastCall(plug_.get());
    EXPECT_STREQ("AddChildTabA", call.name);
    EXPECT_EQ((std::vector<INT_PTR>{1, -2, big, 4, 5, 6}), std::vector<INT_PTR>(call.args, call.args + 6));
    EXPECT_EQ(2, _TabPlug_AddChildTabW(c, 8, 6, 5, 4, 3, 2, big));
    call = LastCall(plug_.get());
    EXPECT_STREQ("AddChildTabW", call.name);
    EXPECT_EQ(big, call.args[5]);

    EXPECT_EQ(1, _TabPlug_DelChildTab(c, 8));
    EXPECT_EQ(8, LastCall(plug_.get()).args[0]) << "the plug id is the child id";

    HWND parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x7700000000F0ull));
    EXPECT_EQ(3, _TabPlug_ChangeParent(c, 8, parent));
    EXPECT_EQ(reinterpret_cast<INT_PTR>(parent), LastCall(plug_.get()).args[0]);

    // Destroying through the forwarder leaves the container's record as it was.
    EXPECT_EQ(1, _TabPlug_Destroy(c, 8));
    EXPECT_STREQ("Destroy", LastCall(plug_.get()).name);
    HMODULE module = nullptr;
    TabPlugHandle plug = nullptr;
    EXPECT_EQ(1, _Container_QueryModule(c, 8, &module, &plug));
    EXPECT_EQ(plug_.get(), module);
    EXPECT_EQ(handle_, plug);

    // The container's own calls.
    PlugId last = 0;
    EXPECT_EQ(1, _Container_LoadPlug(c, 8));
    EXPECT_EQ(0, _Container_UnloadPlug(c, -13));
    EXPECT_EQ(1, vantor::ProcAddress<PFN_FakeContainer_LastLoad>(c, "FakeContainer_LastLoad")(&last));
    EXPECT_EQ(8, last);
    EXPECT_EQ(1, vantor::ProcAddress<PFN_FakeContainer_LastUnload>(c, "FakeContainer_LastUnload")(&last));
    EXPECT_EQ(-13, last);
}

TEST_F(ForwardersTest, HoldThePlugInsLibraryWhileItsCallRuns) {
    // The plug-in's last reference goes during its own command: the library stays until
    // the call has returned to the forwarder, and goes after.
    HMODULE module = vantor::LoadProgramLibrary(L"CkTestPlug.dll");
    plug_.reset();
    setPlug_(8, 1, 1, module, handle_);
    _TabPlug_DoCommand(container_.get(), 8, 99, 0);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"CkTestPlug.dll"));
}

TEST_F(ForwardersTest, AnswerZeroWhenAnyPieceIsMissing) {
    HMODULE c = container_.get();
    setPlug_(3, 1, 1, nullptr, nullptr);                   // listed, not loaded yet
    setPlug_(4, 1, 1, plug_.get(), nullptr);               // loaded, creation failed
    setPlug_(77, 1, 0, plug_.get(), handle_);              // found, outputs not written
    setPlug_(PLUG_CHAT, 1, 1, fewPlug_.get(), handle_);    // no window query export
    setPlug_(5, 0, 1, plug_.get(), handle_);               // the container says no
    int before = LastCall(plug_.get()).calls;

    for (PlugId id : {3, 4, 77, 5, 1234}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(nullptr, _TabPlug_GetSafeHwnd(c, id));
        EXPECT_EQ(0, _TabPlug_Show(c, id, 1));
        EXPECT_EQ(0, _TabPlug_Move(c, id, 0, 0, 1, 1));
        EXPECT_EQ(0, _TabPlug_Destroy(c, id));
        EXPECT_EQ(0, _TabPlug_DelChildTab(c, id));
        EXPECT_EQ(0, _TabPlug_ChangeParent(c, id, nullptr));
        EXPECT_EQ(0, _TabPlug_AddChildTabA(c, id, 0, 0, 0, 0, 0, 0));
        _TabPlug_DoCommand(c, id, 1, 2);
    }
    EXPECT_EQ(before, LastCall(plug_.get()).calls) << "a plug-in was called without module and handle";

    // A plug-in without the window query still takes its other calls.
    EXPECT_EQ(nullptr, _TabPlug_GetSafeHwnd(c, PLUG_CHAT));
    EXPECT_EQ(0, _TabPlug_AddChildTabW(c, PLUG_CHAT, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(0, _TabPlug_ChangeParent(c, PLUG_CHAT, nullptr));
    _TabPlug_DoCommand(c, PLUG_CHAT, 1001, 42);
    PlugCall call = LastCall(fewPlug_.get());
    EXPECT_STREQ("DoCommand", call.name);
    EXPECT_EQ(handle_, call.plug);
    EXPECT_EQ(42, call.args[1]);

    // No container, or a module that is not one.
    for (HMODULE notContainer : {static_cast<HMODULE>(nullptr), plug_.get()}) {
        HMODULE module = plug_.get();
        EXPECT_EQ(0, _Container_QueryModule(notContainer, 8, &module, nullptr));
        EXPECT_EQ(0, _Container_LoadPlug(notContainer, 8));
        EXPECT_EQ(0, _Container_UnloadPlug(notContainer, 8));
        EXPECT_EQ(0, _TabPlug_Show(notContainer, 8, 1));
        EXPECT_EQ(nullptr, _TabPlug_GetSafeHwnd(notContainer, 8));
    }
    EXPECT_EQ(before, LastCall(plug_.get()).calls);
    int releases = 0;
    int holds = vantor::ProcAddress<PFN_FakeContainer_Holds>(c, "FakeContainer_Holds")(&releases);
    EXPECT_LT(0, holds);
    EXPECT_EQ(holds, releases) << "every plug-in held for a call is given back";
}
