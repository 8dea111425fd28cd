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

// A text that one thread stores while others read it: each reader gets a copy of its
// own, kept per thread so the pointer handed out stays valid until that thread asks again.
// The per-thread copy belongs to the size: keep one object of each size.
template <size_t N>
class SharedText {
public:
    void Set(const char* text) {
        vantor::Lock lock(lock_);
        vantor::CopyField(text_, N, text);
    }
    std::string Get() {
        vantor::Lock lock(lock_);
        return text_;
    }
    const char* CopyForThisThread() {
        static thread_local char copy[N];
        vantor::Lock lock(lock_);
        memcpy(copy, text_, N);
        return copy;
    }

private:
    vantor::CriticalSection lock_;
    char text_[N] = {};
};

SharedText<kLastMsgChars> g_lastMsg;
// Read by other threads (the update check) while a login may be storing a new one.
SharedText<kSuiteIdChars> g_suiteId;

}  // namespace

LoginState& Login() {
    static LoginState state;
    return state;
}

std::string ServiceSuiteId() { return g_suiteId.Get(); }

void SetServiceSuiteId(const char* id) {
    std::string text = id ? id : "";
    if (text.size() >= kSuiteIdChars) DebugTrace("service-suite id cut to %u characters\n", unsigned(kSuiteIdChars - 1));
    g_suiteId.Set(text.c_str());
}

const char* ServiceSuiteIdText() { return g_suiteId.CopyForThisThread(); }

void ClearLastMsg() { g_lastMsg.Set(""); }

void SetLastMsg(const std::string& text) { g_lastMsg.Set(text.c_str()); }

const char* LastMsgForCaller() { return g_lastMsg.CopyForThisThread(); }

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
