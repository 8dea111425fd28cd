// The page addresses the exports keep for the wizard.
#pragma once

#include "EnrolLogic.h"

namespace enrolwizard {

// The addresses given to ZumEX_SetRegWizardPara, or the defaults on the host of [CommonUrl]
// ZumUrl in "config\commprof.cfg" of the program folder.
PageUrls CurrentPageUrls();
void SetPageUrls(const char* first, const char* signUp, const char* agreement);

}  // namespace enrolwizard
