// HelpDesk.dll: the self-service pane, a tab plug-in of the short form (ShortTabPlug.h)
// that shows the platform's self-service page in a tool window two thirds the size of the
// screen. Closing the window is reported to plug -13 as WM_COMMAND ID_PANE_CLOSED_COMMAND;
// the window itself stays.
#pragma once

#include "TabPlug.h"
#include "VantorMessages.h"
