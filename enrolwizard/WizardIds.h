// Dialog templates and controls of the wizard.
#pragma once

#define IDD_ENROL_MAIN 1000
#define IDD_ENROL_SIGNUP 1001
#define IDD_ENROL_AGREEMENT 1003

#define IDC_ENROL_CONNECTING 1000
#define IDC_ENROL_BROWSER 1001
#define IDC_ENROL_GIVE_UP 1002
#define IDC_ENROL_ACCEPT 1003
