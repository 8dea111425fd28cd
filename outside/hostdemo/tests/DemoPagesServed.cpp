#include "DemoPagesServed.h"

#include "TestSupport.h"

namespace hostdemotest {

std::string AddressesServedAt(const std::wstring& folder, const std::string& pages) {
    std::string text = testkit::ReadFileBytes(folder + L"config\\commprof.cfg");
    const std::string demo = "http://127.0.0.1:8600/";
    for (size_t at = text.find(demo); at != std::string::npos; at = text.find(demo, at + pages.size())) {
        text.replace(at, demo.size(), pages);
    }
    return text;
}

}  // namespace hostdemotest
