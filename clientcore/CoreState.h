// Module state of ClientCore: the login state, the last-failure text, result mapping,
// the COM bracket and diagnostics.
#pragma once

#include <windows.h>
#include <string>

#include "ContactRecords.h"

namespace clientcore {

// What a login leaves for the rest of the module, until Cco_Logoff. The login, the logoff
// and the service application change it and are not made at the same time.
struct LoginState {
    bool loggedIn = false;
    HMODULE presenceModule = nullptr;
    HMODULE rostBaseModule = nullptr;
    RostBaseHandle store = nullptr;
};
LoginState& Login();

// The service-suite id of the last login ("" before one). Kept at most 63 characters, so
// every URL built from it stays inside the callers' buffers.
std::string ServiceSuiteId();
void SetServiceSuiteId(const char* id);
// The id for Cco_GetServiceSuiteId: the calling thread's own copy, valid until that
// thread asks again, so a login storing a new id never tears it.
const char* ServiceSuiteIdText();

// The last-failure text. Worker threads of the plug-ins call ClientCore too, so the text is
// kept under a lock and every reader gets its own copy.
void ClearLastMsg();
void SetLastMsg(const std::string& text);
const char* LastMsgForCaller();

// The result for a platform failure that has no code of its own.
enum { CCO_PLATFORM_UNMAPPED = 39999 };

// A platform status c that is not success as ClientCore's result: c + 30000 (c >= 0) or
// c + 40000 (c < 0). Codes that would fall onto ClientCore's own results (below 30000) or
// overflow become 39999.
int MapPlatformStatus(int status);
// Takes the platform's failure text into the last-failure text; answers the mapped code.
int PlatformFailure(int status);

// CoInitialize for a stretch of platform calls. Uninitialises only what it initialised, so
// a caller's own apartment (or its multithreaded one) is never torn down.
class ComBracket {
public:
    ComBracket() : hr_(CoInitialize(nullptr)) {}
    ~ComBracket() { End(); }
    void End() {
        if (SUCCEEDED(hr_)) CoUninitialize();
        hr_ = E_FAIL;
    }
    // Leaves COM initialised on this thread (the end of a successful login).
    void Keep() { hr_ = E_FAIL; }
    // Whether this bracket holds an initialisation, and whether the thread had one before.
    bool Holds() const { return SUCCEEDED(hr_); }
    bool ThreadHadCom() const { return hr_ == S_FALSE; }
    ComBracket(const ComBracket&) = delete;
    ComBracket& operator=(const ComBracket&) = delete;
private:
    HRESULT hr_;
};

// Runs an export's body; whatever it throws (memory running out while lists grow) ends
// as the unmapped failure instead of unwinding into the caller.
template <typename Body>
int Guarded(Body body) {
    try {
        return body();
    } catch (...) {
        return CCO_PLATFORM_UNMAPPED;
    }
}

// printf-style diagnostic line (cut to 8191 characters) to the debugger output. Texts from
// the platform or the configuration go in as arguments, never as the format.
void DebugTrace(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));

// The program folder (folder of the running EXE), without a trailing backslash.
std::wstring ProgramFolder();

}  // namespace clientcore
