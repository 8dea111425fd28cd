// PlugHost: fills the host's main window with tab plug-ins.
//
// One container per process. The lock guards the plug list and the container pointer;
// plug-ins created at start run while the start holds it, so their TabPlug_Create may
// query the container from the same thread (the lock is recursive). Plug-ins are
// destroyed outside the lock, so a plug-in whose destroy waits for a worker that queries
// the container cannot deadlock.
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
};

struct Container {
    HostContext context = 0;
    HWND parent = nullptr;
    int counter = 0;
    bool sorted = false;
    bool unloading = false;
    // Records keep their address while listed; the tear-down takes them from the front.
    std::deque<std::unique_ptr<PlugRecord>> plugs;
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
Container* g_container = nullptr;

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
                     [](const std::unique_ptr<PlugRecord>& a, const std::unique_ptr<PlugRecord>& b) {
                         return a->loadOrder > b->loadOrder;
                     });
}

PlugRecord* FindPlug(Container* c, PlugId id) {
    for (auto& rec : c->plugs) {
        if (rec->id == id) return rec.get();
    }
    return nullptr;
}

void AppendPlug(Container* c, std::unique_ptr<PlugRecord> rec) {
    vantor::Lock lock(g_lock);
    c->plugs.push_back(std::move(rec));
}

HWND PlugParent(Container* c) {
    HWND wnd = nullptr;
    if (c->deck) {
        if (auto getWnd = Export<PFN_TabDeck_GetWnd>(c->deckModule, "TabDeck_GetWnd")) wnd = getWnd(c->deck);
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

// Loads the record's library from [PlugsModule] when needed and creates the plug-in.
int RunPlugLoader(Container* c, PlugRecord* rec) {
    if (rec->module && rec->handle) return 1;
    if (!rec->module) {
        rec->handle = nullptr;
        std::wstring name = ReadIniValue(ConfigFile(), L"PlugsModule", IdText(rec->id).c_str());
        if (name.empty()) {
            vantor::DebugLine(L"配置文件错误：没有配置该服务的模块\n");
            return 0;
        }
        std::wstring path = Folder() + L"\\" + name;
        vantor::DebugLine(L"开始加载插件：%ls\n", path.c_str());
        HMODULE module = LoadFromFolder(name);
        if (!module) {
            vantor::DebugLine(L"载入插件模块：%ls失败，GetLastError = %lu\n", path.c_str(), GetLastError());
            return 0;
        }
        vantor::Lock lock(g_lock);
        rec->module = module;
        rec->loadOrder = c->counter++;
        if (c->sorted) SortPlugs(c);
    }
    if (rec->handle) return 1;

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
        return 0;
    }
    vantor::Lock lock(g_lock);
    rec->handle = handle;
    return 1;
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
        auto rec = std::make_unique<PlugRecord>();
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
    for (PlugId id : tabList) {
        auto rec = std::make_unique<PlugRecord>();
        rec->id = id;
        AppendPlug(c, std::move(rec));
    }
    for (PlugId id : plughost::ReadPlugIds(ConfigFile(), L"UI", L"SubPlugs")) {
        auto rec = std::make_unique<PlugRecord>();
        rec->id = id;
        AppendPlug(c, std::move(rec));
    }
    // Looked up once per record: long lists must stay linear.
    const std::unordered_set<PlugId> tabIds(tabList.begin(), tabList.end());
    const plughost::IniSection styles(ConfigFile(), L"PlugsLoadStyle");

    {
        vantor::Lock lock(g_lock);
        std::vector<PlugRecord*> records;
        for (auto& rec : c->plugs) records.push_back(rec.get());
        for (PlugRecord* rec : records) {
            if (plughost::IsImmediateLoadStyle(styles.Value(IdText(rec->id)))) RunPlugLoader(c, rec);
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
        PlugRecord* rec;
        {
            vantor::Lock lock(g_lock);
            if (c->plugs.empty()) break;
            rec = c->plugs.front().get();
        }
        HMODULE module = rec->module;
        bool freeable = DestroyPlug(module, rec->handle);
        {
            vantor::Lock lock(g_lock);
            c->plugs.pop_front();
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

void Discard(Container* c) {
    {
        vantor::Lock lock(g_lock);
        if (g_container == c) g_container = nullptr;
    }
    delete c;
}

}  // namespace

extern "C" {

void WINAPI Container_Load(HostContext context, HWND parent) {
    Container* c;
    {
        vantor::Lock lock(g_lock);
        if (g_container) return;
        c = new Container;
        c->context = context;
        c->parent = parent;
        // Published before the start so that plug-ins created by it can query the container.
        g_container = c;
    }
    c->orderHub = LoadFromFolder(L"OrderHub.dll");
    if (auto attach = ExportOrdinal<PFN_OrderHub_Attach>(c->orderHub, ORDERHUB_ATTACH_ORDINAL)) attach(g_self);
    c->coreFront = LoadFromFolder(L"CoreFront.dll");
    if (auto start = ExportOrdinal<PFN_CoreFront_Start>(c->coreFront, COREFRONT_START_ORDINAL)) start();

    if (!Start(c)) {
        // Plug-ins created before the failure are destroyed, so that nothing is left
        // behind that a later Container_Load would create a second time.
        {
            vantor::Lock lock(g_lock);
            c->unloading = true;
        }
        TearDown(c);
        Discard(c);
    }
}

void WINAPI Container_Unload(void) {
    Container* c;
    {
        vantor::Lock lock(g_lock);
        c = g_container;
        if (!c || c->unloading) return;
        c->unloading = true;
    }
    TearDown(c);
    Discard(c);
}

int WINAPI Container_QueryModule(PlugId id, HMODULE* moduleOut, TabPlugHandle* plugOut) {
    vantor::Lock lock(g_lock);
    Container* c = g_container;
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
        PlugRecord* rec = FindPlug(c, id);
        if (!rec) return 0;
        module = rec->module;
        handle = rec->handle;
    }
    if (moduleOut) *moduleOut = module;
    if (plugOut) *plugOut = handle;
    return 1;
}

int WINAPI Container_LoadPlug(PlugId id) {
    Container* c;
    PlugRecord* rec;
    {
        vantor::Lock lock(g_lock);
        c = g_container;
        if (!c || c->unloading) return 0;
        rec = FindPlug(c, id);
    }
    return rec ? RunPlugLoader(c, rec) : 0;
}

int WINAPI Container_UnloadPlug(PlugId id) {
    Container* c;
    PlugRecord* rec;
    HMODULE module;
    TabPlugHandle handle;
    {
        vantor::Lock lock(g_lock);
        c = g_container;
        if (!c || c->unloading) return 0;
        rec = FindPlug(c, id);
        if (!rec) return 0;
        module = rec->module;
        handle = rec->handle;
    }
    if (!module) return 1;
    if (!DestroyPlug(module, handle)) return 0;
    {
        vantor::Lock lock(g_lock);
        rec->handle = nullptr;
        rec->module = nullptr;
    }
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
