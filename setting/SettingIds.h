// Controls of the settings dialog (template 101).
#pragma once

#define IDD_SETTINGS 101
#define IDC_RUN_AT_START 1005
#define IDC_APPLY 1007
#define IDC_CANCEL 1008
#define IDC_OK 1009
#define IDC_BACKGROUNDS 1010
#define IDC_PREVIEW 1001
#define IDC_CHOOSE_PICTURE 1012
#define IDC_DEFAULT_BACKGROUND 1006
