#include "SurfTrace.h"

#include "PageTrace.h"
#include "Text.h"

namespace surfview {

std::wstring FromAnsi(const char* text) { return vantor::AnsiToWide(text); }

void Trace(const std::wstring& line) { pageengine::AppendTrace(L"SURFVIEW_TRACE", line); }

}  // namespace surfview
