// Runs the container in its own program folder: each argument group is one step, and
// every answer goes to the shared call trace beside the plug-ins' own lines.
//   load <ctx> | unload | query <id> | loadplug <id> | unloadplug <id>
//   action <id> <cmd> | send <id> <cmd> <value> | sendtext <id> <cmd> <text> | prepare <id> | loaded <file> | dialogs | pump
//   ini <file> <section> <key> <value>   (file relative to the program folder)
//   show | shot <file>                   (the host window on screen, saved as a bitmap)
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "TabPlug.h"
#include "Trace.h"
#include "outside/CoreFront.h"
#include "outside/OrderHub.h"

using plugtest::Trace;

namespace {

HMODULE g_container = nullptr;
HWND g_host = nullptr;

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

void Pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    MSG msg;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

PlugId Id(const char* text) { return static_cast<PlugId>(strtoll(text, nullptr, 0)); }

// The host window as it is on screen, saved as a 24-bit bitmap file.
bool SaveShot(HWND wnd, const std::string& path) {
    RECT rc;
    GetWindowRect(wnd, &rc);
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    int stride = (width * 3 + 3) & ~3;
    std::string bytes(54 + static_cast<size_t>(stride) * height, '\0');
    BITMAPFILEHEADER* file = reinterpret_cast<BITMAPFILEHEADER*>(&bytes[0]);
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(&bytes[14]);
    file->bfType = 0x4D42;
    file->bfSize = static_cast<DWORD>(bytes.size());
    file->bfOffBits = 54;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 24;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
    SelectObject(mem, old);
    GetDIBits(mem, bitmap, 0, height, &bytes[54], info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    CloseHandle(h);
    return ok;
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
            Pump(300);
        } else if (step == "shot") {
            ++i;
            RedrawWindow(g_host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Pump(300);
            Trace(self, "shot %d", SaveShot(g_host, folder + arg) ? 1 : 0);
        } else if (step == "pump") {
            Pump(200);
        }
    }
    Pump(50);
    Trace(self, "exit");
    return 0;
}
