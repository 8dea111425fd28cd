// The test trace: with BROWSERCTL_TRACE naming a file, one UTF-8 line per call or event.
#pragma once

#include <string>

#include "PageTrace.h"

namespace browserctl {

inline void Trace(const std::wstring& line) { pageengine::AppendTrace(L"BROWSERCTL_TRACE", line); }

}  // namespace browserctl
