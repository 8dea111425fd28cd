// What every object of the control's library shares: its module handle and the counts
// that DllCanUnloadNow reads.
#pragma once

#include <windows.h>

namespace filesend {

HINSTANCE Module();
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
bool ModuleInUse();

}  // namespace filesend
