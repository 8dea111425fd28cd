// The container run from generated configurations. Each case builds a program folder of
// its own (the container reads its settings beside the running EXE), runs the driver
// there, and reads the call trace that the driver and the test modules wrote.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../PlugConfig.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "Text.h"

namespace {

using testkit::SolidBitmap;

using Lines = std::vector<std::string>;

class Folder {
public:
    explicit Folder(const wchar_t* name) : dir_(testkit::FreshDir(name)) {
        for (const wchar_t* file : {L"PlugHost.dll", L"OrderHub.dll", L"CoreFront.dll", L"PlugDriver.exe",
                                    L"TraceDeck.dll", L"CommonKit.dll"}) {
            Copy(file, file);
        }
        Copy(L"PolicyLedger.dll", L"RostLedger.dll");
        CreateDirectoryW((dir_ + L"config").c_str(), nullptr);
        Write(L"policies.cfg", "[Ledger]\r\nAccount=5\r\nCount=0\r\n");
    }

    void Copy(const wchar_t* from, const wchar_t* to) {
        ASSERT_TRUE(CopyFileW((testkit::ProgramDir() + from).c_str(), (dir_ + to).c_str(), FALSE)) << vantor::WideToAnsi(from);
    }
    // A copy of the recording plug-in under the given file name.
    void Plug(const wchar_t* name) { Copy(L"TracePlug.dll", name); }

    void Write(const std::wstring& relative, const std::string& text) {
        ASSERT_TRUE(testkit::WriteFileBytes(dir_ + relative, text));
    }
    void Config(const std::string& text) { Write(L"config\\pruv2.cfg", text); }
    void Resources(PlugId id, const std::string& text) {
        std::wstring sub = dir_ + L"Container";
        CreateDirectoryW(sub.c_str(), nullptr);
        sub += L"\\" + std::to_wstring(id);
        CreateDirectoryW(sub.c_str(), nullptr);
        Write(L"Container\\" + std::to_wstring(id) + L"\\plugres.cfg", text);
    }

    // Runs the driver with the given steps; the trace lines, without the driver's exit line.
    Lines Run(const std::string& steps) {
        DeleteFileW((dir_ + L"trace.log").c_str());
        DWORD code = testkit::RunProgram(dir_ + L"PlugDriver.exe", vantor::AnsiToWide(steps), dir_, {}, 60000);
        if (code == testkit::kProgramDidNotStart) {
            ADD_FAILURE() << "driver did not start";
            return {};
        }
        EXPECT_NE(testkit::kProgramTimedOut, code) << "driver hangs";
        EXPECT_EQ(0u, code) << "driver crashed";
        Lines lines;
        std::string text = testkit::ReadFileBytes(dir_ + L"trace.log");
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    const std::wstring& Path() const { return dir_; }
    std::string Read(const wchar_t* relative) const { return testkit::ReadFileBytes(dir_ + relative); }

    std::string IconPath(PlugId id, const char* file) const {
        return vantor::WideToAnsi(dir_) + "Container\\" + std::to_string(id) + "\\" + file;
    }

private:
    std::wstring dir_;
};

std::string Dump(const Lines& lines) {
    std::string all;
    for (const auto& line : lines) all += "  " + line + "\n";
    return all;
}

// Every expected line appears, in this order (other lines may come between).
void ExpectInOrder(const Lines& trace, const Lines& expected) {
    size_t at = 0;
    for (const auto& want : expected) {
        size_t found = at;
        while (found < trace.size() && trace[found] != want) ++found;
        if (found == trace.size()) {
            ADD_FAILURE() << "missing or out of order: " << want << "\ntrace:\n" << Dump(trace);
            return;
        }
        at = found + 1;
    }
}

int CountWith(const Lines& trace, const std::string& part) {
    int n = 0;
    for (const auto& line : trace) n += line.find(part) != std::string::npos;
    return n;
}

TEST(PlugConfig, ParsesIdListsAndNamesLikeTheConfiguration) {
    EXPECT_EQ((std::vector<PlugId>{3, 8}), plughost::ParsePlugIds(L"3,8"));
    EXPECT_EQ((std::vector<PlugId>{-13, 2147483646}), plughost::ParsePlugIds(L" -13,2147483646, 7x,abc"));
    EXPECT_EQ((std::vector<PlugId>{3, 8}), plughost::ParsePlugIds(L",3,, 8,"));
    EXPECT_TRUE(plughost::ParsePlugIds(L"").empty());
    EXPECT_TRUE(plughost::IsImmediateLoadStyle(L"ImmediATELY"));
    EXPECT_FALSE(plughost::IsImmediateLoadStyle(L"immediately "));
    EXPECT_FALSE(plughost::IsImmediateLoadStyle(L"delay"));
    EXPECT_TRUE(plughost::IsNoPlugModule(L""));
    EXPECT_TRUE(plughost::IsNoPlugModule(L"NoPlug"));
    EXPECT_FALSE(plughost::IsNoPlugModule(L"plug.dll"));

    // A value longer than any fixed buffer is read whole.
    std::wstring dir = testkit::FreshDir(L"plugconfig");
    std::string longName(3000, 'a');
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"x.cfg", "[UI]\r\nTabDeck=" + longName + ".dll\r\n"));
    EXPECT_EQ(3004u, plughost::ReadIniValue(dir + L"x.cfg", L"UI", L"TabDeck").size());
    EXPECT_EQ(L"", plughost::ReadIniValue(dir + L"x.cfg", L"UI", L"Missing"));
}

TEST(Container, StartsConfiguredPlugInsAndTearsThemDownNewestFirst) {
    Folder f(L"container-basic");
    f.Plug(L"plug3.dll");
    f.Plug(L"plug8.dll");
    f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=3,8\r\n"
             "[PlugsLoadStyle]\r\n8=Immediately\r\n[PlugsModule]\r\n3=plug3.dll\r\n8=plug8.dll\r\n");
    f.Resources(3, "[TabPlugRes]\r\ntooltip=Three\r\nIconNormal=n.bmp\r\nIconHover=h.bmp\r\n"
                   "IconSelect=s.bmp\r\nIconDisable=d.bmp\r\n");
    Lines t = f.Run("load 1 query 3 query 8 query 77 query 0 loadplug 3 query 3 loadplug 3 "
                    "unload loaded plug3.dll loaded plug8.dll loaded OrderHub.dll loaded CoreFront.dll query 3");
    ExpectInOrder(t, {
        "TraceDeck.dll Create parent=host container=PlugHost.dll ctx=1",
        "RostLedger.dll GetCurrentAccount ctx=1",
        "TraceDeck.dll AddTab 3 tip=Three n=" + f.IconPath(3, "n.bmp") + " h=" + f.IconPath(3, "h.bmp") +
            " s=" + f.IconPath(3, "s.bmp") + " d=" + f.IconPath(3, "d.bmp"),
        "plug8.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        // No resources for 8: empty tool-tip and icon paths that end in the folder.
        "TraceDeck.dll AddTab 8 tip= n=" + f.IconPath(8, "") + " h=" + f.IconPath(8, "") + " s=" +
            f.IconPath(8, "") + " d=" + f.IconPath(8, ""),
        "RostLedger.dll GetPolicies account=5 array=0 count=0",
        "PlugDriver.exe query 3 -> 1 module=null handle=null",
        "PlugDriver.exe query 8 -> 1 module=plug8.dll handle=set",
        "PlugDriver.exe query 77 -> 0 module=untouched handle=untouched",
        "PlugDriver.exe query 0 -> 1 module=TraceDeck.dll handle=set",
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe loadplug 3 -> 1",
        "PlugDriver.exe query 3 -> 1 module=plug3.dll handle=set",
        "PlugDriver.exe loadplug 3 -> 1",
        // Loaded later, destroyed first.
        "plug3.dll Destroy -> 1",
        "plug3.dll Unloaded",
        "plug8.dll Destroy -> 1",
        "plug8.dll Unloaded",
        "PlugDriver.exe unloaded",
        "PlugDriver.exe loaded plug3.dll=0",
        "PlugDriver.exe loaded plug8.dll=0",
        "PlugDriver.exe loaded OrderHub.dll=0",
        "PlugDriver.exe loaded CoreFront.dll=0",
        "PlugDriver.exe query 3 -> 0 module=untouched handle=untouched",
    });
    EXPECT_EQ(1, CountWith(t, "plug3.dll Create")) << "a loaded plug-in is not created again";
    EXPECT_EQ(2, CountWith(t, "TraceDeck.dll AddTab"));
}

TEST(Container, ServicePlugInsFollowTheAccountsPolicies) {
    Folder f(L"container-services");
    for (const wchar_t* name : {L"plug21.dll", L"plug22.dll", L"plug23.dll", L"plug23b.dll", L"plug24.dll",
                                L"PresenceTab.dll", L"ChatDesk.dll"}) {
        f.Plug(name);
    }
    f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\n21=plug21.dll\r\n22=plug22.dll\r\n23=plug23.dll\r\n24=NoPlug\r\n"
             "[PlugsModule]\r\n23=plug23b.dll\r\n");
    f.Write(L"behave.cfg", "[plug21.dll]\r\nQueryOnDestroy=9\r\n");
    f.Write(L"policies.cfg", "[Ledger]\r\nAccount=5\r\nCount=6\r\n[Policy0]\r\nId=21\r\n[Policy1]\r\nId=9\r\n"
                             "[Policy2]\r\nId=22\r\n[Policy3]\r\nId=23\r\nStatus=1\r\n[Policy4]\r\nId=24\r\n"
                             "[Policy5]\r\nId=25\r\n");
    Lines t = f.Run("load 7 query 21 query 23 query 24 query 25 query 9 query 0x7FFFFFFE loadplug 23 query 23 "
                    "unload");
    ExpectInOrder(t, {
        "RostLedger.dll GetPolicies account=5 array=0 count=0",
        "RostLedger.dll GetPolicies account=5 array=1 count=6",
        "plug21.dll Create parent=deck container=PlugHost.dll ctx=7 reserved=0",
        "TraceDeck.dll AddTab 21 tip= n=" + f.IconPath(21, "") + " h=" + f.IconPath(21, "") + " s=" +
            f.IconPath(21, "") + " d=" + f.IconPath(21, ""),
        "plug22.dll Create parent=deck container=PlugHost.dll ctx=7 reserved=0",
        "PresenceTab.dll Create parent=host container=PlugHost.dll ctx=7 reserved=0",
        "ChatDesk.dll Create parent=host container=PlugHost.dll ctx=7 reserved=0",
        "PlugDriver.exe query 21 -> 1 module=plug21.dll handle=set",
        "PlugDriver.exe query 23 -> 1 module=null handle=null",
        "PlugDriver.exe query 24 -> 0 module=untouched handle=untouched",
        "PlugDriver.exe query 25 -> 0 module=untouched handle=untouched",
        "PlugDriver.exe query 9 -> 1 module=ChatDesk.dll handle=set",
        "PlugDriver.exe query 2147483646 -> 1 module=PresenceTab.dll handle=set",
        // A service held back by its status loads from [PlugsModule] on request.
        "plug23b.dll Create parent=deck container=PlugHost.dll ctx=7 reserved=0",
        "PlugDriver.exe query 23 -> 1 module=plug23b.dll handle=set",
        "plug23b.dll Destroy -> 1",
        "plug21.dll Destroy -> 1",
        "plug21.dll QueryOnDestroy 9 -> 1 module=ChatDesk.dll",  // ChatDesk goes after the plug-ins
        "plug22.dll Destroy -> 1",
        "ChatDesk.dll Destroy -> 1",
        "PresenceTab.dll Destroy -> 1",
        "PlugDriver.exe unloaded",
    });
    EXPECT_EQ(1, CountWith(t, "AddTab 23 "));
    EXPECT_EQ(0, CountWith(t, "plug23.dll")) << "status 1 keeps the service plug-in from loading";
    EXPECT_EQ(0, CountWith(t, "AddTab 24 ") + CountWith(t, "AddTab 25 ") + CountWith(t, "AddTab 9 "));
    EXPECT_EQ(0, CountWith(t, "plug24.dll"));
}

TEST(Container, FailedStartsLeaveNothingBehindAndSingleFailuresAreSkipped) {
    {
        // No tab manager named: no container; a second start with the name works.
        Folder f(L"container-nodeck");
        f.Plug(L"plug8.dll");
        f.Config("[UI]\r\nTabDeck=\r\nTabPlugs=8\r\n[PlugsLoadStyle]\r\n8=immediately\r\n[PlugsModule]\r\n8=plug8.dll\r\n");
        Lines t = f.Run("load 1 query 0 loaded OrderHub.dll loaded CoreFront.dll "
                        "ini config\\pruv2.cfg UI TabDeck TraceDeck.dll load 1 query 0 query 8");
        ExpectInOrder(t, {
            "PlugDriver.exe query 0 -> 0 module=untouched handle=untouched",
            "PlugDriver.exe loaded OrderHub.dll=0",
            "PlugDriver.exe loaded CoreFront.dll=0",
            "TraceDeck.dll Create parent=host container=PlugHost.dll ctx=1",
            "plug8.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
            "PlugDriver.exe query 0 -> 1 module=TraceDeck.dll handle=set",
            "PlugDriver.exe query 8 -> 1 module=plug8.dll handle=set",
        });
        EXPECT_EQ(1, CountWith(t, "plug8.dll Create"));
    }
    {
        // The policy fetch fails after a plug-in exists: the plug-in is destroyed and freed,
        // the tab manager's window and library go, and the next start makes each once.
        Folder f(L"container-policyfail");
        f.Plug(L"plug8.dll");
        f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=8\r\n[PlugsLoadStyle]\r\n8=immediately\r\n"
                 "[PlugsModule]\r\n8=plug8.dll\r\n");
        f.Write(L"policies.cfg", "[Ledger]\r\nAccount=5\r\nCount=2\r\nFailFetch=1\r\n");
        Lines t = f.Run("load 1 query 8 query 0 loaded plug8.dll loaded CoreFront.dll loaded TraceDeck.dll windows deck "
                        "ini policies.cfg Ledger FailFetch 0 load 1 query 8 windows deck");
        ExpectInOrder(t, {
            "plug8.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
            "RostLedger.dll GetPolicies account=5 array=1 count=2",
            "plug8.dll Destroy -> 1",
            "plug8.dll Unloaded",
            "PlugDriver.exe query 8 -> 0 module=untouched handle=untouched",
            "PlugDriver.exe query 0 -> 0 module=untouched handle=untouched",
            "PlugDriver.exe loaded plug8.dll=0",
            "PlugDriver.exe loaded CoreFront.dll=0",
            "PlugDriver.exe loaded TraceDeck.dll=0",
            "PlugDriver.exe windows deck=0",
            "plug8.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
            "PlugDriver.exe query 8 -> 1 module=plug8.dll handle=set",
            "PlugDriver.exe windows deck=1",
        });
        EXPECT_EQ(2, CountWith(t, "plug8.dll Create"));
    }
    {
        // A missing tab-manager library: plug-ins go to the host window, no tabs. A missing
        // plug-in library, or one without TabPlug_Create, skips only that plug-in.
        Folder f(L"container-missing");
        f.Plug(L"plug8.dll");
        f.Copy(L"BarePlug.dll", L"bare.dll");
        f.Config("[UI]\r\nTabDeck=NoSuchDeck.dll\r\nTabPlugs=3,5,8\r\n"
                 "[PlugsLoadStyle]\r\n3=immediately\r\n5=immediately\r\n8=immediately\r\n"
                 "[PlugsModule]\r\n3=missing.dll\r\n5=bare.dll\r\n8=plug8.dll\r\n");
        Lines t = f.Run("load 1 query 0 query 3 query 5 query 8 loadplug 5 loadplug 6 unload loaded bare.dll");
        ExpectInOrder(t, {
            "plug8.dll Create parent=host container=PlugHost.dll ctx=1 reserved=0",
            "PlugDriver.exe query 0 -> 1 module=null handle=null",
            "PlugDriver.exe query 3 -> 1 module=null handle=null",
            "PlugDriver.exe query 5 -> 1 module=bare.dll handle=null",
            "PlugDriver.exe query 8 -> 1 module=plug8.dll handle=set",
            "PlugDriver.exe loadplug 5 -> 0",
            "PlugDriver.exe loadplug 6 -> 0",
            "plug8.dll Destroy -> 1",
            "PlugDriver.exe loaded bare.dll=0",
        });
        EXPECT_EQ(0, CountWith(t, "AddTab"));
    }
}

TEST(Container, OneLoadPerIdAndTheContainerGoesOnlyOnceALoadOnAnotherThreadIsDone) {
    Folder f(L"container-race");
    f.Plug(L"plug3.dll");
    f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=3\r\n[PlugsModule]\r\n3=plug3.dll\r\n");
    f.Write(L"behave.cfg", "[plug3.dll]\r\nCreateSleep=400\r\nSignalOnCreate=1\r\n");
    Lines t = f.Run("load 1 loadrace 3 query 3 unloadplug 3 unloadandfree 3 loaded plug3.dll loaded PlugHost.dll");
    ExpectInOrder(t, {
        // Two threads load at once: one load, both answered.
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe loadrace 3 -> 1 1",
        "PlugDriver.exe query 3 -> 1 module=plug3.dll handle=set",
        "plug3.dll Destroy -> 1",
        "PlugDriver.exe unloadplug 3 -> 1",
        // The container goes while a thread is inside the plug-in's create, and the host frees
        // PlugHost at once: the unload waited for the create, then destroyed what it made.
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "plug3.dll Destroy -> 1",
        "plug3.dll Unloaded",
        "PlugDriver.exe unloaded and freed while loading 3, entered=1",
        "PlugDriver.exe the load -> 1",
        "PlugDriver.exe loaded plug3.dll=0",
        "PlugDriver.exe loaded PlugHost.dll=0",
    });
    EXPECT_EQ(2, CountWith(t, "plug3.dll Create"));

    // A create that outlasts the unload's time limit (ten seconds): the unload returns
    // without it, and PlugHost stays in the process for the load to finish and undo.
    f.Write(L"behave.cfg", "[plug3.dll]\r\nCreateSleep=12000\r\nSignalOnCreate=1\r\n");
    t = f.Run("load 1 unloadandfree 3 loaded plug3.dll loaded PlugHost.dll");
    ExpectInOrder(t, {
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe unloaded and freed while loading 3, entered=1",
        "plug3.dll Destroy -> 1",
        "plug3.dll Unloaded",
        "PlugDriver.exe the load -> 0",
        "PlugDriver.exe loaded plug3.dll=0",
        "PlugDriver.exe loaded PlugHost.dll=1",
    });
}

// The window thread loads or unloads a plug-in that a worker is making, and the plug-in's
// create needs the window thread (its window sends to its parent): the window thread's
// call dispatches while it waits, so both answer. A plug-in made at start reaches the
// container from a worker of its own while its create runs.
TEST(Container, LoadsAndUnloadsOfOneIdOnTwoThreadsAnswerWhileTheWindowThreadWaits) {
    Folder f(L"container-bothways");
    f.Plug(L"plug3.dll");
    f.Plug(L"plug8.dll");
    f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=3,8\r\n[PlugsLoadStyle]\r\n8=immediately\r\n"
             "[PlugsModule]\r\n3=plug3.dll\r\n8=plug8.dll\r\n");
    f.Write(L"behave.cfg", "[plug3.dll]\r\nSignalOnCreate=1\r\nCreateNeedsParent=1\r\n"
                           "[plug8.dll]\r\nWorkerQueryOnCreate=8\r\n");
    Lines t = f.Run("load 1 loadbothways 3 query 3 unloadplug 3 unloadduringload 3 query 3 loadplug 3 unload");
    ExpectInOrder(t, {
        "plug8.dll WorkerQueryOnCreate 8 -> 1 module=plug8.dll",
        "PlugDriver.exe loaded",
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "plug3.dll Create answered by the parent's thread",
        "PlugDriver.exe loadbothways 3 -> entered=1 here=1 thread=1",
        "PlugDriver.exe query 3 -> 1 module=plug3.dll handle=set",
        "plug3.dll Destroy -> 1",
        "PlugDriver.exe unloadplug 3 -> 1",
        // The unload waits for the create, then destroys the plug-in it made.
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "plug3.dll Create answered by the parent's thread",
        "plug3.dll Destroy -> 1",
        "PlugDriver.exe unloadduringload 3 -> entered=1 here=1 thread=1",
        "PlugDriver.exe query 3 -> 1 module=null handle=null",
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe loadplug 3 -> 1",
        "PlugDriver.exe unloaded",
    });
    EXPECT_EQ(3, CountWith(t, "plug3.dll Create parent"));
}

// Calls through CommonKit's forwarders on a worker while the window thread unloads and
// loads the plug-in again: no call reaches a destroyed plug-in or one of an earlier load.
TEST(Container, ForwardedCallsKeepThePlugInUntilTheyReturn) {
    Folder f(L"container-forward");
    f.Plug(L"plug3.dll");
    f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=3\r\n[PlugsModule]\r\n3=plug3.dll\r\n");
    f.Write(L"behave.cfg", "[plug3.dll]\r\nSignalOnMove=1\r\nMoveSleep=300\r\nQuietCalls=1\r\n");
    Lines t = f.Run("load 1 loadplug 3 forwardmove 3 loadplug 3 forwardstorm 3 100 unload");
    ExpectInOrder(t, {
        "plug3.dll Move 1 2 3 4",
        "plug3.dll Move done",
        "plug3.dll Destroy -> 1",
        "PlugDriver.exe forwardmove 3 -> entered=1 unload=1 move=1",
        "PlugDriver.exe forwardstorm 3 -> 200 of 200 answered, calls=1",
        "PlugDriver.exe unloaded",
    });
    EXPECT_EQ(0, CountWith(t, "on a destroyed plug-in")) << Dump(t);
}

TEST(Container, UnloadingSinglePlugInsAndRefusedDestroys) {
    Folder f(L"container-unloadplug");
    f.Plug(L"plug3.dll");
    f.Plug(L"plug8.dll");
    f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=3\r\nSubPlugs=8\r\n[PlugsLoadStyle]\r\n8=immediately\r\n"
             "[PlugsModule]\r\n3=plug3.dll\r\n8=plug8.dll\r\n");
    f.Write(L"behave.cfg", "[plug8.dll]\r\nDestroyResult=0\r\n");
    Lines t = f.Run("unloadplug 3 load 1 unloadplug 77 unloadplug 3 unloadplug 8 query 8 loadplug 3 unloadplug 3 "
                    "loaded plug3.dll loadplug 3 unload loaded plug8.dll");
    ExpectInOrder(t, {
        "PlugDriver.exe unloadplug 3 -> 0",  // no container yet
        "plug8.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe unloadplug 77 -> 0",
        "PlugDriver.exe unloadplug 3 -> 1",  // never loaded
        "plug8.dll Destroy -> 0",
        "PlugDriver.exe unloadplug 8 -> 0",
        "PlugDriver.exe query 8 -> 1 module=plug8.dll handle=set",
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "plug3.dll Destroy -> 1",
        "plug3.dll Unloaded",
        "PlugDriver.exe unloadplug 3 -> 1",
        "PlugDriver.exe loaded plug3.dll=0",
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe loadplug 3 -> 1",
        // Reloaded last, so destroyed first; the refusing plug-in keeps its library.
        "plug3.dll Destroy -> 1",
        "plug8.dll Destroy -> 0",
        "PlugDriver.exe unloaded",
        "PlugDriver.exe loaded plug8.dll=1",
    });
    EXPECT_EQ(0, CountWith(t, "AddTab 8 ")) << "SubPlugs get no tab";
}

TEST(Container, PlugInsQueryDuringStartAndCommandsArrive) {
    Folder f(L"container-commands");
    f.Plug(L"plug3.dll");
    f.Plug(L"plug8.dll");
    f.Copy(L"FakeDialogs.dll", L"RostDialogs.dll");
    f.Config("[UI]\r\nTabDeck=TraceDeck.dll\r\nTabPlugs=3,8\r\n[PlugsLoadStyle]\r\n8=immediately\r\n"
             "[PlugsModule]\r\n3=plug3.dll\r\n8=plug8.dll\r\n");
    // Plug-ins that ask for a neighbour from a worker thread while they are destroyed.
    f.Write(L"behave.cfg", "[plug8.dll]\r\nQueryOnCreate=8\r\nQueryOnDestroy=3\r\n[plug3.dll]\r\nQueryOnDestroy=8\r\n");
    Lines t = f.Run("load 1 action 8 5 action 0 4 action 3 1 prepare 3 action 3 1 "
                    "dialogs loaded RostDialogs.dll pump loaded RostDialogs.dll unload");
    // The pointer parameter arrives as the driver sent it.
    std::vector<std::string> sent;
    for (const auto& line : t) {
        if (line.rfind("PlugDriver.exe action ", 0) == 0) sent.push_back(line.substr(line.find("param=")));
    }
    ASSERT_EQ(4u, sent.size()) << Dump(t);
    ExpectInOrder(t, {
        // The plug-in's own record exists while the start creates it.
        "plug8.dll QueryOnCreate 8 -> 1 module=plug8.dll",
        "plug8.dll DoCommand 5 " + sent[0],
        "TraceDeck.dll DoCommand 4 " + sent[1],
        "plug3.dll Create parent=deck container=PlugHost.dll ctx=1 reserved=0",
        "plug3.dll DoCommand 1 " + sent[3],
        // The contact dialogs report idle from inside their own call: they keep running,
        // and are freed only once the caller's message loop runs again.
        "RostDialogs.dll SetFacadeModule CoreFront.dll",
        "RostDialogs.dll Run after release 1",
        "PlugDriver.exe dialogs run=7",
        "PlugDriver.exe loaded RostDialogs.dll=1",
        "RostDialogs.dll Unloaded",
        "PlugDriver.exe loaded RostDialogs.dll=0",
        // The container's lock is free while a plug-in goes; the ones not yet destroyed
        // are still found, the ones already gone are not.
        "plug3.dll Destroy -> 1",
        "plug3.dll QueryOnDestroy 8 -> 1 module=plug8.dll",
        "plug8.dll Destroy -> 1",
        "plug8.dll QueryOnDestroy 3 -> 0 module=null",
        "PlugDriver.exe unloaded",
    });
    EXPECT_EQ(1, CountWith(t, "plug3.dll DoCommand")) << "an action to an unloaded plug-in goes nowhere";
}

TEST(Container, TabManagerShowsTheFirstTabAndSwitchesSkins) {
    Folder f(L"container-tabdeck");
    f.Copy(L"TabDeck.dll", L"TabDeck.dll");
    f.Plug(L"plug3.dll");
    f.Plug(L"plug8.dll");
    f.Config("[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=3,8\r\n[PlugsLoadStyle]\r\n8=immediately\r\n"
             "[PlugsModule]\r\n3=plug3.dll\r\n8=plug8.dll\r\n");
    f.Resources(3, "[TabPlugRes]\r\ntooltip=Three\r\nIconNormal=n.bmp\r\nIconSelect=s.bmp\r\n");
    f.Write(L"Container\\3\\n.bmp", SolidBitmap(16, 16, RGB(255, 0, 0)));
    f.Write(L"Container\\3\\s.bmp", SolidBitmap(40, 40, RGB(0, 0, 255)));
    CreateDirectoryW((f.Path() + L"resource").c_str(), nullptr);
    CreateDirectoryW((f.Path() + L"resource\\TabDeck").c_str(), nullptr);
    CreateDirectoryW((f.Path() + L"resource\\TabDeck\\local").c_str(), nullptr);
    f.Write(L"resource\\TabDeck\\local\\bg.bmp", SolidBitmap(8, 8, RGB(0, 128, 0)));
    f.Write(L"outside.bmp", SolidBitmap(8, 8, RGB(0, 128, 0)));
    // Background pictures by name: names that leave "resource\TabDeck\local" are refused.
    Lines t = f.Run("load 1 query 0 pump send 0 4 2 send 0 4 99 sendtext 0 7 ..\\..\\..\\outside.bmp "
                    "sendtext 0 7 missing.bmp sendtext 0 7 bg.bmp unload");
    ExpectInOrder(t, {
        "plug8.dll Create parent=unnamed container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe loaded",
        "PlugDriver.exe query 0 -> 1 module=TabDeck.dll handle=set",
        // Chosen once the start is over: the delayed plug-in is loaded then, not during it.
        "plug3.dll Create parent=unnamed container=PlugHost.dll ctx=1 reserved=0",
        "plug3.dll Show 1",
        "plug3.dll SwitchSkin",
        "plug8.dll SwitchSkin",
        "plug3.dll Destroy -> 1",
    });
    EXPECT_EQ(1, CountWith(t, "plug3.dll Move 0 0 "));
    EXPECT_EQ(2, CountWith(t, "plug3.dll SwitchSkin"))
        << "built-in 2 and bg.bmp switch skins; index 99, a missing picture and a path out of the folder do not";
    // The tab manager's own id listed as a tab: a skin switch reaches the plug-ins once
    // and never the tab manager through itself.
    f.Config("[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=0,3\r\n[PlugsLoadStyle]\r\n3=immediately\r\n"
             "[PlugsModule]\r\n3=plug3.dll\r\n");
    t = f.Run("load 1 pump send 0 4 1 unload");
    ExpectInOrder(t, {"plug3.dll Create parent=unnamed container=PlugHost.dll ctx=1 reserved=0", "plug3.dll SwitchSkin",
                      "plug3.dll Destroy -> 1", "PlugDriver.exe unloaded"});
    EXPECT_EQ(1, CountWith(t, "plug3.dll SwitchSkin"));
}

TEST(Container, SampleConfigurationShowsThreeTabsWithIcons) {
    Folder f(L"container-sample");
    f.Copy(L"TabDeck.dll", L"TabDeck.dll");
    // The sample tabs of the recording plug-in, without the contact list that the staged
    // sample shows first.
    f.Config("[UI]\r\nTabDeck=TabDeck.dll\r\nTabPlugs=-10,-8,-13\r\nSubPlugs=\r\n[PlugsLoadStyle]\r\n-10=immediately\r\n"
             "[PlugsModule]\r\n-10=plug-10.dll\r\n-8=plug-8.dll\r\n-13=plug-13.dll\r\n");
    for (const wchar_t* id : {L"-10", L"-8", L"-13"}) {
        std::wstring plug = std::wstring(L"plug") + id + L".dll";
        f.Copy(plug.c_str(), plug.c_str());
        f.Resources(_wtoi(id), "");
        for (const wchar_t* file : {L"plugres.cfg", L"normal.bmp", L"hover.bmp", L"select.bmp", L"disable.bmp"}) {
            std::wstring rel = std::wstring(L"Container\\") + id + L"\\" + file;
            f.Copy(rel.c_str(), rel.c_str());
        }
    }
    Lines t = f.Run("load 1 show shot tabs.bmp unload");
    ExpectInOrder(t, {
        "plug-10.dll Create parent=unnamed container=PlugHost.dll ctx=1 reserved=0",
        "PlugDriver.exe loaded",
        "plug-10.dll Show 1",
        "PlugDriver.exe shot 1",
        "plug-10.dll Destroy -> 1",
    });
    std::string file = f.Read(L"tabs.bmp");
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    testkit::WriteFileBytes(testkit::ProgramDir() + L"screenshots\\tab-window.bmp", file);
    testkit::Capture shot;
    ASSERT_TRUE(testkit::ReadBitmapFile(file, &shot));
    // The chosen first tab shows its select icon, the others their normal icons.
    EXPECT_TRUE(shot.Holds(RGB(52, 120, 200))) << "home tab, select icon";
    EXPECT_TRUE(shot.Holds(RGB(60, 160, 90))) << "information tab, normal icon";
    EXPECT_TRUE(shot.Holds(RGB(200, 120, 40))) << "settings tab, normal icon";
}

}  // namespace
