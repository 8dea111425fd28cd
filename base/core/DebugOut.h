// Diagnostics: formatted lines to the debugger output, nothing else.
#pragma once

namespace vantor {

// printf-style, formatted into a 1024-character buffer like every diagnostic of the client.
void DebugLine(const wchar_t* format, ...);
void DebugLineA(const char* format, ...);

}  // namespace vantor
