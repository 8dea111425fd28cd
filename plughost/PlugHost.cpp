// PlugHost: fills the host's main window with tab plug-ins.
//
// One container per process. One lock guards the plug list, every record's state and the
// container pointer, and it is never held while the container calls out (a plug-in, the
// tab manager, the loader): a plug-in may reach the container from any thread while it is
// made or destroyed, at start as later.
//
// A record is worked on by one thread at a time: a load or an unload marks it with its
// thread and does its work outside the lock. Another thread's load or unload of that
// record waits for it, dispatching its own messages meanwhile (a plug-in's create often
// needs the window thread), up to a time limit; the working thread itself asking again is
// answered at once. A plug-in held for a forwarded call is not destroyed by another thread
// until that call has returned.
//
// Container_Unload returns only once the loads, unloads and start running on other threads
// have left PlugHost, so a host may free the library as soon as it returns.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "ContactRecords.h"
#include "DebugOut.h"
#include "Handles.h"
#include "ModulePath.h"
#include "PlugConfig.h"
#include "PumpingJoin.h"
#include "Sync.h"
#include "TabPlug.h"
#include "Text.h"
#include "outside/CoreFront.h"
#include "outside/OrderHub.h"
#include "outside/RostLedger.h"
#include "outside/TabDeck.h"

namespace {

using plughost::ReadIniValue;

// How long a load or unload waits for another thread's work on the same record, and the
// container's unload for the calls still running on other threads.
const DWORD kBusyWaitMs = 10000;

// Read and written under g_lock; only its worker changes its module and handle.
struct PlugRecord {
    PlugId id = 0;
    HMODULE module = nullptr;
    TabPlugHandle handle = nullptr;
    int loadOrder = -1;
    bool listed = true;          // still the container's: false once its tear-down began
    DWORD worker = 0;            // the thread loading or unloading it, 0 when none
    std::vector<DWORD> callers;  // threads inside a forwarded call into it
    bool draining = false;       // an unload waits for the callers: no new ones come in
};

using PlugPtr = std::shared_ptr<PlugRecord>;

struct Container {
    HostContext context = 0;
    HWND parent = nullptr;
    int counter = 0;
    bool sorted = false;
    DWORD unloader = 0;  // the thread that unloads the container, 0 before
    // The tear-down takes records from the front.
    std::deque<PlugPtr> plugs;
    TabDeckHandle deck = nullptr;
    HMODULE deckModule = nullptr;
    HMODULE coreFront = nullptr;
    // PresenceTab and ChatDesk, made at start for the online service; not in the list.
    PlugPtr presence;
    PlugPtr chat;
    HMODULE orderHub = nullptr;
};

HMODULE g_self = nullptr;
vantor::CriticalSection g_lock;
std::shared_ptr<Container> g_container;
// The threads inside Container_Load, Container_LoadPlug or Container_UnloadPlug.
std::vector<DWORD> g_running;

DWORD Me() { return GetCurrentThreadId(); }

bool AnyOtherThan(const std::vector<DWORD>& threads, DWORD thread) {
    return std::any_of(threads.begin(), threads.end(), [thread](DWORD t) { return t != thread; });
}

void RemoveOne(std::vector<DWORD>& threads, DWORD thread) {
    auto it = std::find(threads.begin(), threads.end(), thread);
    if (it != threads.end()) threads.erase(it);
}

// Waits, dispatching this thread's messages, until ready() answers true; ready() is asked
// under the lock. False at the time limit.
bool WaitUnderLock(const std::function<bool()>& ready) {
    return vantor::PumpUntil(
        [&ready] {
            vantor::Lock lock(g_lock);
            return ready();
        },
        kBusyWaitMs);
}

// One export call that may run while the container unloads on another thread. Made first
// and gone last in its export, after every container and record it held, so that the
// unload's wait ends only once the call has nothing more to do in PlugHost.
class RunningCall {
public:
    RunningCall() {
        vantor::Lock lock(g_lock);
        g_running.push_back(Me());
    }
    ~RunningCall() {
        vantor::Lock lock(g_lock);
        RemoveOne(g_running, Me());
    }
    RunningCall(const RunningCall&) = delete;
    RunningCall& operator=(const RunningCall&) = delete;
};

// The program folder without a trailing backslash.
std::wstring Folder() {
    std::wstring dir = vantor::ProgramDir();
    if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    return dir;
}

std::wstring ConfigFile() { return Folder() + L"\\config\\pruv2.cfg"; }

// Libraries load from the program folder only: a configured name that leads anywhere
// else is refused.
HMODULE LoadFromFolder(const std::wstring& fileName) {
    if (!plughost::IsPlainModuleName(fileName)) {
        vantor::DebugLine(L"PlugHost: \"%ls\" is no file name of the program folder; it is not loaded\n",
                          fileName.c_str());
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    return LoadLibraryW((Folder() + L"\\" + fileName).c_str());
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return vantor::ProcAddress<Fn>(module, name);
}

template <typename Fn>
Fn ExportOrdinal(HMODULE module, WORD ordinal) {
    return vantor::ProcAddress<Fn>(module, MAKEINTRESOURCEA(ordinal));
}

std::wstring IdText(PlugId id) { return std::to_wstring(id); }

// The full path of a loaded library, however deep its folder.
std::wstring ModuleFile(HMODULE module) {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) return std::wstring(path.data(), n);
        if (path.size() >= 32768) return std::wstring(path.data(), n);
        path.resize(path.size() * 2);
    }
}

void SortPlugs(Container* c) {
    std::stable_sort(c->plugs.begin(), c->plugs.end(),
                     [](const PlugPtr& a, const PlugPtr& b) {
                         return a->loadOrder > b->loadOrder;
                     });
}

PlugPtr FindPlug(Container* c, PlugId id) {
    for (auto& rec : c->plugs) {
        if (rec->id == id) return rec;
    }
    return nullptr;
}

bool Unloading(Container* c) {
    vantor::Lock lock(g_lock);
    return c->unloader != 0;
}

HWND PlugParent(Container* c) {
    TabDeckHandle deck;
    HMODULE deckModule;
    {
        vantor::Lock lock(g_lock);
        deck = c->deck;
        deckModule = c->deckModule;
    }
    HWND wnd = nullptr;
    vantor::UniqueModule held = vantor::HoldModule(deckModule);
    if (deck && held) {
        if (auto getWnd = Export<PFN_TabDeck_GetWnd>(deckModule, "TabDeck_GetWnd")) wnd = getWnd(deck);
    }
    return wnd ? wnd : c->parent;
}

void AddTab(Container* c, PlugId id) {
    auto addTab = Export<PFN_TabDeck_AddTabA>(c->deckModule, "TabDeck_AddTabA");
    if (!addTab) return;
    plughost::TabResources res = plughost::ReadTabResources(Folder(), id);
    addTab(c->deck, id, res.tooltip.c_str(), res.iconNormal.c_str(), res.iconHover.c_str(), res.iconSelect.c_str(),
           res.iconDisable.c_str());
}

TabPlugHandle Create(HMODULE module, HWND parent, HostContext context) {
    auto create = Export<PFN_TabPlug_Create>(module, TABPLUG_CREATE_NAME);
    return create ? create(parent, g_self, context, 0) : nullptr;
}

// The plug loader's work, on a record this thread works on: false when nothing was made.
bool LoadAndCreate(Container* c, PlugRecord* rec) {
    if (!rec->module) {
        {
            vantor::Lock lock(g_lock);
            rec->handle = nullptr;
        }
        std::wstring name = ReadIniValue(ConfigFile(), L"PlugsModule", IdText(rec->id).c_str());
        if (name.empty()) {
            vantor::DebugLine(L"配置文件错误：没有配置该服务的模块\n");
            return false;
        }
        std::wstring path = Folder() + L"\\" + name;
        vantor::DebugLine(L"开始加载插件：%ls\n", path.c_str());
        HMODULE module = LoadFromFolder(name);
        if (!module) {
            vantor::DebugLine(L"载入插件模块：%ls失败，GetLastError = %lu\n", path.c_str(), GetLastError());
            return false;
        }
        vantor::Lock lock(g_lock);
        rec->module = module;
        rec->loadOrder = c->counter++;
        if (c->sorted) SortPlugs(c);
    }
    if (rec->handle) return true;

    HWND parent = PlugParent(c);
    std::wstring path = ModuleFile(rec->module);
    const wchar_t* file = path.c_str();
    vantor::DebugLine(L"\t开始创建插件模块：%ls ...\n", file);
    DWORD started = GetTickCount();
    TabPlugHandle handle = Create(rec->module, parent, c->context);
    vantor::DebugLine(L"\t\t插件模块%ls的创建共耗时：%lu\n", file, GetTickCount() - started);
    if (!handle) {
        vantor::DebugLine(L"\t创建插件模块%ls失败了！\n", file);
        return false;
    }
    vantor::Lock lock(g_lock);
    rec->handle = handle;
    return true;
}

// Destroys a plug-in. False when its library must stay loaded: a plug-in that refuses
// to be destroyed (or cannot be) may still have a window running its code.
bool DestroyPlug(HMODULE module, TabPlugHandle handle) {
    if (!module || !handle) return true;
    auto destroy = Export<PFN_TabPlug_Destroy>(module, TABPLUG_DESTROY_NAME);
    if (!destroy || destroy(handle) == 0) {
        vantor::DebugLine(L"卸载插件模块失败了\n");
        return false;
    }
    return true;
}

// What a load or unload does with a record: take it (no other thread works on it and
// nothing stands in the way), wait for another thread's work on it, or answer at once.
enum class Turn { Wait, Taken, Answer0, Answer1 };

// Takes the record for this thread, waiting for another thread's work on it first; a
// time limit passed answers 0. `decide` looks at the record under the lock.
Turn TakeTurn(PlugRecord* rec, const std::function<Turn()>& decide) {
    Turn turn = Turn::Wait;
    bool decided = WaitUnderLock([&] {
        turn = decide();
        if (turn == Turn::Taken) rec->worker = Me();
        return turn != Turn::Wait;
    });
    if (!decided) {
        vantor::DebugLine(L"PlugHost: plug-in %d is still being worked on by another thread\n", rec->id);
        return Turn::Answer0;
    }
    return turn;
}

// The plug loader (start and Container_LoadPlug): 1 when the plug-in is made, or was.
// A record that left the container while this ran is torn down here.
int RunPlugLoader(Container* c, PlugRecord* rec) {
    Turn turn = TakeTurn(rec, [&] {
        if (c->unloader || !rec->listed) return Turn::Answer0;
        // This thread is making or destroying it further up its stack.
        if (rec->worker == Me()) return Turn::Answer0;
        if (rec->worker) return Turn::Wait;
        return rec->module && rec->handle ? Turn::Answer1 : Turn::Taken;
    });
    if (turn != Turn::Taken) return turn == Turn::Answer1 ? 1 : 0;

    bool loaded = LoadAndCreate(c, rec);
    HMODULE module;
    TabPlugHandle handle;
    {
        vantor::Lock lock(g_lock);
        rec->worker = 0;
        if (rec->listed) return loaded ? 1 : 0;
        module = rec->module;
        handle = rec->handle;
        rec->module = nullptr;
        rec->handle = nullptr;
    }
    vantor::DebugLine(L"PlugHost: the container went while plug-in %d loaded; it goes too\n", rec->id);
    if (module && DestroyPlug(module, handle)) FreeLibrary(module);
    return 0;
}

// Container_UnloadPlug's work: waits for another thread's load or unload of the record and
// for the forwarded calls running in it on other threads, then destroys and frees it.
int RunPlugUnloader(Container* c, PlugRecord* rec) {
    Turn turn = TakeTurn(rec, [&] {
        if (c->unloader || !rec->listed) return Turn::Answer0;
        if (rec->worker == Me()) return Turn::Answer0;
        if (rec->worker) return Turn::Wait;
        rec->draining = AnyOtherThan(rec->callers, Me());
        if (rec->draining) return Turn::Wait;
        return rec->module ? Turn::Taken : Turn::Answer1;
    });
    {
        vantor::Lock lock(g_lock);
        rec->draining = false;
    }
    if (turn != Turn::Taken) return turn == Turn::Answer1 ? 1 : 0;

    HMODULE module;
    TabPlugHandle handle;
    {
        vantor::Lock lock(g_lock);
        module = rec->module;
        handle = rec->handle;
    }
    bool destroyed = DestroyPlug(module, handle);
    {
        vantor::Lock lock(g_lock);
        rec->worker = 0;
        if (destroyed) {
            rec->handle = nullptr;
            rec->module = nullptr;
        }
    }
    if (!destroyed) return 0;
    FreeLibrary(module);
    return 1;
}

// Takes a record from the container: destroys its plug-in and frees its library once no
// forwarded call of another thread runs in it. A record that a load or unload still works
// on (this thread's own, further up its stack, or one past the time limit) is left to that
// work, which finishes it once it sees the record gone; one still held by another thread's
// call past the time limit is left made, library and all.
void Retire(const PlugPtr& rec) {
    {
        vantor::Lock lock(g_lock);
        rec->listed = false;
    }
    bool callsDone = WaitUnderLock([&] { return rec->worker != 0 || !AnyOtherThan(rec->callers, Me()); });
    HMODULE module;
    TabPlugHandle handle;
    {
        vantor::Lock lock(g_lock);
        if (rec->worker) return;
        if (!callsDone) {
            vantor::DebugLine(L"PlugHost: plug-in %d is still in a call on another thread; it stays\n", rec->id);
            return;
        }
        rec->worker = Me();
        module = rec->module;
        handle = rec->handle;
    }
    bool freeable = DestroyPlug(module, handle);
    {
        vantor::Lock lock(g_lock);
        rec->worker = 0;
        rec->module = nullptr;
        rec->handle = nullptr;
    }
    if (module && freeable) FreeLibrary(module);
}

PlugPtr MakeServicePlug(Container* c, PlugId id, const wchar_t* fileName) {
    auto rec = std::make_shared<PlugRecord>();
    rec->id = id;
    rec->module = LoadFromFolder(fileName);
    rec->handle = Create(rec->module, c->parent, c->context);
    return rec;
}

FriendHandle CurrentAccount(HostContext context) {
    if (!context) return nullptr;
    vantor::UniqueModule ledger(LoadFromFolder(L"RostLedger.dll"));
    auto get = Export<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    return get ? get(context) : nullptr;
}

// The most policy records a start asks for; a larger count is taken as this many.
const DWORD kMostPolicies = 1024;

// An unload that began meanwhile on another thread ends the making of service plug-ins.
bool StartServicePlugs(Container* c, FriendHandle account, HWND plugParent) {
    vantor::UniqueModule ledger(LoadFromFolder(L"RostLedger.dll"));
    auto getPolicies =
        Export<PFN_RostLedger_GetFriendServicePolicysA>(ledger.get(), "RostLedger_GetFriendServicePolicysA");
    DWORD count = 0;
    if (!getPolicies || !getPolicies(c->context, account, nullptr, &count) || count == 0) return true;
    if (count > kMostPolicies) {
        vantor::DebugLineA("service policy count %lu cut to %lu\n", count, kMostPolicies);
        count = kMostPolicies;
    }
    std::vector<ServicePolicyInfoA> policies(count);
    ZeroMemory(policies.data(), policies.size() * sizeof(ServicePolicyInfoA));
    DWORD filled = count;
    if (!getPolicies(c->context, account, policies.data(), &filled)) return false;
    filled = std::min(filled, count);

    bool online = false;
    for (DWORD i = 0; i < filled && !Unloading(c); ++i) {
        const ServicePolicyInfoA& policy = policies[i];
        PlugId id = static_cast<PlugId>(policy.id);
        if (id == PLUG_CHAT) {
            online = true;
            continue;
        }
        std::wstring module = ReadIniValue(ConfigFile(), L"UI", IdText(id).c_str());
        if (plughost::IsNoPlugModule(module)) continue;
        auto rec = std::make_shared<PlugRecord>();
        rec->id = id;
        if (policy.flags[SERVICE_POLICY_STATUS_FLAG] == 0) {
            rec->module = LoadFromFolder(module);
            rec->handle = Create(rec->module, plugParent, c->context);
        }
        {
            vantor::Lock lock(g_lock);
            c->plugs.push_back(std::move(rec));
        }
        AddTab(c, id);
    }

    if (online && !Unloading(c)) {
        vantor::DebugLine(L"加载在线服务插件模块：PresenceTab.dll\n");
        PlugPtr presence = MakeServicePlug(c, PLUG_PRESENCE, L"PresenceTab.dll");
        {
            vantor::Lock lock(g_lock);
            c->presence = std::move(presence);
        }
        vantor::DebugLine(L"加载即时聊天模块ChatDesk\n");
        PlugPtr chat = MakeServicePlug(c, PLUG_CHAT, L"ChatDesk.dll");
        vantor::Lock lock(g_lock);
        c->chat = std::move(chat);
    }
    return true;
}

bool Start(Container* c) {
    std::wstring deckName = ReadIniValue(ConfigFile(), L"UI", L"TabDeck");
    if (deckName.empty()) return false;

    HMODULE deckModule = LoadFromFolder(deckName);
    TabDeckHandle deck = nullptr;
    if (auto create = Export<PFN_TabDeck_Create>(deckModule, "TabDeck_Create")) {
        deck = create(c->parent, g_self, c->context);
    }
    {
        vantor::Lock lock(g_lock);
        c->deckModule = deckModule;
        c->deck = deck;
    }
    HWND plugParent = PlugParent(c);

    FriendHandle account = CurrentAccount(c->context);

    std::vector<PlugId> tabList = plughost::ReadPlugIds(ConfigFile(), L"UI", L"TabPlugs");
    std::vector<PlugPtr> records;
    for (PlugId id : tabList) {
        records.push_back(std::make_shared<PlugRecord>());
        records.back()->id = id;
    }
    for (PlugId id : plughost::ReadPlugIds(ConfigFile(), L"UI", L"SubPlugs")) {
        records.push_back(std::make_shared<PlugRecord>());
        records.back()->id = id;
    }
    // Looked up once per record: long lists must stay linear.
    const std::unordered_set<PlugId> tabIds(tabList.begin(), tabList.end());
    const plughost::IniSection styles(ConfigFile(), L"PlugsLoadStyle");

    // Every record is listed before the first is made, so that a plug-in's create finds
    // its own record and its neighbours'. A load of a record that the start is making
    // waits for it, as any load of a record being made does.
    {
        vantor::Lock lock(g_lock);
        for (const PlugPtr& rec : records) c->plugs.push_back(rec);
    }
    for (const PlugPtr& rec : records) {
        if (plughost::IsImmediateLoadStyle(styles.Value(IdText(rec->id)))) RunPlugLoader(c, rec.get());
        if (tabIds.count(rec->id)) AddTab(c, rec->id);
    }
    {
        vantor::Lock lock(g_lock);
        SortPlugs(c);
        c->sorted = true;
    }

    return StartServicePlugs(c, account, plugParent);
}

// Destroys every plug-in (most recently loaded first), then ChatDesk and PresenceTab,
// then releases the kernel facade and the command center. Each plug-in is destroyed
// outside the lock while it and the ones not yet destroyed stay listed, so a plug-in
// that reaches its neighbours while it goes (from any thread) still finds them.
void TearDown(Container* c) {
    for (;;) {
        PlugPtr rec;
        {
            vantor::Lock lock(g_lock);
            auto next = std::find_if(c->plugs.begin(), c->plugs.end(), [](const PlugPtr& r) { return r->listed; });
            if (next == c->plugs.end()) {
                c->plugs.clear();
                break;
            }
            rec = *next;
        }
        Retire(rec);
        vantor::Lock lock(g_lock);
        // By identity: a load that was already running may have sorted the list since.
        auto it = std::find(c->plugs.begin(), c->plugs.end(), rec);
        if (it != c->plugs.end()) c->plugs.erase(it);
    }
    for (PlugPtr Container::*field : {&Container::chat, &Container::presence}) {
        PlugPtr rec;
        {
            vantor::Lock lock(g_lock);
            rec = c->*field;
        }
        if (!rec) continue;
        Retire(rec);
        vantor::Lock lock(g_lock);
        (c->*field).reset();
    }

    if (c->coreFront) {
        if (auto stop = ExportOrdinal<PFN_CoreFront_Stop>(c->coreFront, COREFRONT_STOP_ORDINAL)) stop();
        FreeLibrary(c->coreFront);
        c->coreFront = nullptr;
    }
    if (c->orderHub) {
        FreeLibrary(c->orderHub);
        c->orderHub = nullptr;
        vantor::DebugLine(L"命令中心模块被卸载了\n");
    }
}

void Discard(const std::shared_ptr<Container>& c) {
    vantor::Lock lock(g_lock);
    if (g_container == c) g_container.reset();
}

// The tab manager's own window: the child of the host window that holds the window the
// tab manager parents the plug-ins in; null when there is none to be found.
HWND TabManagerWindow(HWND host, TabDeckHandle deck, HMODULE module) {
    auto getWnd = Export<PFN_TabDeck_GetWnd>(module, "TabDeck_GetWnd");
    HWND wnd = getWnd ? getWnd(deck) : nullptr;
    if (!host || !wnd || !IsChild(host, wnd)) return nullptr;
    for (HWND up = GetParent(wnd); up && up != host; up = GetParent(up)) wnd = up;
    return wnd;
}

// After a failed start: the tab manager's window goes, then its library. Without its
// window to be found the library stays, as code of a window that may still run.
void DiscardTabManager(Container* c) {
    TabDeckHandle deck;
    HMODULE module;
    {
        vantor::Lock lock(g_lock);
        deck = c->deck;
        module = c->deckModule;
    }
    if (!module) return;
    HWND window = deck ? TabManagerWindow(c->parent, deck, module) : nullptr;
    if (deck && !window) {
        vantor::DebugLine(L"PlugHost: the tab manager's window is not found; its library stays\n");
        return;
    }
    {
        vantor::Lock lock(g_lock);
        c->deck = nullptr;
        c->deckModule = nullptr;
    }
    if (window) DestroyWindow(window);
    FreeLibrary(module);
}

void LoadContainer(HostContext context, HWND parent) {
    std::shared_ptr<Container> c;
    {
        vantor::Lock lock(g_lock);
        if (g_container) return;
        c = std::make_shared<Container>();
        c->context = context;
        c->parent = parent;
        // Published before the start so that plug-ins created by it can query the container.
        g_container = c;
    }
    c->orderHub = LoadFromFolder(L"OrderHub.dll");
    if (auto attach = ExportOrdinal<PFN_OrderHub_Attach>(c->orderHub, ORDERHUB_ATTACH_ORDINAL)) attach(g_self);
    c->coreFront = LoadFromFolder(L"CoreFront.dll");
    if (auto start = ExportOrdinal<PFN_CoreFront_Start>(c->coreFront, COREFRONT_START_ORDINAL)) start();

    bool started = Start(c.get());
    bool undo;
    {
        vantor::Lock lock(g_lock);
        // A failed start is undone here; so is what the start went on to make after a
        // plug-in unloaded the container from inside its create. An unload on another
        // thread undoes it itself once this returns.
        if (!started && !c->unloader) c->unloader = Me();
        undo = c->unloader == Me();
    }
    if (!undo) return;
    // What the start made is undone (plug-ins, tab manager, command center, kernel
    // facade), so that a later Container_Load makes each of them once.
    TearDown(c.get());
    if (!started) DiscardTabManager(c.get());
    Discard(c);
}

void UnloadContainer() {
    std::shared_ptr<Container> c;
    {
        vantor::Lock lock(g_lock);
        c = g_container;
        if (!c || c->unloader) return;
        c->unloader = Me();
    }
    // The host may free PlugHost once this returns: the calls running on other threads
    // (loads and unloads refuse from now on) leave it first. One that does not within the
    // time limit keeps PlugHost in the process for good rather than run in freed code.
    if (!WaitUnderLock([] { return !AnyOtherThan(g_running, Me()); })) {
        vantor::DebugLine(L"PlugHost: a call on another thread is still running; PlugHost stays loaded\n");
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(g_self), &pinned);
    }
    TearDown(c.get());
    Discard(c);
}

// Runs the loader or the unloader on the record of the id, while the container is up.
int OnRecord(PlugId id, int (*work)(Container*, PlugRecord*)) {
    std::shared_ptr<Container> c;
    PlugPtr rec;
    {
        vantor::Lock lock(g_lock);
        c = g_container;
        if (!c || c->unloader) return 0;
        rec = FindPlug(c.get(), id);
    }
    return rec ? work(c.get(), rec.get()) : 0;
}

// The record a forwarded call reaches by id; the tab manager (id 0) has none.
PlugRecord* CallTarget(Container* c, PlugId id) {
    if (id == PLUG_CHAT) return c->chat.get();
    if (id == PLUG_PRESENCE) return c->presence.get();
    return FindPlug(c, id).get();
}

// What the container has for an id, under the lock.
struct Found {
    PlugRecord* record = nullptr;  // none for the tab manager
    HMODULE module = nullptr;
    TabPlugHandle handle = nullptr;
};

// False without a container, for an unknown id, and for ChatDesk and PresenceTab while
// their libraries are not loaded.
bool Find(PlugId id, Found* found) {
    Container* c = g_container.get();
    if (!c) return false;
    if (id == PLUG_TABDECK) {
        found->module = c->deckModule;
        found->handle = c->deck;
        return true;
    }
    PlugRecord* rec = CallTarget(c, id);
    if (!rec || ((id == PLUG_CHAT || id == PLUG_PRESENCE) && !rec->module)) return false;
    found->record = rec;
    found->module = rec->module;
    found->handle = rec->handle;
    return true;
}

// The outputs are written only where their pointers are given.
void Hand(const Found& found, HMODULE* moduleOut, TabPlugHandle* plugOut) {
    if (moduleOut) *moduleOut = found.module;
    if (plugOut) *plugOut = found.handle;
}

}  // namespace

extern "C" {

void WINAPI Container_Load(HostContext context, HWND parent) {
    RunningCall running;
    LoadContainer(context, parent);
}

void WINAPI Container_Unload(void) { UnloadContainer(); }

int WINAPI Container_QueryModule(PlugId id, HMODULE* moduleOut, TabPlugHandle* plugOut) {
    vantor::Lock lock(g_lock);
    Found found;
    if (!Find(id, &found)) return 0;
    Hand(found, moduleOut, plugOut);
    return 1;
}

int WINAPI Container_LoadPlug(PlugId id) {
    RunningCall running;
    return OnRecord(id, RunPlugLoader);
}

int WINAPI Container_UnloadPlug(PlugId id) {
    RunningCall running;
    return OnRecord(id, RunPlugUnloader);
}

int WINAPI Container_HoldPlug(PlugId id, HMODULE* moduleOut, TabPlugHandle* plugOut) {
    vantor::Lock lock(g_lock);
    Found found;
    if (!Find(id, &found) || !found.module || !found.handle) return 0;
    // The tab manager has no record: the container never destroys it.
    if (PlugRecord* rec = found.record) {
        // Being made or destroyed by another thread, or about to be: not to be called now,
        // unless this thread holds it already.
        if (!rec->listed || (rec->worker && rec->worker != Me())) return 0;
        bool holding = std::find(rec->callers.begin(), rec->callers.end(), Me()) != rec->callers.end();
        if (rec->draining && !holding) return 0;
        rec->callers.push_back(Me());
    }
    Hand(found, moduleOut, plugOut);
    return 1;
}

void WINAPI Container_ReleasePlug(PlugId id) {
    vantor::Lock lock(g_lock);
    Container* c = g_container.get();
    if (!c || id == PLUG_TABDECK) return;
    const DWORD me = Me();
    auto release = [me](PlugRecord* rec) {
        if (!rec) return false;
        auto it = std::find(rec->callers.begin(), rec->callers.end(), me);
        if (it == rec->callers.end()) return false;
        rec->callers.erase(it);
        return true;
    };
    if (id == PLUG_CHAT || id == PLUG_PRESENCE) {
        release(CallTarget(c, id));
        return;
    }
    // A list may name one id twice: the first record of the id that this thread holds.
    for (const PlugPtr& rec : c->plugs) {
        if (rec->id == id && release(rec.get())) return;
    }
}

// The container has no skin of its own.
int WINAPI SwitchSkin(void) { return 1; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && !g_self) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
