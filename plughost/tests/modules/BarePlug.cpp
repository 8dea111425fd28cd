// A library without the tab plug-in exports.
#include <windows.h>

extern "C" int WINAPI BarePlug_Version(void) { return 1; }
