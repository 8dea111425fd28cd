// Resource ids of PageHost.
#pragma once

#define IDD_PAGEHOST 101
#define IDI_PAGEHOST 128
