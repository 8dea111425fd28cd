// Window messages that travel between deliverables.
#pragma once

// Posted to the window of PLUG_PANE_OWNER when a service pane closes; AfterCare sets
// lParam to 1 when it registered the user while it was shown, the member form sends 0.
#define UM_PANE_CLOSED 3024

// HelpDesk's pane-closed notice is WM_COMMAND with this id, posted to the same window.
#define ID_PANE_CLOSED_COMMAND 1827

// Sent by a window that centres itself to its owner (wParam 0, lParam 0); a non-zero
// answer is the window to centre on instead.
#define WM_QUERYCENTERWND 875
