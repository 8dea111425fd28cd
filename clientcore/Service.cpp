// Logoff and service application, and the pieces the login shares with them.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ClientCore.h"
#include "Config.h"
#include "CoreState.h"
#include "LoginParts.h"
#include "PresenceCore.h"
#include "Records.h"
#include "RostBase.h"
#include "Text.h"
#include "VantorResults.h"
#include "ZumLibrary.h"

namespace clientcore {

std::string Ansi(const wchar_t* text) { return vantor::WideToAnsi(text); }

void TraceLine(std::initializer_list<std::string> parts) {
    std::string line;
    for (const std::string& p : parts) line += p;
    if (line.size() > 8191) line.resize(8191);
    OutputDebugStringA(line.c_str());
}

void DownloadBoardsAndSubjects(Catalog* catalog, bool trace) {
    char clientType[32];
    vantor::CopyField(clientType, ReadClientType().c_str());
    ZumCatalogInfo board;
    memset(&board, 0, sizeof board);
    int n = Zum().GetCatalog(clientType, -1, &board, 1);
    for (int i = 0; i < n; ++i) {
        memset(&board, 0, sizeof board);
        // -1 is the platform's "skip this one"; any other negative answer is a failure too,
        // and the cleared record must not become an empty board.
        if (Zum().GetCatalog(clientType, i, &board, 0) < 0) continue;
        catalog->boards.push_back(board);
        catalog->subjects.emplace_back();
        if (trace) {
            TraceLine({Ansi(L"\t\t板块名称："), vantor::FieldText(board.name), Ansi(L"，板块描述："),
                       vantor::FieldText(board.description), Ansi(L"，板块Res："), vantor::FieldText(board.resource),
                       "\n"});
        }
        ZumSubjectInfo subject;
        memset(&subject, 0, sizeof subject);
        int m = Zum().GetSubject(-1, &board, &subject);
        for (int j = 0; j < m; ++j) {
            memset(&subject, 0, sizeof subject);
            if (Zum().GetSubject(j, &board, &subject) < 0) continue;
            catalog->subjects.back().push_back(subject);
            TraceLine({Ansi(L"\t\t栏目名称："), vantor::FieldText(subject.name), Ansi(L"，栏目对应服务id："),
                       vantor::FieldText(subject.serviceId), Ansi(L"，栏目AccessMode："),
                       std::to_string(subject.accessMode), Ansi(L"，栏目链接地址："), vantor::FieldText(subject.link),
                       "\n"});
        }
    }
}

void ReleaseLoginModules() {
    LoginState& state = Login();
    if (state.rostBaseModule) {
        auto unload = ROST_EXPORT(RostBase_Unload);
        if (unload && state.store) unload(state.store);
        state.store = nullptr;
        FreeLibrary(state.rostBaseModule);
        state.rostBaseModule = nullptr;
    }
    if (state.presenceModule) {
        auto logoff = PRESENCE_EXPORT(PS_Cco_Logoff);
        if (logoff) logoff();
        FreeLibrary(state.presenceModule);
        state.presenceModule = nullptr;
    }
}

namespace {

// The store calls of an application: only with a loaded store (a null handle reaches no
// store call).
RostBaseHandle LoadedStore() { return Login().rostBaseModule ? Login().store : nullptr; }

// A policy the store already holds is updated; one it does not hold yet (a service signed
// up for after the login) is added to the current account.
template <typename Policy, typename Query, typename Update, typename Add>
void HandPolicyToStore(int serviceId, const Policy& policy, Query query, Update update, Add add) {
    RostBaseHandle store = LoadedStore();
    if (!store || !update) return;
    auto current = ROST_EXPORT(RostBase_GetCurrentAccount);
    FriendHandle account = current ? current(store) : nullptr;
    if (query && add && account && !query(store, account, static_cast<DWORD>(serviceId), nullptr)) {
        add(store, account, &policy, 1, 0);
        return;
    }
    update(store, static_cast<DWORD>(serviceId), &policy);
}

void RefreshBoards() {
    RostBaseHandle store = LoadedStore();
    auto updateBoard = ROST_EXPORT(RostBase_UpdateFriendBoardA);
    auto updateSubject = ROST_EXPORT(RostBase_UpdateFriendSubjectA);
    if (!store || !updateBoard || !updateSubject) return;
    Catalog catalog;
    DownloadBoardsAndSubjects(&catalog, true);
    for (size_t i = 0; i < catalog.boards.size(); ++i) {
        ServiceBoardInfoA board;
        BoardFromCatalogInfo(catalog.boards[i], &board);
        updateBoard(store, nullptr, &board);
        for (const ZumSubjectInfo& s : catalog.subjects[i]) {
            ServiceSubjectInfoA subject;
            SubjectFromSubjectInfo(s, &subject);
            updateSubject(store, nullptr, &board, &subject);
        }
    }
}

int Subscribe(int serviceId, const char* parameters, char (&idText)[32], bool trace) {
    snprintf(idText, sizeof idText, "%d", serviceId);
    ZumSubscribeInfo info;
    memset(&info, 0, sizeof info);
    info.params = parameters;
    int s = Zum().SubscribeService(idText, &info);
    if (s == ZumSuccess) return CCO_OK;
    int result = PlatformFailure(s);
    if (trace) TraceLine({Ansi(L"注册服务失败……"), LastMsgForCaller(), "\n"});
    return result;
}

// The application in either form: subscribe (8-bit parameters, the wide ones converted for
// as long as the subscription needs them), read the service back into `out` and the
// store, refresh the boards.
template <bool Wide, typename Char, typename Policy>
int ApplyService(int serviceId, const Char* parameters, Policy* out) {
    ClearLastMsg();
    ComBracket com;
    char idText[32];
    int result;
    if constexpr (Wide) {
        std::string ansi = vantor::WideToAnsi(parameters);
        result = Subscribe(serviceId, parameters ? ansi.c_str() : nullptr, idText, false);
    } else {
        result = Subscribe(serviceId, parameters, idText, true);
    }
    if (result != CCO_OK) return result;
    ZumServiceInfo record;
    memset(&record, 0, sizeof record);
    int s = Zum().GetService(idText, &record);
    if (s != ZumSuccess) {
        SetLastMsg(Zum().GetLastError());
        TraceLine({Ansi(Wide ? L"服务注册成功之后，获取服务基本信息失败——" : L"获取服务信息失败……"), LastMsgForCaller(), "\n"});
    } else {
        Policy policy;
        if constexpr (Wide) {
            PolicyFromServiceInfoW(record, &policy);
            if (out) *out = policy;
            HandPolicyToStore(serviceId, policy, ROST_EXPORT(RostBase_QueryFriendServicePolicyW),
                              ROST_EXPORT(RostBase_UpdateServicePolicyDataW), ROST_EXPORT(RostBase_AddServicePolicyW));
        } else {
            PolicyFromServiceInfoA(record, &policy);
            if (out) *out = policy;
            HandPolicyToStore(serviceId, policy, ROST_EXPORT(RostBase_QueryFriendServicePolicyA),
                              ROST_EXPORT(RostBase_UpdateServicePolicyDataA), ROST_EXPORT(RostBase_AddServicePolicyA));
        }
    }
    RefreshBoards();
    return CCO_OK;
}

}  // namespace

int ApplyServiceA(int serviceId, const char* parameters, ServicePolicyInfoA* out) {
    return ApplyService<false>(serviceId, parameters, out);
}

int ApplyServiceW(int serviceId, const wchar_t* parameters, ServicePolicyInfoW* out) {
    return ApplyService<true>(serviceId, parameters, out);
}

}  // namespace clientcore

using namespace clientcore;

CLIENTCORE_API int WINAPI Cco_ApplyServiceA(int serviceId, const char* parameters, ServicePolicyInfoA* out) {
    return Guarded([&] { return ApplyServiceA(serviceId, parameters, out); });
}

CLIENTCORE_API int WINAPI Cco_ApplyServiceW(int serviceId, const wchar_t* parameters, ServicePolicyInfoW* out) {
    return Guarded([&] { return ApplyServiceW(serviceId, parameters, out); });
}

CLIENTCORE_API int WINAPI Cco_Logoff(void) {
    ClearLastMsg();
    ReleaseLoginModules();
    ComBracket com;
    OutputDebugStringW(L"Zum_Disconnect，断开zum的链接！\n");
    int s = Zum().Disconnect();
    com.End();
    // Still connected: the login stays, and so does the library that holds the connection.
    if (s != ZumSuccess) return PlatformFailure(s);
    Login().loggedIn = false;
    // The platform library goes here, outside the loader lock; a call still running on
    // another thread keeps it until that call returns.
    Zum().Release();
    return CCO_OK;
}
