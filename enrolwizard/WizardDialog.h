// The wizard's windows: the main dialog with its sign-up and agreement pages.
#pragma once

#include <windows.h>
#include <string>

#include "EnrolLogic.h"

namespace enrolwizard {

// Runs the main dialog modally and gives the wizard result.
int RunWizard(HINSTANCE module, const PageUrls& urls, const char* text1, const char* text2);

}  // namespace enrolwizard
