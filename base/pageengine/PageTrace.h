// The test trace of the browser stand-ins: with the named environment variable naming a
// file, one UTF-8 line per call or event is appended to it.
#pragma once

#include <string>

namespace pageengine {

void AppendTrace(const wchar_t* variable, const std::wstring& line);

}  // namespace pageengine
