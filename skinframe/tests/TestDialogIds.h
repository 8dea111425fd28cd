// Template and control ids of the dialogs in SkinFrameTestDlgs.dll.
#pragma once

#define IDD_SKINNED 101
#define IDD_CHILD 102
#define IDD_SYSTEM 103

#define IDC_LABEL 1001
#define IDC_READONLY 1002
#define IDC_OWNERDRAW 1003
