// The connection check, the last-failure text, notices, the page addresses and the kept
// login values.
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "ClientCore.h"
#include "Config.h"
#include "CoreState.h"
#include "Records.h"
#include "Text.h"
#include "VantorResults.h"
#include "ZumLibrary.h"

using namespace clientcore;

namespace {

// Formats into a caller's buffer of `chars` characters, cut (never split) when too long.
void WriteBounded(char* out, size_t chars, const std::string& text) {
    vantor::CopyField(out, chars, text.c_str(), false);
}

void WriteBounded(WCHAR* out, size_t chars, const std::wstring& text) {
    vantor::CopyField(out, chars, text.c_str(), false);
}

std::string BulletinUrl() {
    if (!Login().loggedIn) {
        // The page delivered with the client.
        return vantor::WideToAnsi(ProgramFolder() + L"\\web\\Callboard\\index.htm");
    }
    return ReadCommonUrl(L"BulletinUrl") + ServiceSuiteId() + "/index.htm";
}

std::string AdvertisingUrl() { return ReadCommonUrl(L"AdUrl") + ServiceSuiteId() + "/index.htm"; }

std::string OnlineHelpUrl() { return ReadCommonUrl(L"onlinehelp") + "onlinehelp/" + ServiceSuiteId() + "/index.html"; }

// The platform's page address for kinds 1 and 2; false (with the mapped code) on failure.
bool ReadDiyInfo(int kind, ZumDiyInfo* info, int* result, bool trace) {
    ComBracket com;
    memset(info, 0, sizeof *info);
    int s = Zum().GetDIYInfo(kind == REMOTE_URL_INDEX ? "indexurl" : "payfeeurl", info, 1);
    if (s == ZumSuccess) return true;
    *result = PlatformFailure(s);
    com.End();
    if (trace) DebugTrace("%s%s\n", vantor::WideToAnsi(L"从服务器上获取公告或者广告地址发生错误——").c_str(), LastMsgForCaller());
    return false;
}

}  // namespace

CLIENTCORE_API int WINAPI Cco_IsAlive(int* connected) {
    ClearLastMsg();
    std::string url = ReadCommonUrl(L"ZumUrl");
    OutputDebugStringW(L"设置调用zum_setserverurl");
    DebugTrace("%s\n", url.c_str());
    Zum().SetServerURL(url.c_str());

    ComBracket com;
    OutputDebugStringW(L"正在连接网络——Zum_Connect\n");
    int s = Zum().Connect(ReadClientType().c_str(), ReadProductVersion().c_str());
    OutputDebugStringW(L"网络监测结束\n");
    com.End();
    if (s != ZumSuccess) return PlatformFailure(s);
    if (connected) *connected = 1;
    return CCO_OK;
}

CLIENTCORE_API int WINAPI Cco_IsForceUpdate(void) {
    SetLastMsg(vantor::WideToAnsi(L"不支持本接口"));
    return 0;
}

CLIENTCORE_API const char* WINAPI Cco_GetLastMsg(void) { return LastMsgForCaller(); }

CLIENTCORE_API const char* WINAPI Cco_GetMessengerUrlA(void*) {
    ClearLastMsg();
    return nullptr;
}

CLIENTCORE_API const wchar_t* WINAPI Cco_GetMessengerUrlW(void*) { return nullptr; }

CLIENTCORE_API int WINAPI Cco_GetVantorMessenger(NoticeInfo* records, UINT* count) {
    ClearLastMsg();
    if (!count) return CCO_COUNT_FAILED;
    if (!Login().loggedIn) {
        *count = 0;
        return CCO_OK;
    }
    ComBracket com;
    ZumNoticeInfo notice;
    if (!records) {
        memset(&notice, 0, sizeof notice);
        int n = Zum().GetNotice(-1, &notice);
        // No negative answer is a count (it would read as billions of notices).
        if (n < 0) {
            SetLastMsg(Zum().GetLastError());
            return CCO_COUNT_FAILED;
        }
        *count = static_cast<UINT>(n);
        return CCO_OK;
    }
    for (UINT i = 0; i < *count && i <= static_cast<UINT>(INT_MAX); ++i) {
        // Zeroed before every read, so a notice never shows fields of the one before.
        memset(&notice, 0, sizeof notice);
        if (Zum().GetNotice(static_cast<int>(i), &notice) < 0) break;
        NoticeInfo& r = records[i];
        CopyText(r.t0, notice.t0);
        CopyText(r.t1, notice.t1);
        CopyText(r.t2, notice.t2);
        CopyText(r.t3, notice.t3);
        CopyText(r.t4, notice.t4);
        r.value = notice.value;
    }
    return CCO_OK;
}

CLIENTCORE_API int WINAPI Cco_GetBulletinUrlA(char* out) {
    ClearLastMsg();
    if (!out) return 0;
    WriteBounded(out, CCO_URL_OUT_CHARS, BulletinUrl());
    return 1;
}

CLIENTCORE_API int WINAPI Cco_GetBulletinUrlW(WCHAR* out) {
    ClearLastMsg();
    if (!out) return 0;
    WriteBounded(out, CCO_URL_OUT_CHARS, vantor::AnsiToWide(BulletinUrl()));
    return 1;
}

CLIENTCORE_API int WINAPI Cco_GetAdvertisingUrlA(char* out) {
    ClearLastMsg();
    if (!out) return 0;
    WriteBounded(out, CCO_URL_OUT_CHARS, AdvertisingUrl());
    return 1;
}

CLIENTCORE_API int WINAPI Cco_GetAdvertisingUrlW(WCHAR* out) {
    ClearLastMsg();
    if (!out) return 0;
    WriteBounded(out, CCO_URL_OUT_CHARS, vantor::AnsiToWide(AdvertisingUrl()));
    return 1;
}

CLIENTCORE_API int WINAPI Cco_GetRemoteUrlA(int kind, RemoteUrlInfoA* out) {
    ClearLastMsg();
    if (kind < REMOTE_URL_INDEX || kind > REMOTE_URL_ONLINE_HELP || !out) return CCO_NOT_SUPPORTED;
    if (kind == REMOTE_URL_READ_PAY) {
        WriteBounded(out->url, sizeof out->url, ReadCommonUrl(L"ReadPayUrl"));
        return CCO_OK;
    }
    if (kind == REMOTE_URL_ONLINE_HELP) {
        WriteBounded(out->url, sizeof out->url, OnlineHelpUrl());
        return CCO_OK;
    }
    ZumDiyInfo info;
    int result = CCO_OK;
    if (!ReadDiyInfo(kind, &info, &result, true)) return result;
    CopyText(out->url, info.url);
    CopyText(out->text, info.text);
    memcpy(out->raw, info.raw, sizeof out->raw);
    return CCO_OK;
}

CLIENTCORE_API int WINAPI Cco_GetRemoteUrlW(int kind, RemoteUrlInfoW* out) {
    ClearLastMsg();
    if (kind < REMOTE_URL_INDEX || kind > REMOTE_URL_ONLINE_HELP || !out) return CCO_NOT_SUPPORTED;
    const size_t urlChars = sizeof out->url / sizeof out->url[0];
    if (kind == REMOTE_URL_READ_PAY) {
        WriteBounded(out->url, urlChars, vantor::AnsiToWide(ReadCommonUrl(L"ReadPayUrl")));
        return CCO_OK;
    }
    if (kind == REMOTE_URL_ONLINE_HELP) {
        WriteBounded(out->url, urlChars, vantor::AnsiToWide(OnlineHelpUrl()));
        return CCO_OK;
    }
    ZumDiyInfo info;
    int result = CCO_OK;
    if (!ReadDiyInfo(kind, &info, &result, false)) return result;
    CopyText(out->url, info.url);
    CopyTextIfAny(out->text, info.text);
    memcpy(out->raw, info.raw, sizeof out->raw);
    return CCO_OK;
}

CLIENTCORE_API const char* WINAPI Cco_GetServiceSuiteId(void) {
    ClearLastMsg();
    return ServiceSuiteIdText();
}

CLIENTCORE_API RostBaseHandle WINAPI Cco_GetRostBaseHandle(void) {
    ClearLastMsg();
    return Login().store;
}
