// Resource ids of the after-sale pane.
#pragma once

#define IDD_AFTERCARE 101
