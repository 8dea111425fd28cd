#include "EnrolLogic.h"

#include <stdlib.h>

#include "DebugOut.h"
#include "Text.h"
#include "XmlDoc.h"

namespace enrolwizard {

std::string SchemeAndHost(const std::string& url) {
    size_t scheme = url.find("://");
    if (scheme == std::string::npos || scheme == 0) return std::string();
    size_t hostStart = scheme + 3;
    size_t hostEnd = url.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos) hostEnd = url.size();
    if (hostEnd == hostStart) return std::string();
    return url.substr(0, hostEnd);
}

PageUrls DefaultPageUrls(const std::string& zumUrl) {
    std::string host = SchemeAndHost(zumUrl);
    PageUrls urls;
    urls.signUp = host + kSignUpPagePath;
    urls.agreement = host + kAgreementPagePath;
    return urls;
}

PageCommand CommandFor(int idevent) {
    switch (idevent) {
    case 0: return PageCommand::KeepText;
    case 1: return PageCommand::StartWorker;
    case 2: return PageCommand::Close;
    case 3: return PageCommand::ShowAgreement;
    case 4: return PageCommand::Finish;
    default: return PageCommand::None;
    }
}

bool ReadEventElement(const std::string& element, int* idevent, std::string* text) {
    vantor::xml::XmlDoc doc;
    if (!doc.LoadText(vantor::AnsiToWide(element))) return false;
    vantor::xml::XmlNode root = doc.Root();
    if (!root) return false;
    *idevent = _wtoi(root.AttributeOr(L"idevent").c_str());
    *text = vantor::WideToAnsi(root.Text());
    return true;
}

std::string FailureText(const std::string& lastError) {
    // The page's texts are 8-bit in the ANSI code page, like the platform's.
    std::string text = vantor::WideToAnsi(L"注册用户失败了");
    if (!lastError.empty()) text += vantor::WideToAnsi(L"——") + lastError;
    return text + vantor::WideToAnsi(L"！");
}

bool NotYetSubscribed(const ZumServiceInfo& service) { return service.state == 0 && service.flag1 == 0; }

static int ServiceNumber(const ZumServiceInfo& service) { return atoi(vantor::FieldText(service.id).c_str()); }

std::string SubscriptionParameters(const ZumServiceInfo& service, const ZumCustomerPublicInfo& info) {
    switch (ServiceNumber(service)) {
    case 3: return "province=" + vantor::FieldText(info.province);
    case 11: return "city=" + vantor::FieldText(info.city);
    default: return std::string();
    }
}

SignUpOutcome RunSignUp(Platform& platform, const std::string& text, std::vector<ZumServiceInfo>* services) {
    services->clear();
    if (platform.RegisterUser(text) != ZumSuccess) {
        vantor::DebugLine(L"注册用户——注册用户失败了\n");
        return SignUpOutcome::Refused;
    }
    platform.SetResult(1);
    if (platform.Login() != ZumSuccess) {
        platform.Acknowledge();
        vantor::DebugLine(L"注册用户——新用户登录失败了\n");
        return SignUpOutcome::Registered;
    }
    ZumServiceInfo record = {};
    if (platform.FindFirstService(&record) != ZumSuccess) {
        platform.Acknowledge();
        vantor::DebugLine(L"注册用户——查找服务策略失败了\n");
        return SignUpOutcome::Registered;
    }
    ZumCustomerPublicInfo info = {};
    platform.GetCustomerPublicInfo(&info);
    do {
        services->push_back(record);
        if (NotYetSubscribed(record)) {
            platform.SubscribeService(vantor::FieldText(record.id), SubscriptionParameters(record, info));
        }
        // The companion needs its settings whether the service was taken now or before.
        if (ServiceNumber(record) == 11) platform.WriteCompanionSettings();
        record = ZumServiceInfo{};
    } while (platform.FindNextService(&record) == ZumSuccess);
    platform.FindServiceClose();
    vantor::DebugLine(L"注册用户——注册过程成功了\n");
    return SignUpOutcome::Registered;
}

static bool WriteIniValue(const std::wstring& file, const wchar_t* key, const char* field, size_t width) {
    std::wstring value = vantor::AnsiToWide(field, width);
    return WritePrivateProfileStringW(L"QmzConfig", key, value.c_str(), file.c_str()) != FALSE;
}

int WriteCompanionSettings(const std::wstring& commonData, const ZumServiceInfo& service, HKEY root,
                           const wchar_t* subKey) {
    std::wstring folder = commonData;
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    folder += L"Vantor\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"QmzSetting\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring config = folder + L"config\\";
    CreateDirectoryW(config.c_str(), nullptr);
    std::wstring ini = config + L"Qmz.ini";
    int count = service.codeCount;
    WriteIniValue(ini, L"LoginID", count > 0 ? service.codes[0] : "", sizeof(service.codes[0]));
    WriteIniValue(ini, L"PWD", count > 1 ? service.codes[1] : "", sizeof(service.codes[1]));

    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) return -1;
    DWORD bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
    LONG set = RegSetValueExW(key, L"SettingDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()), bytes);
    RegCloseKey(key);
    return set == ERROR_SUCCESS ? 0 : -1;
}

}  // namespace enrolwizard
