#include "TransferDriver.h"

#include <mutex>

#include "ChildRun.h"
#include "FileSendCtl.h"

namespace cdtest {

chatdesk::TransferControl FindTransferControl(IRichEditOle* ole, const std::string& stamp) {
    std::vector<chatdesk::TransferControl> controls = chatdesk::TransferControlsNewestFirst(ole);
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        IDispatch* dispatch = nullptr;
        if (!it->Identity() || FAILED(it->Identity()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            continue;
        VARIANT arg, result;
        VariantInit(&arg);
        VariantInit(&result);
        arg.vt = VT_BSTR;
        arg.bstrVal = SysAllocString(std::wstring(stamp.begin(), stamp.end()).c_str());
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        bool same = SUCCEEDED(dispatch->Invoke(6, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                                               nullptr, nullptr)) &&
                    result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
        VariantClear(&arg);
        VariantClear(&result);
        dispatch->Release();
        if (same) return *it;
    }
    return chatdesk::TransferControl();
}

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 4096) & 0xFF);
    return bytes;
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD wrote = 0;
    bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                                wrote == bytes.size());
    CloseHandle(file);
    return ok;
}

bool ReadWhole(const std::wstring& path, std::string* bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    bool ok = size.QuadPart == 0 || (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(size.QuadPart), &got, nullptr) &&
                                     got == size.QuadPart);
    CloseHandle(file);
    return ok;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

long long SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

HWND ControlWindow(const chatdesk::TransferControl& control) {
    vantor::ComPtr<IOleInPlaceObject> inPlace;
    if (!control.Identity() || FAILED(control.Identity()->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void())))
        return nullptr;
    HWND window = nullptr;
    inPlace->GetWindow(&window);
    return window;
}

bool ClickFirstLink(const chatdesk::TransferControl& control) { return testkit::ClickFirstLink(ControlWindow(control)); }

bool AcceptWith(const chatdesk::TransferControl& control, const std::wstring& path, std::wstring* proposed) {
    if (!ControlWindow(control)) return false;
    FileDialogAnswer answer([&](HWND dialog) {
        if (proposed) *proposed = FileDialogAnswer::Proposed(dialog);
        FileDialogAnswer::Confirm(dialog, path);
    });
    ClickFirstLink(control);
    return answer.Found();
}

//--- What the controls paint

namespace {

typedef int(WINAPI* DrawTextFn)(HDC, LPCWSTR, int, LPRECT, UINT);
DrawTextFn g_drawText = nullptr;
std::mutex g_paintedLock;
std::vector<std::wstring> g_painted;

int WINAPI WatchedDrawText(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    if (text) {
        std::lock_guard<std::mutex> hold(g_paintedLock);
        g_painted.emplace_back(text, count < 0 ? wcslen(text) : static_cast<size_t>(count));
    }
    return g_drawText(dc, text, count, rect, format);
}

// Points the control library's import of DrawTextW at the watcher; true once it does.
bool WatchControlLibrary() {
    static bool done = false;
    if (done) return true;
    HMODULE module = GetModuleHandleW(L"FileSendCtl.dll");
    if (!module) return false;
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return false;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name; ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), "user32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), "DrawTextW") != 0) continue;
            DWORD old = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) return false;
            g_drawText = reinterpret_cast<DrawTextFn>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(&WatchedDrawText);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            done = true;
            return true;
        }
    }
    return false;
}

}  // namespace

// COM loads the library where the class is registered; one more reference keeps it
// loaded with the watcher in place.
PaintedLines::PaintedLines() {
    vantor::ComPtr<IClassFactory> factory;
    CoGetClassObject(CLSID_FileSendCtl, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.put_void());
    wchar_t path[MAX_PATH] = {};
    HMODULE module = GetModuleHandleW(L"FileSendCtl.dll");
    if (module && GetModuleFileNameW(module, path, MAX_PATH)) LoadLibraryW(path);
    watching_ = WatchControlLibrary();
}

bool PaintedLines::Seen(const std::wstring& line) const {
    std::lock_guard<std::mutex> hold(g_paintedLock);
    for (const std::wstring& painted : g_painted)
        if (painted == line) return true;
    return false;
}

bool PaintedLines::WaitFor(const std::wstring& line, DWORD timeoutMs) const {
    return Eventually([&] { return Seen(line); }, timeoutMs);
}

}  // namespace cdtest
