#include "SignUpLogic.h"

#include <cstring>

#include "Text.h"

namespace signup {
namespace {

const char kGradeKey[] = "grade=";
const UINT kRecordCodePage = 936;

bool NamesOtherFolder(const std::string& id) {
    return id.empty() || id.find_first_of("\\/:*?\"<>|") != std::string::npos || id.find("..") != std::string::npos;
}

}  // namespace

bool HasSignUpPage(int serviceType) { return serviceType == 6 || serviceType == 17; }

std::string ServicePageUrl(const std::string& serviceUrl, int serviceType) {
    return serviceUrl + std::to_string(serviceType) + "/apply/index.html";
}

int RequestedService(int id, const char* argument) {
    if (id != 1 || !argument) return 0;
    if (strcmp(argument, "6") == 0) return 6;
    if (strcmp(argument, "17") == 0) return 17;
    return 0;
}

RequestText MakeGradeRequest(const std::string& grade) {
    RequestText text(new char[kRequestBytes]);
    std::string whole = kGradeKey + grade;
    size_t keep = vantor::WholeCharsPrefix(whole.c_str(), whole.size(), kRequestBytes - 1);
    memcpy(text.get(), whole.data(), keep);
    text[keep] = '\0';
    return text;
}

std::string RegisterLogBytes(const char* request) {
    const char* grade = request ? strstr(request, kGradeKey) : nullptr;
    if (!grade) return std::string();
    return vantor::EncodeText(L"Quilla(注册记录)：", kRecordCodePage) + (grade + strlen(kGradeKey));
}

bool WriteRegisterLog(const std::wstring& programDir, const std::string& accountId, const char* request) {
    if (NamesOtherFolder(accountId)) return false;
    std::wstring folder = programDir + vantor::AnsiToWide(accountId);
    CreateDirectoryW(folder.c_str(), nullptr);
    HANDLE file = CreateFileW((folder + L"\\register.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string bytes = RegisterLogBytes(request);
    DWORD written = 0;
    bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                written == bytes.size());
    CloseHandle(file);
    return ok;
}

bool RunApply(const ApplyWork& work, int serviceType, const char* request) {
    int result = -1;
    if (work.apply) {
        ServicePolicyInfoA record;
        memset(&record, 0, sizeof record);
        if (work.busy) work.busy(true);
        result = work.apply(serviceType, request, &record);
        if (work.busy) work.busy(false);
    }
    if (result != 0) {
        if (work.refused) work.refused();
        return false;
    }
    if (serviceType == 6 && work.accountId) {
        std::string id = work.accountId();
        if (!id.empty()) WriteRegisterLog(work.programDir, id, request);
    }
    return true;
}

}  // namespace signup
