// The login: platform login, account data, services, catalog, pending applications, the
// presence server, the contact file and the contact store, with progress reports.
#include <windows.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "AccountName.h"
#include "ClientCore.h"
#include "CoreState.h"
#include "LoginParts.h"
#include "PresenceCore.h"
#include "Records.h"
#include "RostBase.h"
#include "Text.h"
#include "VantorResults.h"
#include "ZumLibrary.h"

namespace clientcore {

namespace {

const wchar_t kCheckingAccount[] = L"正在验证帐号和密码... ...";
const wchar_t kDownloadingServices[] = L"正在下载服务信息... ...";
const wchar_t kPresenceLogin[] = L"正在登录在线服务器... ...";
const wchar_t kLoadingBasics[] = L"正在加载基本信息... ...";
const wchar_t kLoadingContacts[] = L"正在加载通讯录... ...";

// The thread on which a login last left its COM initialisation in place.
DWORD g_comKeptOn = 0;

bool DirectoryExists(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found = true;
    } while (!found && FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

// The value of a "key=value" code: after the first "=", up to the first ";" when cut.
std::string CookieValue(const char (&code)[120], bool cutAtSemicolon) {
    std::string text = vantor::FieldText(code);
    size_t eq = text.find('=');
    if (eq == std::string::npos) return std::string();
    std::string value = text.substr(eq + 1);
    if (cutAtSemicolon) value = value.substr(0, value.find(';'));
    return value;
}

template <bool Wide>
class LoginRun {
public:
    using Account = typename std::conditional<Wide, FriendInfoW, FriendInfoA>::type;
    using Policy = typename std::conditional<Wide, ServicePolicyInfoW, ServicePolicyInfoA>::type;
    using Proc = typename std::conditional<Wide, LoginProgressProcW, LoginProgressProcA>::type;

    LoginRun(Proc progress, void* context) : progress_(progress), context_(context) {
        memset(&account_, 0, sizeof account_);
        memset(&presenceRecord_, 0, sizeof presenceRecord_);
    }

    int Run() {
        ClearLastMsg();
        // A login without a logoff before it: what the earlier one loaded goes first.
        ReleaseLoginModules();
        if (!Report(3, kCheckingAccount) || !PlatformLogin()) return Failed();
        if (!Report(4, kCheckingAccount) || !ReadAccount()) return Failed();
        if (!Report(5, kCheckingAccount)) return Failed();
        if (!Wide) {
            ZumNoticeInfo notice;
            memset(&notice, 0, sizeof notice);
            Zum().GetNotice(-1, &notice);
        }
        if (!Report(6, kCheckingAccount)) return Failed();
        if (!Wide) {
            SetServiceSuiteId(Zum().GetUniqueServiceSuiteID().c_str());
            TraceLine({Ansi(L"\t\t服务套餐id为："), ServiceSuiteId(), "\n"});
        }
        if (!Report(7, kDownloadingServices)) return Failed();
        OutputDebugStringW(L"获取服务策略数据...\n");
        if (!EnumerateServices()) return Failed();
        if (!Report(7, kDownloadingServices)) return Failed();
        OutputDebugStringW(L"\t获取板块栏目信息... ...\n");
        DownloadBoardsAndSubjects(&catalog_, !Wide);
        if (!Report(8, kDownloadingServices)) return Failed();
        if (ApplyPendingServices() && !Wide) {
            policies_.clear();
            catalog_ = Catalog();
            if (!EnumerateServices()) return Failed();
            DownloadBoardsAndSubjects(&catalog_, true);
        }

        bool presence = false;
        for (const Policy& p : policies_) {
            if (p.id == SERVICE_PRESENCE) presence = true;
        }
        std::wstring folder = ProgramFolder() + L"\\" + AccountIdWide();
        if (!DirectoryExists(folder)) CreateDirectoryW(folder.c_str(), nullptr);

        if (presence) {
            if (!Report(9, kPresenceLogin)) return Failed();
            if (!PresenceStage(folder)) return Failed();
        } else if (!Wide) {
            if (!Report(9, kLoadingBasics)) return Failed();
        }
        // The 8-bit login announces the store once more after the download.
        if (!Wide || !presence) {
            if (!Report(10, kLoadingContacts)) return Failed();
        }
        StoreStage();
        Login().loggedIn = true;
        KeepCom();
        return CCO_OK;
    }

private:
    bool Report(int step, const wchar_t* text) {
        if (!progress_) return true;
        BOOL answer;
        if constexpr (Wide) {
            answer = progress_(step, text, context_);
        } else {
            answer = progress_(step, vantor::WideToAnsi(text).c_str(), context_);
        }
        if (static_cast<BYTE>(answer) != 0) return true;
        result_ = CCO_CANCELLED;
        return false;
    }

    // COM stays initialised for the host after a login, but one login's reference per
    // thread is enough: logging in again on that thread adds none.
    void KeepCom() {
        DWORD thread = GetCurrentThreadId();
        if (com_.ThreadHadCom() && g_comKeptOn == thread) {
            com_.End();
            return;
        }
        if (com_.Holds()) g_comKeptOn = thread;
        com_.Keep();
    }

    // The one way out of a failed or cancelled login.
    int Failed() {
        if (!ownMessage_) SetLastMsg(Zum().GetLastError());
        com_.End();
        return result_;
    }

    bool FailPlatform(int status) {
        result_ = PlatformFailure(status);
        return false;
    }

    bool PlatformLogin() {
        int last = ZumErrRetryLogin;
        for (int attempt = 0; attempt < 3; ++attempt) {
            int s = Zum().Login2();
            if (s == ZumSuccess) return true;
            if (s == ZumErrNeedUserInfo || s == ZumErrNeedRegister) {
                int w = s == ZumErrNeedUserInfo ? Zum().UpdateUserInfoWizard() : Zum().RegisterWizard();
                if (w != ZumSuccess) return FailPlatform(w);
                last = ZumSuccess;
            } else if (s == ZumErrRetryLogin) {
                last = s;
            } else {
                return FailPlatform(s);
            }
        }
        return last == ZumSuccess ? true : FailPlatform(last);
    }

    bool ReadAccount() {
        ZumCustomerPublicInfo info;
        memset(&info, 0, sizeof info);
        int s = Zum().GetCustomerPublicInfo(&info, nullptr);
        CopyText(account_.id, info.account);
        CopyText(account_.nickname, info.nickname);
        CopyText(account_.province, info.province);
        CopyText(account_.city, info.city);
        account_.age = static_cast<SHORT>(info.age);
        account_.sex = static_cast<SHORT>(info.sex);
        // The id becomes a folder and a file path: without a usable one nothing is made.
        if (s != ZumSuccess) {
            result_ = PlatformFailure(s);
            if (std::string(LastMsgForCaller()).empty()) SetLastMsg(Ansi(L"服务平台没有给出帐号信息"));
            ownMessage_ = true;
            return false;
        }
        if (!vantor::IsUsableAccountName(AccountIdWide())) {
            result_ = CCO_PLATFORM_UNMAPPED;
            SetLastMsg(Ansi(L"服务平台给出的帐号不能用作帐号目录名：") + AccountIdAnsi());
            ownMessage_ = true;
            return false;
        }
        return true;
    }

    std::string AccountIdAnsi() const {
        if constexpr (Wide) {
            return vantor::WideToAnsi(vantor::FieldText(account_.id));
        } else {
            return vantor::FieldText(account_.id);
        }
    }

    std::wstring AccountIdWide() const {
        if constexpr (Wide) {
            return vantor::FieldText(account_.id);
        } else {
            return vantor::AnsiToWide(vantor::FieldText(account_.id));
        }
    }

    bool EnumerateServices() {
        ZumServiceInfo record;
        memset(&record, 0, sizeof record);
        int s = Zum().FindFirstService(&record);
        if (s != ZumSuccess) {
            result_ = CCO_SERVICE_WALK_FAILED;
            return false;
        }
        if (Wide) SetServiceSuiteId(Zum().GetUniqueServiceSuiteID().c_str());
        memset(&presenceRecord_, 0, sizeof presenceRecord_);
        while (s == ZumSuccess) {
            if (!Wide) {
                TraceLine({Ansi(L"\t找到一个服务，服务id："), vantor::FieldText(record.id), Ansi(L"，服务名称："),
                           vantor::FieldText(record.name), Ansi(L"，服务描述："), vantor::FieldText(record.description),
                           "\n"});
            }
            Policy policy;
            if constexpr (Wide) {
                PolicyFromServiceInfoW(record, &policy);
            } else {
                PolicyFromServiceInfoA(record, &policy);
            }
            policies_.push_back(policy);
            if (FieldInt(record.id) == SERVICE_PRESENCE) presenceRecord_ = record;
            memset(&record, 0, sizeof record);
            s = Zum().FindNextService(&record);
        }
        Zum().FindServiceClose();
        result_ = CCO_OK;
        if (!Wide) OutputDebugStringW(L"\t套餐服务获取结束\n");
        return true;
    }

    bool ApplyPendingServices() {
        bool any = false;
        for (Policy& p : policies_) {
            if (p.flags[1] != 0 || p.flags[SERVICE_POLICY_STATUS_FLAG] != 0) continue;
            int r;
            if constexpr (Wide) {
                r = ApplyServiceW(static_cast<int>(p.id), nullptr, &p);
            } else {
                r = ApplyServiceA(static_cast<int>(p.id), nullptr, &p);
            }
            if (r != CCO_OK) continue;
            p.flags[SERVICE_POLICY_STATUS_FLAG] = 1;
            any = true;
        }
        return any;
    }

    bool PresenceStage(const std::wstring& folder) {
        LoginState& state = Login();
        state.presenceModule = LoadLibraryW((ProgramFolder() + L"\\PresenceCore.dll").c_str());
        int codes = presenceRecord_.codeCount < 0 ? 0 : presenceRecord_.codeCount;
        std::string session = codes > 1 ? CookieValue(presenceRecord_.codes[1], true) : std::string();
        std::string signOn = codes > 0 ? CookieValue(presenceRecord_.codes[0], false) : std::string();
        std::wstring contactFile = folder + L"\\rostledger.xml";
        if constexpr (Wide) {
            auto login = PRESENCE_EXPORT(PS_Cco_LoginW);
            if (login) login(&account_, vantor::AnsiToWide(session).c_str(), vantor::AnsiToWide(signOn).c_str());
            std::wstring id = vantor::FieldText(account_.id);
            auto friendIp = PRESENCE_EXPORT(PS_Cco_GetFriendIpW);
            if (friendIp) friendIp(id.c_str(), &account_);
            auto download = PRESENCE_EXPORT(PS_Cco_DownloadW);
            if (download) download(contactFile.c_str());
            if (!Report(10, kLoadingContacts)) return false;
        } else {
            auto login = PRESENCE_EXPORT(PS_Cco_LoginA);
            if (login) {
                if (login(&account_, session.c_str(), signOn.c_str()) == 0) {
                    account_.status.status = 1;
                } else {
                    OutputDebugStringW(L"登录在线服务器失败了，在后面的过程中登录\n");
                }
            }
            std::string id = vantor::FieldText(account_.id);
            auto friendIp = PRESENCE_EXPORT(PS_Cco_GetFriendIpA);
            if (friendIp) friendIp(id.c_str(), &account_);
            if (!Report(10, kLoadingContacts)) return false;
            auto download = PRESENCE_EXPORT(PS_Cco_DownloadA);
            if (download) download(vantor::WideToAnsi(contactFile).c_str());
        }
        result_ = CCO_OK;
        return true;
    }

    void StoreStage() {
        LoginState& state = Login();
        state.rostBaseModule = LoadLibraryW((ProgramFolder() + L"\\RostBase.dll").c_str());
        if (!state.rostBaseModule) return;
        if constexpr (Wide) {
            auto load = ROST_EXPORT(RostBase_LoadW);
            std::wstring id = vantor::FieldText(account_.id);
            if (load) state.store = load(id.c_str());
        } else {
            auto load = ROST_EXPORT(RostBase_LoadA);
            std::string id = vantor::FieldText(account_.id);
            if (load) state.store = load(id.c_str());
            account_.status.status = 1;
        }
        RostBaseHandle store = state.store;
        if (!store) {
            OutputDebugStringW(L"通讯录没有加载，帐号与服务数据没有交给通讯录\n");
            return;
        }
        if constexpr (Wide) {
            auto setCurrent = ROST_EXPORT(RostBase_SetCurrentAccountInfoW);
            if (setCurrent) setCurrent(store, &account_);
        } else {
            auto setCurrent = ROST_EXPORT(RostBase_SetCurrentAccountInfoA);
            if (setCurrent) setCurrent(store, &account_);
        }
        auto current = ROST_EXPORT(RostBase_GetCurrentAccount);
        FriendHandle owner = current ? current(store) : nullptr;
        if (!owner) {
            OutputDebugStringW(L"通讯录没有当前帐号，服务数据没有交给通讯录\n");
            return;
        }
        if (!policies_.empty()) {
            if constexpr (Wide) {
                auto add = ROST_EXPORT(RostBase_AddServicePolicyW);
                if (add) add(store, owner, policies_.data(), static_cast<DWORD>(policies_.size()), 0);
            } else {
                auto add = ROST_EXPORT(RostBase_AddServicePolicyA);
                if (add) add(store, owner, policies_.data(), static_cast<DWORD>(policies_.size()), 0);
            }
        }
        auto appendBoard = ROST_EXPORT(RostBase_AppendServiceBoardA);
        auto appendSubject = ROST_EXPORT(RostBase_AppendServiceSubjectA);
        auto boardId = ROST_EXPORT(RostBase_GetServiceBoardIdA);
        if (!appendBoard || !appendSubject) return;
        for (size_t i = 0; i < catalog_.boards.size() && i < catalog_.subjects.size(); ++i) {
            ServiceBoardInfoA board;
            BoardFromCatalogInfo(catalog_.boards[i], &board);
            appendBoard(store, owner, &board);
            // As wide as the locator the id is cut from, so no platform text can overrun it.
            char id[sizeof board.locator];
            memset(id, 0, sizeof id);
            if (boardId) boardId(&board, id);
            for (const ZumSubjectInfo& s : catalog_.subjects[i]) {
                ServiceSubjectInfoA subject;
                SubjectFromSubjectInfo(s, &subject);
                appendSubject(store, owner, id, &subject);
            }
        }
    }

    Proc progress_;
    void* context_;
    int result_ = CCO_OK;
    bool ownMessage_ = false;
    ComBracket com_;
    Account account_;
    std::vector<Policy> policies_;
    Catalog catalog_;
    ZumServiceInfo presenceRecord_;
};

}  // namespace

}  // namespace clientcore

using namespace clientcore;

CLIENTCORE_API int WINAPI Cco_LoginA(UINT_PTR, UINT_PTR, UINT_PTR, LoginProgressProcA progress, void* context) {
    return Guarded([&] {
        LoginRun<false> run(progress, context);
        return run.Run();
    });
}

CLIENTCORE_API int WINAPI Cco_LoginW(UINT_PTR, UINT_PTR, UINT_PTR, LoginProgressProcW progress, void* context) {
    return Guarded([&] {
        LoginRun<true> run(progress, context);
        return run.Run();
    });
}
