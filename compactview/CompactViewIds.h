// Controls of the compact view (template 101).
#pragma once

#define IDD_COMPACTVIEW 101
#define IDC_SWITCH 1001
#define IDC_CLOSE 1002
