#include "DebugLines.h"

#include "Sync.h"
#include "Text.h"

namespace testkit {

namespace {

#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006L
#endif
#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000AL
#endif

struct Collector {
    vantor::CriticalSection lock;
    std::vector<std::wstring> lines;
    PVOID handler = nullptr;
    int users = 0;
};

Collector& TheCollector() {
    static Collector* collector = new Collector;  // outlives every static destructor
    return *collector;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    std::wstring line;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        size_t chars = static_cast<size_t>(record->ExceptionInformation[0]);
        if (!text) return EXCEPTION_CONTINUE_SEARCH;
        line.assign(text, wcsnlen(text, chars));
    } else if (record->ExceptionCode == DBG_PRINTEXCEPTION_C) {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        size_t bytes = static_cast<size_t>(record->ExceptionInformation[0]);
        if (!text) return EXCEPTION_CONTINUE_SEARCH;
        line = vantor::AnsiToWide(std::string(text, strnlen(text, bytes)));
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    Collector& c = TheCollector();
    vantor::Lock lock(c.lock);
    c.lines.push_back(line);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugLines::DebugLines() {
    Collector& c = TheCollector();
    vantor::Lock lock(c.lock);
    if (c.users++ == 0) c.handler = AddVectoredExceptionHandler(1, OnException);
}

DebugLines::~DebugLines() {
    Collector& c = TheCollector();
    vantor::Lock lock(c.lock);
    if (--c.users == 0 && c.handler) {
        RemoveVectoredExceptionHandler(c.handler);
        c.handler = nullptr;
    }
}

void DebugLines::Clear() {
    Collector& c = TheCollector();
    vantor::Lock lock(c.lock);
    c.lines.clear();
}

std::vector<std::wstring> DebugLines::Lines() const {
    Collector& c = TheCollector();
    vantor::Lock lock(c.lock);
    return c.lines;
}

size_t DebugLines::Count(const std::wstring& fragment) const {
    size_t count = 0;
    for (const std::wstring& line : Lines())
        if (line.find(fragment) != std::wstring::npos) ++count;
    return count;
}

bool DebugLines::WaitFor(const std::wstring& fragment, size_t count, DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    for (;;) {
        if (Count(fragment) >= count) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

}  // namespace testkit
