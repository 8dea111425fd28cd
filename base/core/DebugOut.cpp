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
