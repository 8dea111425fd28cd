// The control's property page: an empty "General" page, for hosts that show pages.
#pragma once

#include <ocidl.h>

namespace filesend {

HRESULT CreatePropertyPage(REFIID riid, void** out);

}  // namespace filesend
