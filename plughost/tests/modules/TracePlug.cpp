// A tab plug-in that records every call. Copies named per plug id ("plug8.dll") tell
// the calls of different plug-ins apart.
#include <windows.h>

#include <set>

#define TABPLUG_DECLARE_EXPORTS
#include "TabPlug.h"
#include "Trace.h"
#include "ContactRecords.h"
#include "outside/RostLedger.h"

using plugtest::Trace;

namespace {

HMODULE g_self = nullptr;

struct Plug {
    HWND wnd = nullptr;
    HMODULE container = nullptr;
    HostContext book = 0;
};

struct QueryJob {
    HMODULE container;
    PlugId id;
    int result;
    HMODULE module;
};

DWORD WINAPI QueryThread(LPVOID param) {
    QueryJob* job = static_cast<QueryJob*>(param);
    auto query = reinterpret_cast<PFN_Container_QueryModule>(
        reinterpret_cast<void*>(GetProcAddress(job->container, CONTAINER_QUERYMODULE_NAME)));
    job->result = query ? query(job->id, &job->module, nullptr) : -1;
    return 0;
}

// Asks the container from a worker thread and waits for the answer without pumping
// messages, as a plug-in that stops or starts its workers does.
void QueryFromWorker(const char* when, HMODULE container, PlugId id) {
    QueryJob* job = new QueryJob{container, id, -1, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, QueryThread, job, 0, nullptr);
    if (!thread) {
        delete job;
        return;
    }
    if (WaitForSingleObject(thread, 5000) != WAIT_OBJECT_0) {
        Trace(g_self, "%s %d blocked", when, id);
        return;  // the thread still holds the job
    }
    CloseHandle(thread);
    Trace(g_self, "%s %d -> %d module=%s", when, id, job->result, plugtest::ModuleName(job->module).c_str());
    delete job;
}

// The plug-ins made and not yet destroyed, so that a call with any other handle (one
// destroyed, or one of an earlier load of this library) is seen and written down.
SRWLOCK g_liveLock = SRWLOCK_INIT;
std::set<Plug*> g_live;

bool Alive(TabPlugHandle h, const char* call) {
    AcquireSRWLockShared(&g_liveLock);
    bool live = g_live.count(static_cast<Plug*>(h)) != 0;
    ReleaseSRWLockShared(&g_liveLock);
    if (!live) Trace(g_self, "%s on a destroyed plug-in", call);
    return live;
}

void SetAlive(Plug* plug, bool live) {
    AcquireSRWLockExclusive(&g_liveLock);
    if (live) {
        g_live.insert(plug);
    } else {
        g_live.erase(plug);
    }
    ReleaseSRWLockExclusive(&g_liveLock);
}

// Calls made over and over by a test are not written down one by one.
bool Quiet() { return plugtest::Behaviour(g_self, "QuietCalls", 0) != 0; }

Plug* AsPlug(TabPlugHandle h) { return static_cast<Plug*>(h); }

WNDPROC g_staticProc = nullptr;

// Records what other modules send to the plug-in's window: private messages with their
// parameters (the pane-closed notice 3024 among them) and commands (1827 from the
// self-service pane).
LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= WM_USER && msg < 0xC000) {
        Trace(g_self, "Message %u w=%lld l=%lld", msg, static_cast<long long>(wp), static_cast<long long>(lp));
    } else if (msg == WM_COMMAND) {
        Trace(g_self, "Command %u code=%u", LOWORD(wp), HIWORD(wp));
    }
    return CallWindowProcA(g_staticProc, wnd, msg, wp, lp);
}

}  // namespace

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    // Even the trace below needs the parent's thread: it reads the parent's title.
    if (plugtest::Behaviour(g_self, "SignalOnCreate", 0)) plugtest::SignalInside();
    Trace(g_self, "Create parent=%s container=%s ctx=%llu reserved=%lld", plugtest::WindowName(parent).c_str(),
          plugtest::ModuleName(container).c_str(), static_cast<unsigned long long>(context),
          static_cast<long long>(reserved));
    if (int ms = plugtest::Behaviour(g_self, "CreateSleep", 0)) Sleep(static_cast<DWORD>(ms));
    // A plug-in whose window needs its parent's thread while it is made.
    if (plugtest::Behaviour(g_self, "CreateNeedsParent", 0)) {
        SendMessageW(parent, WM_NULL, 0, 0);
        Trace(g_self, "Create answered by the parent's thread");
    }
    if (int id = plugtest::Behaviour(g_self, "WorkerQueryOnCreate", 0)) QueryFromWorker("WorkerQueryOnCreate", container, id);
    int queryId = plugtest::Behaviour(g_self, "QueryOnCreate", 0);
    if (queryId) {
        auto query = reinterpret_cast<PFN_Container_QueryModule>(
            reinterpret_cast<void*>(GetProcAddress(container, CONTAINER_QUERYMODULE_NAME)));
        HMODULE module = nullptr;
        TabPlugHandle handle = nullptr;
        int r = query ? query(queryId, &module, &handle) : -1;
        Trace(g_self, "QueryOnCreate %d -> %d module=%s", queryId, r, plugtest::ModuleName(module).c_str());
    }
    if (plugtest::Behaviour(g_self, "CreateNull", 0)) return nullptr;
    Plug* plug = new Plug;
    plug->container = container;
    plug->book = context;
    std::string name = plugtest::ModuleName(g_self);
    plug->wnd = CreateWindowExA(0, "STATIC", name.c_str(), WS_CHILD | WS_BORDER | SS_CENTER, 0, 0, 10, 10, parent,
                                nullptr, g_self, nullptr);
    if (plug->wnd) {
        WNDPROC old = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(plug->wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));
        if (!g_staticProc) g_staticProc = old;
    }
    SetAlive(plug, true);
    return plug;
}

int WINAPI TabPlug_Destroy(TabPlugHandle h) {
    int result = plugtest::Behaviour(g_self, "DestroyResult", 1);
    Trace(g_self, "Destroy -> %d", result);
    if (!h || !result || !Alive(h, "Destroy")) return 0;
    Plug* plug = AsPlug(h);
    if (int queryId = plugtest::Behaviour(g_self, "QueryOnDestroy", 0)) {
        QueryFromWorker("QueryOnDestroy", plug->container, queryId);
    }
    SetAlive(plug, false);
    if (plug->wnd) DestroyWindow(plug->wnd);
    delete plug;
    return 1;
}

int WINAPI TabPlug_Move(TabPlugHandle h, int left, int top, int right, int bottom) {
    Trace(g_self, "Move %d %d %d %d", left, top, right, bottom);
    if (!h) return 0;
    // A move that takes a while, for a test to act while it runs.
    if (plugtest::Behaviour(g_self, "SignalOnMove", 0)) plugtest::SignalInside();
    if (int ms = plugtest::Behaviour(g_self, "MoveSleep", 0)) {
        Sleep(static_cast<DWORD>(ms));
        Trace(g_self, "Move done");
    }
    if (!Alive(h, "Move")) return 0;
    return MoveWindow(AsPlug(h)->wnd, left, top, right - left, bottom - top, TRUE) ? 1 : 0;
}

int WINAPI TabPlug_Show(TabPlugHandle h, int show) {
    if (!Quiet()) Trace(g_self, "Show %d", show);
    if (!h || !Alive(h, "Show")) return 0;
    ShowWindow(AsPlug(h)->wnd, show ? SW_SHOW : SW_HIDE);
    return 1;
}

}  // extern "C"

namespace {

std::string Field(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }

// The friend a FriendHandle names, read through RostLedger now: "id nickname" or "gone".
std::string FriendNamed(HostContext book, FriendHandle entry) {
    HMODULE ledger = LoadLibraryA((plugtest::ProgramFolderA() + "RostLedger.dll").c_str());
    auto get = ledger ? reinterpret_cast<PFN_RostLedger_GetFriendInfoA>(
                            reinterpret_cast<void*>(GetProcAddress(ledger, "RostLedger_GetFriendInfoA")))
                      : nullptr;
    FriendInfoA info = {};
    bool found = get && get(book, entry, &info);
    if (ledger) FreeLibrary(ledger);
    if (!found) return "gone";
    return Field(info.id, sizeof info.id) + " " + Field(info.nickname, sizeof info.nickname);
}

// What a command's parameter points to, as behave.cfg's "Param<command>" says: 1 a
// FriendHandle, 2 a FriendInfoA, 3 a FriendHandle and GroupHandle pair, 4 a UTF-16 text.
std::string DescribeParameter(Plug* plug, int command, INT_PTR parameter) {
    std::string key = "Param" + std::to_string(command);
    int kind = plugtest::Behaviour(g_self, key.c_str(), 0);
    if (!kind || !parameter) return std::string();
    switch (kind) {
    case 1:
        return " friend=" + FriendNamed(plug ? plug->book : 0, reinterpret_cast<FriendHandle>(parameter));
    case 2: {
        const auto* info = reinterpret_cast<const FriendInfoA*>(parameter);
        return " info=" + Field(info->id, sizeof info->id) + " " + Field(info->nickname, sizeof info->nickname) +
               " sex=" + std::to_string(info->sex) + " status=" + std::to_string(info->status.status);
    }
    case 3: {
        const auto* pair = reinterpret_cast<const UINT_PTR*>(parameter);
        return " pair=" + FriendNamed(plug ? plug->book : 0, reinterpret_cast<FriendHandle>(pair[0])) +
               (pair[1] ? " group" : " nogroup");
    }
    case 4: {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(parameter);
        int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
        if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], bytes, nullptr, nullptr);
        return " text=" + utf8;
    }
    }
    return std::string();
}

}  // namespace

extern "C" {

void WINAPI TabPlug_DoCommand(TabPlugHandle h, int command, INT_PTR parameter) {
    std::string described = DescribeParameter(AsPlug(h), command, parameter);
    Trace(g_self, "DoCommand %d param=%p%s", command, reinterpret_cast<void*>(parameter), described.c_str());
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle h) {
    if (!Quiet()) Trace(g_self, "GetSafeHwnd");
    return h && Alive(h, "GetSafeHwnd") ? AsPlug(h)->wnd : nullptr;
}

int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) {
    Trace(g_self, "AddChildTabA");
    return 1;
}

int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) {
    Trace(g_self, "AddChildTabW");
    return 1;
}

int WINAPI TabPlug_DelChildTab(TabPlugHandle, INT_PTR child) {
    Trace(g_self, "DelChildTab %lld", static_cast<long long>(child));
    return 1;
}

int WINAPI TabPlug_ChangeParent(TabPlugHandle h, HWND parent) {
    Trace(g_self, "ChangeParent %s", plugtest::WindowName(parent).c_str());
    if (!h) return 0;
    SetParent(AsPlug(h)->wnd, parent);
    return 1;
}

int WINAPI SwitchSkin(TabPlugHandle h) {
    Trace(g_self, "SwitchSkin");
    return h ? 1 : 0;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    if (reason == DLL_PROCESS_DETACH) Trace(g_self, "Unloaded");
    return TRUE;
}
