// Resource ids of the sign-up window.
#pragma once

#define IDD_SIGNUP 101
#define IDC_SIGNUP_BUSY 1000
