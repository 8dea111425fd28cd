// A declared page function called by a browser stand-in: the result it answers and the
// trace line of the call.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "PageDocument.h"

namespace pageengine {

// Puts the function's declared answer into result (cleared first; VT_EMPTY for none).
void AnswerFunction(const PageFunction& function, VARIANT* result);

// "script NAME(ARGS) -> true|false", ARGS already written as the stand-in lists them.
std::wstring ScriptTraceLine(const std::wstring& name, const std::wstring& args, bool found);

}  // namespace pageengine
