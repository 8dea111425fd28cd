// Resource ids of the strip library.
#pragma once

#define IDD_STRIP_PANEL 101
