// The test trace: with SURFVIEW_TRACE naming a file, one UTF-8 line per call or event.
#pragma once

#include <string>

namespace surfview {

void Trace(const std::wstring& line);
// 8-bit text in the ANSI code page, for the trace.
std::wstring FromAnsi(const char* text);

}  // namespace surfview
