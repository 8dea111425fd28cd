// Runs the container in its own program folder: each argument group is one step, and
// every answer goes to the shared call trace beside the plug-ins' own lines.
//   load <ctx> | unload | query <id> | loadplug <id> | unloadplug <id>
//   action <id> <cmd> | send <id> <cmd> <value> | sendtext <id> <cmd> <text> | sendwide <id> <cmd> <text>
//   prepare <id> | loaded <file> | dialogs | pump
//   ini <file> <section> <key> <value>   (file relative to the program folder)
//   show | shot <file>                   (the host window on screen, saved as a bitmap)
//   signin | signoff                     (ClientCore of the folder: connect and log in / log off)
//   post <id> <msg> <w> <l>              (posts to the plug-in's window) | style <n> (TabDeck_ChangeStyle)
//   loadrace <id>                        (two threads load the plug-in at once)
//   loadbothways <id> | unloadduringload <id>
//                                        (a thread loads the plug-in; once its create runs, this
//                                         thread, not dispatching, loads or unloads it too)
//   unloadandfree <id>                   (the container goes while a thread loads the plug-in,
//                                         and PlugHost.dll is freed at once; the last step)
//   forwardmove <id>                     (a thread moves the plug-in through CommonKit; once the
//                                         move runs, this thread unloads it)
//   forwardstorm <id> <rounds>           (a thread calls the plug-in through CommonKit over and
//                                         over while this one unloads and loads it again)
//   windows <title>                      (how many windows of that title the host window holds)
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "Handles.h"
#include "PumpingJoin.h"
#include "Screenshot.h"
#include "TabPlug.h"
#include "Text.h"
#include "Trace.h"
#include "outside/CoreFront.h"
#include "outside/OrderHub.h"

using plugtest::Trace;
using testkit::PumpFor;

namespace {

HMODULE g_container = nullptr;
HWND g_host = nullptr;

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

PlugId Id(const char* text) { return static_cast<PlugId>(strtoll(text, nullptr, 0)); }

DWORD WINAPI LoadThread(void* param) {
    auto load = Proc<PFN_Container_LoadPlug>(g_container, CONTAINER_LOADPLUG_NAME);
    return static_cast<DWORD>(load(static_cast<PlugId>(reinterpret_cast<INT_PTR>(param))));
}

// Container_LoadPlug on a thread of its own; the thread's answer is the load's.
HANDLE LoadOnThread(PlugId id) {
    return CreateThread(nullptr, 0, LoadThread, reinterpret_cast<void*>(static_cast<INT_PTR>(id)), 0, nullptr);
}

DWORD JoinLoad(HANDLE thread) {
    vantor::JoinPumping(thread);
    DWORD answer = 0;
    GetExitCodeThread(thread, &answer);
    CloseHandle(thread);
    return answer;
}

// Waits, without dispatching this thread's messages, until a plug-in's call signals that
// it runs: whatever it needs of this thread now waits too.
bool InsideNow(HANDLE inside) { return WaitForSingleObject(inside, 10000) == WAIT_OBJECT_0; }

HMODULE g_kit = nullptr;

template <typename Fn>
Fn Forwarder(const char* name) {
    if (!g_kit) g_kit = LoadLibraryA((plugtest::ProgramFolderA() + "CommonKit.dll").c_str());
    return Proc<Fn>(g_kit, name);
}

typedef int(WINAPI* MoveFn)(HMODULE, PlugId, int, int, int, int);
typedef int(WINAPI* ShowFn)(HMODULE, PlugId, int);
typedef HWND(WINAPI* WindowFn)(HMODULE, PlugId);

struct MoveJob {
    PlugId id;
    MoveFn move;
};

DWORD WINAPI MoveThread(void* param) {
    auto* job = static_cast<MoveJob*>(param);
    return static_cast<DWORD>(job->move(g_container, job->id, 1, 2, 3, 4));
}

struct StormJob {
    PlugId id;
    ShowFn show;
    WindowFn window;
    std::atomic<bool> stop{false};
    long calls = 0;
};

DWORD WINAPI StormThread(void* param) {
    auto* job = static_cast<StormJob*>(param);
    while (!job->stop) {
        job->window(g_container, job->id);
        job->show(g_container, job->id, 1);
        ++job->calls;
    }
    return 0;
}

BOOL CALLBACK CountTitled(HWND wnd, LPARAM param) {
    auto* want = reinterpret_cast<std::pair<const char*, int>*>(param);
    char title[64] = {};
    GetWindowTextA(wnd, title, sizeof title);
    if (strcmp(title, want->first) == 0) ++want->second;
    return TRUE;
}

// The record an action points to; its address must arrive unchanged.
struct ActionRecord {
    char text[32];
};

}  // namespace

int main(int argc, char** argv) {
    HMODULE self = GetModuleHandleW(nullptr);
    g_host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480, nullptr, nullptr, self, nullptr);
    std::string folder = plugtest::ProgramFolderA();
    g_container = LoadLibraryA((folder + "PlugHost.dll").c_str());
    for (int i = 1; i < argc; ++i) {
        std::string step = argv[i];
        const char* arg = i + 1 < argc ? argv[i + 1] : "0";
        if (step == "load") {
            ++i;
            auto load = Proc<PFN_Container_Load>(g_container, CONTAINER_LOAD_NAME);
            Trace(self, "load");
            load(static_cast<HostContext>(strtoull(arg, nullptr, 0)), g_host);
            Trace(self, "loaded");
        } else if (step == "unload") {
            Proc<PFN_Container_Unload>(g_container, CONTAINER_UNLOAD_NAME)();
            Trace(self, "unloaded");
        } else if (step == "query") {
            ++i;
            HMODULE module = reinterpret_cast<HMODULE>(1);
            TabPlugHandle plug = reinterpret_cast<TabPlugHandle>(1);
            int r = Proc<PFN_Container_QueryModule>(g_container, CONTAINER_QUERYMODULE_NAME)(Id(arg), &module, &plug);
            Trace(self, "query %d -> %d module=%s handle=%s", Id(arg), r,
                  module == reinterpret_cast<HMODULE>(1) ? "untouched" : plugtest::ModuleName(module).c_str(),
                  plug == reinterpret_cast<TabPlugHandle>(1) ? "untouched" : plug ? "set" : "null");
        } else if (step == "loadplug") {
            ++i;
            int r = Proc<PFN_Container_LoadPlug>(g_container, CONTAINER_LOADPLUG_NAME)(Id(arg));
            Trace(self, "loadplug %d -> %d", Id(arg), r);
        } else if (step == "unloadplug") {
            ++i;
            int r = Proc<PFN_Container_UnloadPlug>(g_container, CONTAINER_UNLOADPLUG_NAME)(Id(arg));
            Trace(self, "unloadplug %d -> %d", Id(arg), r);
        } else if (step == "action") {
            int command = i + 2 < argc ? atoi(argv[i + 2]) : 0;
            i += 2;
            static ActionRecord record = {"payload"};  // in the image: above 4 GB on x86_64
            auto action = Proc<PFN_OrderHub_Action>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Action");
            Trace(self, "action %d %d param=%p", Id(arg), command, static_cast<void*>(&record));
            if (action) action(Id(arg), command, reinterpret_cast<INT_PTR>(&record));
        } else if (step == "send" && i + 3 < argc) {
            auto action = Proc<PFN_OrderHub_Action>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Action");
            if (action) action(Id(argv[i + 1]), atoi(argv[i + 2]), static_cast<INT_PTR>(strtoll(argv[i + 3], nullptr, 0)));
            i += 3;
        } else if (step == "sendtext" && i + 3 < argc) {
            auto action = Proc<PFN_OrderHub_Action>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Action");
            if (action) action(Id(argv[i + 1]), atoi(argv[i + 2]), reinterpret_cast<INT_PTR>(argv[i + 3]));
            i += 3;
        } else if (step == "sendwide" && i + 3 < argc) {
            auto action = Proc<PFN_OrderHub_Action>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Action");
            std::wstring text = vantor::AnsiToWide(argv[i + 3]);
            if (action) action(Id(argv[i + 1]), atoi(argv[i + 2]), reinterpret_cast<INT_PTR>(text.c_str()));
            i += 3;
        } else if (step == "prepare") {
            ++i;
            auto prepare = Proc<PFN_OrderHub_Command>(GetModuleHandleW(L"OrderHub.dll"), "OrderHub_Command");
            if (prepare) prepare(ORDERHUB_PREPARE_TARGET, Id(arg));
        } else if (step == "loaded") {
            ++i;
            Trace(self, "loaded %s=%d", arg, GetModuleHandleA(arg) ? 1 : 0);
        } else if (step == "dialogs") {
            auto get = Proc<PFN_RostDialogs_GetProcAddress>(GetModuleHandleW(L"CoreFront.dll"),
                                                            "RostDialogs_GetProcAddress");
            typedef int(WINAPI * RunFn)(void);
            RunFn run = get ? reinterpret_cast<RunFn>(reinterpret_cast<void*>(get("RostDialogs_Run"))) : nullptr;
            Trace(self, "dialogs run=%d", run ? run() : -1);
        } else if (step == "ini" && i + 4 < argc) {
            WritePrivateProfileStringA(argv[i + 2], argv[i + 3], argv[i + 4], (folder + argv[i + 1]).c_str());
            i += 4;
        } else if (step == "show") {
            SetWindowPos(g_host, HWND_TOPMOST, 0, 0, 640, 480, SWP_SHOWWINDOW);
            PumpFor(300);
        } else if (step == "shot") {
            ++i;
            // The pointer stays wherever an earlier test left it; over a tab it would show
            // that tab's hover icon instead of its normal one.
            SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
            RedrawWindow(g_host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            PumpFor(300);
            bool saved = testkit::SaveBitmapFile(testkit::CaptureWindow(g_host), vantor::AnsiToWide(folder + arg));
            Trace(self, "shot %d", saved ? 1 : 0);
        } else if (step == "signin") {
            HMODULE core = LoadLibraryA((folder + "ClientCore.dll").c_str());
            auto alive = Proc<int(WINAPI*)(int*)>(core, "Cco_IsAlive");
            auto login = Proc<int(WINAPI*)(UINT_PTR, UINT_PTR, UINT_PTR, void*, void*)>(core, "Cco_LoginA");
            int connected = 0;
            int a = alive ? alive(&connected) : -1;
            int l = login ? login(0, 0, 0, nullptr, nullptr) : -1;
            Trace(self, "signin alive=%d login=%d", a, l);
        } else if (step == "signoff") {
            auto logoff = Proc<int(WINAPI*)()>(GetModuleHandleA("ClientCore.dll"), "Cco_Logoff");
            Trace(self, "signoff %d", logoff ? logoff() : -1);
        } else if (step == "post" && i + 4 < argc) {
            HMODULE module = nullptr;
            TabPlugHandle plug = nullptr;
            auto query = Proc<PFN_Container_QueryModule>(g_container, CONTAINER_QUERYMODULE_NAME);
            auto hwnd = Proc<HWND(WINAPI*)(TabPlugHandle)>(
                query && query(Id(argv[i + 1]), &module, &plug) ? module : nullptr, "TabPlug_GetSafeHwnd");
            HWND target = hwnd ? hwnd(plug) : nullptr;
            BOOL posted = target && PostMessageA(target, static_cast<UINT>(atoi(argv[i + 2])),
                                                 static_cast<WPARAM>(strtoll(argv[i + 3], nullptr, 0)),
                                                 static_cast<LPARAM>(strtoll(argv[i + 4], nullptr, 0)));
            Trace(self, "post %s %s -> %d", argv[i + 1], argv[i + 2], posted ? 1 : 0);
            PumpFor(100);
            i += 4;
        } else if (step == "style") {
            ++i;
            HMODULE module = nullptr;
            TabPlugHandle deck = nullptr;
            auto query = Proc<PFN_Container_QueryModule>(g_container, CONTAINER_QUERYMODULE_NAME);
            auto change = Proc<int(WINAPI*)(TabPlugHandle, int)>(query && query(0, &module, &deck) ? module : nullptr,
                                                                "TabDeck_ChangeStyle");
            Trace(self, "style %s -> %d", arg, change ? change(deck, atoi(arg)) : -1);
        } else if (step == "loadrace") {
            ++i;
            HANDLE first = LoadOnThread(Id(arg));
            HANDLE second = LoadOnThread(Id(arg));
            DWORD a = JoinLoad(first);
            DWORD b = JoinLoad(second);
            Trace(self, "loadrace %d -> %lu %lu", Id(arg), a, b);
        } else if (step == "loadbothways" || step == "unloadduringload") {
            ++i;
            vantor::UniqueHandle inside(plugtest::InsideEvent());
            HANDLE loading = LoadOnThread(Id(arg));
            bool entered = InsideNow(inside.get());
            int mine = step == "loadbothways"
                           ? Proc<PFN_Container_LoadPlug>(g_container, CONTAINER_LOADPLUG_NAME)(Id(arg))
                           : Proc<PFN_Container_UnloadPlug>(g_container, CONTAINER_UNLOADPLUG_NAME)(Id(arg));
            DWORD theirs = JoinLoad(loading);
            Trace(self, "%s %d -> entered=%d here=%d thread=%lu", step.c_str(), Id(arg), entered ? 1 : 0, mine, theirs);
        } else if (step == "unloadandfree") {
            ++i;
            vantor::UniqueHandle inside(plugtest::InsideEvent());
            HANDLE loading = LoadOnThread(Id(arg));
            bool entered = InsideNow(inside.get());
            Proc<PFN_Container_Unload>(g_container, CONTAINER_UNLOAD_NAME)();
            FreeLibrary(g_container);
            g_container = nullptr;
            Trace(self, "unloaded and freed while loading %d, entered=%d", Id(arg), entered ? 1 : 0);
            Trace(self, "the load -> %lu", JoinLoad(loading));
        } else if (step == "forwardmove") {
            ++i;
            vantor::UniqueHandle inside(plugtest::InsideEvent());
            MoveJob job{Id(arg), Forwarder<MoveFn>("_TabPlug_Move")};
            HANDLE moving = CreateThread(nullptr, 0, MoveThread, &job, 0, nullptr);
            bool entered = InsideNow(inside.get());
            int unloaded = Proc<PFN_Container_UnloadPlug>(g_container, CONTAINER_UNLOADPLUG_NAME)(Id(arg));
            Trace(self, "forwardmove %d -> entered=%d unload=%d move=%lu", Id(arg), entered ? 1 : 0, unloaded,
                  JoinLoad(moving));
        } else if (step == "forwardstorm" && i + 2 < argc) {
            StormJob job;
            job.id = Id(argv[i + 1]);
            job.show = Forwarder<ShowFn>("_TabPlug_Show");
            job.window = Forwarder<WindowFn>("_TabPlug_GetSafeHwnd");
            int rounds = atoi(argv[i + 2]);
            HANDLE storm = CreateThread(nullptr, 0, StormThread, &job, 0, nullptr);
            int answers = 0;
            for (int round = 0; round < rounds; ++round) {
                answers += Proc<PFN_Container_UnloadPlug>(g_container, CONTAINER_UNLOADPLUG_NAME)(job.id);
                answers += Proc<PFN_Container_LoadPlug>(g_container, CONTAINER_LOADPLUG_NAME)(job.id);
            }
            job.stop = true;
            JoinLoad(storm);
            Trace(self, "forwardstorm %d -> %d of %d answered, calls=%d", job.id, answers, 2 * rounds,
                  job.calls > 0 ? 1 : 0);
            i += 2;
        } else if (step == "windows") {
            ++i;
            std::pair<const char*, int> want(arg, 0);
            EnumChildWindows(g_host, CountTitled, reinterpret_cast<LPARAM>(&want));
            Trace(self, "windows %s=%d", arg, want.second);
        } else if (step == "pump") {
            PumpFor(200);
        }
    }
    PumpFor(50);
    Trace(self, "exit");
    return 0;
}
