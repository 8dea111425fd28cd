// EnrolWizard.dll: the first-run wizard that signs the user up with the service platform.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The wizard's page addresses: the first is kept and not shown, the second is the sign-up
// page, the third the agreement page. A null text keeps that address as it was.
void WINAPI ZumEX_SetRegWizardPara(const char* first, const char* signUpUrl, const char* agreementUrl);

// Shows the wizard modally: 1 after the platform took the registration, 100 after the page
// asked to finish, 0 otherwise (closed, given up, registration refused).
int WINAPI ZumEX_RegisterWizard(const char* text1, const char* text2);

#ifdef __cplusplus
}
#endif
