#pragma once

namespace zumstub {

// Script text of the built-in demo platform (converted to the ANSI code page before parsing).
const wchar_t* DemoPlatformText();

}  // namespace zumstub
