// The binding to zumbase, the service-platform client library.
//
// ClientCore never links zumbase: the library is loaded by its bare file name on first use
// and each function is looked up by name at every call. A missing library or function
// answers -1001 without calling anything. Each call holds its own reference to the library
// while it runs, so the log-off may free the binding's reference while another thread is
// still inside the library. Nothing is freed from DllMain: under the loader lock that is
// forbidden, and at process exit the library is left to the system.
#pragma once

#include <windows.h>
#include <string>

#include "Handles.h"
#include "outside/zumbase.h"

namespace clientcore {

class ZumLibrary {
public:
    // Loads "zumbase.dll" when it is not loaded yet; a failed load is tried again next time.
    HMODULE Load();
    // Gives up the binding's reference (at a log-off that disconnected); the next call
    // loads the library again.
    void Release();

    int SetServerURL(const char* url);
    int Connect(const char* clientType, const char* version);
    int Disconnect();
    int RegisterUser(const char* text, ZumRegisterInfo* info);
    int Login2();
    int UpdateUserInfoWizard();
    int RegisterWizard();
    int FindFirstService(ZumServiceInfo* out);
    int FindNextService(ZumServiceInfo* out);
    int FindServiceClose();
    int GetService(const char* idText, ZumServiceInfo* out);
    int SubscribeService(const char* idText, ZumSubscribeInfo* info);
    int GetDIYInfo(const char* key, ZumDiyInfo* out, int one);
    int GetCatalog(const char* clientType, int index, ZumCatalogInfo* board, int countOnly);
    int GetSubject(int index, const ZumCatalogInfo* board, ZumSubjectInfo* out);
    int GetNotice(int index, ZumNoticeInfo* out);
    int GetZoneCustomer(int page, int index, ZumZoneQuery* query, int countOnly);
    int GetCustomerPublicInfo(ZumCustomerPublicInfo* out, const char* account);
    int GetCustomerServiceInfo(int index, ZumPolicyInfo* out, int countOnly, const char* account);
    // Text of the platform's last failure: "加载zum库失败" without the library, "" when the
    // function is missing or answers nothing.
    std::string GetLastError();
    // "" when the library or the function is missing or answers nothing.
    std::string GetUniqueServiceSuiteID();

private:
    // The loaded library with a reference for one call, or none.
    vantor::UniqueModule Hold();

    HMODULE module_ = nullptr;
};

ZumLibrary& Zum();

}  // namespace clientcore
