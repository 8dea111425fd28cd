#include "CoreState.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ModulePath.h"
#include "Sync.h"
#include "Text.h"
#include "VantorResults.h"
#include "ZumLibrary.h"

namespace clientcore {

namespace {

const size_t kLastMsgChars = 1024;
const size_t kSuiteIdChars = 64;

vantor::CriticalSection g_msgLock;
char g_lastMsg[kLastMsgChars];

// Read by other threads (the update check) while a login may be storing a new one.
vantor::CriticalSection g_suiteLock;
char g_suiteIdText[kSuiteIdChars];

}  // namespace

LoginState& Login() {
    static LoginState state;
    return state;
}

std::string ServiceSuiteId() {
    vantor::Lock lock(g_suiteLock);
    return g_suiteIdText;
}

void SetServiceSuiteId(const char* id) {
    std::string text = id ? id : "";
    if (text.size() >= kSuiteIdChars) DebugTrace("service-suite id cut to %u characters\n", unsigned(kSuiteIdChars - 1));
    vantor::Lock lock(g_suiteLock);
    vantor::CopyField(g_suiteIdText, kSuiteIdChars, text.c_str());
}

const char* ServiceSuiteIdText() {
    static thread_local char copy[kSuiteIdChars];
    vantor::Lock lock(g_suiteLock);
    memcpy(copy, g_suiteIdText, kSuiteIdChars);
    return copy;
}

void ClearLastMsg() {
    vantor::Lock lock(g_msgLock);
    g_lastMsg[0] = '\0';
}

void SetLastMsg(const std::string& text) {
    vantor::Lock lock(g_msgLock);
    vantor::CopyField(g_lastMsg, kLastMsgChars, text.c_str());
}

const char* LastMsgForCaller() {
    static thread_local char copy[kLastMsgChars];
    vantor::Lock lock(g_msgLock);
    memcpy(copy, g_lastMsg, kLastMsgChars);
    return copy;
}

int MapPlatformStatus(int status) {
    long long mapped = status >= 0 ? static_cast<long long>(status) + CcoErrPlatformBase
                                   : static_cast<long long>(status) + CcoErrPlatformNegBase;
    if (mapped < CcoErrPlatformBase || mapped > INT_MAX) {
        DebugTrace("platform status %d has no result code of its own\n", status);
        return CCO_PLATFORM_UNMAPPED;
    }
    return static_cast<int>(mapped);
}

int PlatformFailure(int status) {
    SetLastMsg(Zum().GetLastError());
    return MapPlatformStatus(status);
}

void DebugTrace(const char* format, ...) {
    char line[8192];
    memset(line, 0, sizeof line);
    va_list args;
    va_start(args, format);
    _vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    OutputDebugStringA(line);
}

std::wstring ProgramFolder() {
    std::wstring dir = vantor::ProgramDir();
    if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    return dir;
}

}  // namespace clientcore
