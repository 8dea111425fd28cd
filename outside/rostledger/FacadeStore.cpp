#include "FacadeStore.h"

#include <vector>

namespace facade {

namespace {

// What tells one loaded image from another that may later stand at the same address.
struct ImageMark {
    HMODULE base;
    DWORD stamp;
    DWORD size;
    bool operator==(const ImageMark& o) const { return base == o.base && stamp == o.stamp && size == o.size; }
};

ImageMark MarkOf(HMODULE module) {
    auto* bytes = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes + dos->e_lfanew);
    return ImageMark{module, nt->FileHeader.TimeDateStamp, nt->OptionalHeader.SizeOfImage};
}

struct KnownExport {
    const char* name;
    ImageMark mark;
    FARPROC address;
};

SRWLOCK g_exportsLock = SRWLOCK_INIT;
std::vector<KnownExport> g_exports;

}  // namespace

FARPROC ExportOf(HMODULE module, const char* name) {
    if (!module) return nullptr;
    ImageMark mark = MarkOf(module);
    AcquireSRWLockShared(&g_exportsLock);
    for (const KnownExport& known : g_exports) {
        if (known.name == name && known.mark == mark) {
            FARPROC address = known.address;
            ReleaseSRWLockShared(&g_exportsLock);
            return address;
        }
    }
    ReleaseSRWLockShared(&g_exportsLock);
    FARPROC address = GetProcAddress(module, name);
    AcquireSRWLockExclusive(&g_exportsLock);
    bool replaced = false;
    for (KnownExport& known : g_exports) {
        if (known.name != name) continue;
        known = KnownExport{name, mark, address};
        replaced = true;
        break;
    }
    // Running out of memory here only means looking it up again next time.
    if (!replaced) {
        try {
            g_exports.push_back(KnownExport{name, mark, address});
        } catch (...) {
        }
    }
    ReleaseSRWLockExclusive(&g_exportsLock);
    return address;
}

namespace {
// Ordinal 27 of ClientCore: the store of the signed-in account, null before sign-in and
// after sign-off.
typedef RostBaseHandle(WINAPI* PFN_GetRostBaseHandle)(void);
const WORD kGetRostBaseHandleOrdinal = 27;
}  // namespace

StoreRef::StoreRef(HostContext book) {
    if (!book) return;
    HMODULE core = nullptr;
    if (!GetModuleHandleExW(0, L"ClientCore.dll", &core)) return;
    auto getStore = reinterpret_cast<PFN_GetRostBaseHandle>(
        reinterpret_cast<void*>(ExportOf(core, MAKEINTRESOURCEA(kGetRostBaseHandleOrdinal))));
    RostBaseHandle store = getStore ? getStore() : nullptr;
    if (store && GetModuleHandleExW(0, L"RostBase.dll", &rostBase_)) store_ = store;
    FreeLibrary(core);
}

StoreRef::~StoreRef() {
    if (rostBase_) FreeLibrary(rostBase_);
}

}  // namespace facade
