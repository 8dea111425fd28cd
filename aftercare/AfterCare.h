// AfterCare.dll: the after-sale service pane, a tab plug-in of the short form
// (ShortTabPlug.h). A topmost skinned window on the desktop shows the service-19 page of the
// account's state; the page applies through the pane. Closing is reported to plug -13 as
// UM_PANE_CLOSED with lParam 1 when the user was registered while the pane was shown.
#pragma once

#include "TabPlug.h"
#include "VantorMessages.h"
