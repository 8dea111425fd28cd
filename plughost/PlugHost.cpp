// PlugHost: fills the host's main window with tab plug-ins.
//
// One container per process. The lock guards the plug list and the container pointer;
// plug-ins created at start run while the start holds it, so their TabPlug_Create may
// query the container from the same thread (the lock is recursive). Plug-ins are
// destroyed outside the lock, so a plug-in whose destroy waits for a worker that queries
// the container cannot deadlock.
//
// The container and its records are shared: a load or unload on another thread keeps
// what it works on alive even when the container goes meanwhile. Loads and unloads of one
// record take turns (a second load of an id waits and then finds it loaded); whoever
// works on a record outside the lock marks it busy, and a record that leaves the
// container while busy is torn down by that worker when it is done.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "ContactRecords.h"
#include "DebugOut.h"
#include "Handles.h"
#include "ModulePath.h"
#include "PlugConfig.h"
#include "Sync.h"
#include "TabPlug.h"
#include "Text.h"
#include "outside/CoreFront.h"
#include "outside/OrderHub.h"
#include "outside/RostLedger.h"
#include "outside/TabDeck.h"

namespace {

using plughost::ReadIniValue;

struct PlugRecord {
    PlugId id;
    HMODULE module = nullptr;
    TabPlugHandle handle = nullptr;
    int loadOrder = -1;
    // Guarded by g_lock: a load, unload or tear-down works on it outside the lock; it is
    // still in the container's list.
    bool busy = false;
    bool listed = true;
    // Held for a whole load or unload through the exports, so that they take turns.
    vantor::CriticalSection turn;
};

using PlugPtr = std::shared_ptr<PlugRecord>;

struct Container {
    HostContext context = 0;
    HWND parent = nullptr;
    int counter = 0;
    bool sorted = false;
    bool unloading = false;
    // The tear-down takes records from the front.
    std::deque<PlugPtr> plugs;
    TabDeckHandle deck = nullptr;
    HMODULE deckModule = nullptr;
    HMODULE coreFront = nullptr;
    HMODULE presenceModule = nullptr;
    TabPlugHandle presence = nullptr;
    HMODULE chatModule = nullptr;
    TabPlugHandle chat = nullptr;
    HMODULE orderHub = nullptr;
};

HMODULE g_self = nullptr;
vantor::CriticalSection g_lock;
std::shared_ptr<Container> g_container;

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

void AppendPlug(Container* c, PlugPtr rec) {
    vantor::Lock lock(g_lock);
    c->plugs.push_back(std::move(rec));
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

// The plug loader's work, with the record marked busy: false when nothing was created.
bool LoadAndCreate(Container* c, PlugRecord* rec) {
    if (!rec->module) {
        rec->handle = nullptr;
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
    auto create = Export<PFN_TabPlug_Create>(rec->module, TABPLUG_CREATE_NAME);
    TabPlugHandle handle = create ? create(parent, g_self, c->context, 0) : nullptr;
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

// Loads the record's library from [PlugsModule] when needed and creates the plug-in.
// A record that left the container while this ran is torn down here.
int RunPlugLoader(Container* c, PlugRecord* rec) {
    {
        vantor::Lock lock(g_lock);
        // Busy: the tear-down has it, or this thread is creating it and asks again.
        if (!rec->listed || rec->busy) return 0;
        if (rec->module && rec->handle) return 1;
        rec->busy = true;
    }
    bool loaded = LoadAndCreate(c, rec);
    HMODULE module;
    TabPlugHandle handle;
    {
        vantor::Lock lock(g_lock);
        rec->busy = false;
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

void LoadServicePlug(Container* c, const wchar_t* fileName, HMODULE& module, TabPlugHandle& handle) {
    HMODULE loaded = LoadFromFolder(fileName);
    if (!loaded) return;
    TabPlugHandle created = nullptr;
    if (auto create = Export<PFN_TabPlug_Create>(loaded, TABPLUG_CREATE_NAME)) {
        created = create(c->parent, g_self, c->context, 0);
    }
    vantor::Lock lock(g_lock);
    module = loaded;
    handle = created;
}

FriendHandle CurrentAccount(HostContext context) {
    if (!context) return nullptr;
    vantor::UniqueModule ledger(LoadFromFolder(L"RostLedger.dll"));
    auto get = Export<PFN_RostLedger_GetCurrentAccount>(ledger.get(), "RostLedger_GetCurrentAccount");
    return get ? get(context) : nullptr;
}

// The most policy records a start asks for; a larger count is taken as this many.
const DWORD kMostPolicies = 1024;

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
    for (DWORD i = 0; i < filled; ++i) {
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
            if (auto create = Export<PFN_TabPlug_Create>(rec->module, TABPLUG_CREATE_NAME)) {
                rec->handle = create(plugParent, g_self, c->context, 0);
            }
        }
        AppendPlug(c, std::move(rec));
        AddTab(c, id);
    }

    if (online) {
        vantor::DebugLine(L"加载在线服务插件模块：PresenceTab.dll\n");
        LoadServicePlug(c, L"PresenceTab.dll", c->presenceModule, c->presence);
        vantor::DebugLine(L"加载即时聊天模块ChatDesk\n");
        LoadServicePlug(c, L"ChatDesk.dll", c->chatModule, c->chat);
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

    {
        // Listed and loaded in one hold of the lock: no other thread loads a record
        // before the start has.
        vantor::Lock lock(g_lock);
        for (const PlugPtr& rec : records) c->plugs.push_back(rec);
        for (const PlugPtr& rec : records) {
            if (plughost::IsImmediateLoadStyle(styles.Value(IdText(rec->id)))) RunPlugLoader(c, rec.get());
            if (tabIds.count(rec->id)) AddTab(c, rec->id);
        }
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
        HMODULE module;
        TabPlugHandle handle;
        {
            vantor::Lock lock(g_lock);
            if (c->plugs.empty()) break;
            rec = c->plugs.front();
            if (rec->busy) {
                // A load or unload on another thread has it: that one finishes it.
                rec->listed = false;
                c->plugs.pop_front();
                continue;
            }
            rec->busy = true;
            module = rec->module;
            handle = rec->handle;
        }
        bool freeable = DestroyPlug(module, handle);
        {
            vantor::Lock lock(g_lock);
            rec->busy = false;
            rec->listed = false;
            rec->module = nullptr;
            rec->handle = nullptr;
            // By identity: a load that was already running may have sorted the list since.
            auto it = std::find(c->plugs.begin(), c->plugs.end(), rec);
            if (it != c->plugs.end()) c->plugs.erase(it);
        }
        if (module && freeable) FreeLibrary(module);
    }
    auto takeService = [](HMODULE& moduleField, TabPlugHandle& handleField) {
        HMODULE module;
        TabPlugHandle handle;
        {
            vantor::Lock lock(g_lock);
            module = moduleField;
            handle = handleField;
        }
        bool freeable = DestroyPlug(module, handle);
        {
            vantor::Lock lock(g_lock);
            moduleField = nullptr;
            handleField = nullptr;
        }
        if (module && freeable) FreeLibrary(module);
    };
    takeService(c->chatModule, c->chat);
    takeService(c->presenceModule, c->presence);

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

}  // namespace

extern "C" {

void WINAPI Container_Load(HostContext context, HWND parent) {
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

    if (!Start(c.get())) {
        // What the start made is undone (plug-ins, tab manager, command center, kernel
        // facade), so that a later Container_Load makes each of them once.
        {
            vantor::Lock lock(g_lock);
            c->unloading = true;
        }
        TearDown(c.get());
        DiscardTabManager(c.get());
        Discard(c);
    }
}

void WINAPI Container_Unload(void) {
    std::shared_ptr<Container> c;
    {
        vantor::Lock lock(g_lock);
        c = g_container;
        if (!c || c->unloading) return;
        c->unloading = true;
    }
    TearDown(c.get());
    Discard(c);
}

int WINAPI Container_QueryModule(PlugId id, HMODULE* moduleOut, TabPlugHandle* plugOut) {
    vantor::Lock lock(g_lock);
    Container* c = g_container.get();
    if (!c) return 0;
    HMODULE module = nullptr;
    TabPlugHandle handle = nullptr;
    if (id == PLUG_TABDECK) {
        module = c->deckModule;
        handle = c->deck;
    } else if (id == PLUG_CHAT) {
        if (!c->chatModule) return 0;
        module = c->chatModule;
        handle = c->chat;
    } else if (id == PLUG_PRESENCE) {
        if (!c->presenceModule) return 0;
        module = c->presenceModule;
        handle = c->presence;
    } else {
        PlugPtr rec = FindPlug(c, id);
        if (!rec) return 0;
        module = rec->module;
        handle = rec->handle;
    }
    if (moduleOut) *moduleOut = module;
    if (plugOut) *plugOut = handle;
    return 1;
}

int WINAPI Container_LoadPlug(PlugId id) {
    std::shared_ptr<Container> c;
    PlugPtr rec;
    {
        vantor::Lock lock(g_lock);
        c = g_container;
        if (!c || c->unloading) return 0;
        rec = FindPlug(c.get(), id);
    }
    if (!rec) return 0;
    // A second load of the id waits here and then finds the plug-in made.
    vantor::Lock turn(rec->turn);
    return RunPlugLoader(c.get(), rec.get());
}

int WINAPI Container_UnloadPlug(PlugId id) {
    PlugPtr rec;
    {
        vantor::Lock lock(g_lock);
        std::shared_ptr<Container> c = g_container;
        if (!c || c->unloading) return 0;
        rec = FindPlug(c.get(), id);
        if (!rec) return 0;
    }
    vantor::Lock turn(rec->turn);
    HMODULE module;
    TabPlugHandle handle;
    {
        vantor::Lock lock(g_lock);
        if (!rec->listed || rec->busy) return 0;
        module = rec->module;
        handle = rec->handle;
        if (!module) return 1;
        rec->busy = true;
    }
    bool destroyed = DestroyPlug(module, handle);
    {
        vantor::Lock lock(g_lock);
        rec->busy = false;
        if (destroyed) {
            rec->handle = nullptr;
            rec->module = nullptr;
        }
    }
    if (!destroyed) return 0;
    FreeLibrary(module);
    return 1;
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
