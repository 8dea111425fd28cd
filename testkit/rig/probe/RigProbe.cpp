// A tiny DLL that proves the rig: loaded by file name, called by export name and ordinal.
#include <windows.h>

extern "C" int WINAPI Probe_Add(int a, int b) { return a + b; }
extern "C" int WINAPI Probe_Version() { return 7; }
