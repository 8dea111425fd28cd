// The main job's pages where the tests' nginx serves them, for a test that runs the demo
// host's session in a copy of the staged program folder.
#pragma once

#include <string>

namespace hostdemotest {

// The text of "<folder>config\commprof.cfg" with each address of the main job's pages
// (http://127.0.0.1:8600/) moved to `pages`, a URL ending in "/".
std::string AddressesServedAt(const std::wstring& folder, const std::string& pages);

}  // namespace hostdemotest
