// The exports of EnrolWizard.dll.
#include "EnrolWizard.h"

#include <ole2.h>

#include "ModulePath.h"
#include "WizardDialog.h"
#include "WizardUrls.h"

using namespace enrolwizard;

extern "C" void WINAPI ZumEX_SetRegWizardPara(const char* first, const char* signUpUrl, const char* agreementUrl) {
    SetPageUrls(first, signUpUrl, agreementUrl);
}

extern "C" int WINAPI ZumEX_RegisterWizard(const char* text1, const char* text2) {
    // The browser is activated in place, which needs OLE, not only COM; only a successful
    // start is undone, so that a caller's own initialisation stays.
    HRESULT ole = OleInitialize(nullptr);
    int result = RunWizard(vantor::ThisModule(), CurrentPageUrls(), text1, text2);
    if (SUCCEEDED(ole)) OleUninitialize();
    return result;
}
