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


// A loaded library by name, with a reference taken for the caller. The one found last
// time is asked for by its address first: the system finds a module by an address inside
// it far quicker than by its name, which it compares with the name of every module loaded,
// and a reader calls here thousands of times in a row.
class LibraryHold {
public:
    explicit LibraryHold(const wchar_t* name) : name_(name) {}

    HMODULE Take() {
        AcquireSRWLockShared(&lock_);
        HMODULE last = last_;
        ImageMark mark = mark_;
        ReleaseSRWLockShared(&lock_);
        HMODULE held = nullptr;
        if (last && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(last), &held)) {
            // The same image at the same place: the library looked for, or one just like it.
            if (held == last && MarkOf(held) == mark) return held;
            FreeLibrary(held);
        }
        if (!GetModuleHandleExW(0, name_, &held)) return nullptr;
        AcquireSRWLockExclusive(&lock_);
        last_ = held;
        mark_ = MarkOf(held);
        ReleaseSRWLockExclusive(&lock_);
        return held;
    }

private:
    const wchar_t* name_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    HMODULE last_ = nullptr;
    ImageMark mark_ = {};
};

LibraryHold g_clientCore(L"ClientCore.dll");
LibraryHold g_rostBase(L"RostBase.dll");

}  // namespace

StoreRef::StoreRef(HostContext book) {
    if (!book) return;
    HMODULE core = g_clientCore.Take();
    if (!core) return;
    auto getStore = reinterpret_cast<PFN_GetRostBaseHandle>(
        reinterpret_cast<void*>(ExportOf(core, MAKEINTRESOURCEA(kGetRostBaseHandleOrdinal))));
    RostBaseHandle store = getStore ? getStore() : nullptr;
    if (store && (rostBase_ = g_rostBase.Take())) store_ = store;
    FreeLibrary(core);
}

StoreRef::~StoreRef() {
    if (rostBase_) FreeLibrary(rostBase_);
}

}  // namespace facade
