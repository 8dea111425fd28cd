#include "BindingPlatform.h"

#include <shlobj.h>

namespace enrolwizard {

CompanionPlace SystemCompanionPlace() {
    CompanionPlace place;
    wchar_t folder[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        place.commonData = folder;
    }
    return place;
}

int BindingPlatform::GetCustomerPublicInfo(ZumCustomerPublicInfo* out) {
    zum_.GetCustomerPublicInfo(out, nullptr);
    // The page answers 0 whatever the platform said; the walk reads whatever was filled.
    return 0;
}

int BindingPlatform::WriteCompanionSettings() {
    ZumServiceInfo service = {};
    if (zum_.GetService("11", &service) != ZumSuccess) return -1;
    if (place_.commonData.empty()) return -1;
    return enrolwizard::WriteCompanionSettings(place_.commonData, service, place_.root, place_.subKey.c_str());
}

}  // namespace enrolwizard
