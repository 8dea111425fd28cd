#include "DebugOut.h"

#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace vantor {

void DebugLine(const wchar_t* format, ...) {
    wchar_t line[1024];
    va_list args;
    va_start(args, format);
    _vsnwprintf(line, 1023, format, args);
    va_end(args);
    line[1023] = L'\0';
    OutputDebugStringW(line);
}

namespace {

const size_t kDebugBuffer = 1024;

}  // namespace

std::wstring DebugBatch::Add(const wchar_t* format, ...) {
    wchar_t line[kDebugBuffer];
    va_list args;
    va_start(args, format);
    _vsnwprintf(line, kDebugBuffer - 1, format, args);
    va_end(args);
    line[kDebugBuffer - 1] = L'\0';
    std::wstring ready;
    if (lines_.size() + wcslen(line) >= kDebugBuffer) ready.swap(lines_);
    lines_ += line;
    return ready;
}

std::wstring DebugBatch::Take() {
    std::wstring ready;
    ready.swap(lines_);
    return ready;
}

void DebugText(const std::wstring& lines) {
    if (!lines.empty()) OutputDebugStringW(lines.c_str());
}

void DebugLineA(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    _vsnprintf(line, 1023, format, args);
    va_end(args);
    line[1023] = '\0';
    OutputDebugStringA(line);
}

}  // namespace vantor
