#include "MovieCommand.h"


#include "ContactRecords.h"
#include "DebugOut.h"
#include "ModulePath.h"
#include "WebAddress.h"
#include "outside/OrderHub.h"
#include "outside/RostLedger.h"

namespace animtab {

const wchar_t kOfflineText[] =
    L"当前网络未连接，请您从右下角任务栏中退出Pelo，重新连接网络之后再尝试";
const wchar_t kOfflineCaption[] = L"Vantor";

namespace {

// The kernel's page address record and the fee page's kind.
struct RemoteUrl {
    char url[260];
    char text[40];
    BYTE raw[40];
};
static_assert(sizeof(RemoteUrl) == 340, "the kernel fills 340 bytes");
typedef int(WINAPI* PFN_Cco_GetRemoteUrlA)(int kind, RemoteUrl* out);
const int kPayFeeUrl = 2;

// The movie's libraries, those of the program folder, stay loaded once a command needed
// them: the module already loaded from there is used as it is, so repeated commands don't
// pile up load counts.
HMODULE Keep(const wchar_t* name) {
    HMODULE loaded = GetModuleHandleW(vantor::ProgramPath(name).c_str());
    return loaded ? loaded : vantor::LoadProgramLibrary(name);
}

bool Online(HostContext book) {
    HMODULE ledger = Keep(L"RostLedger.dll");
    auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
    auto info = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger, "RostLedger_GetFriendInfoA");
    if (!current || !info) return false;
    FriendHandle account = current(book);
    FriendInfoA record = {};
    return account && info(book, account, &record) && record.status.status != 0;
}

void OpenService(HMODULE hub, const std::vector<std::wstring>& tokens) {
    // Fewer than four tokens name no service: the record would point past the command.
    if (tokens.size() < 4) return;
    auto action = vantor::ProcAddress<PFN_OrderHub_Action>(hub, "OrderHub_Action");
    if (!action) return;
    const wchar_t* record[3] = {tokens[1].c_str(), tokens[3].c_str(), tokens[2].c_str()};
    action(PLUG_TABDECK, 2, reinterpret_cast<INT_PTR>(record));
}

void OpenFeePage() {
    auto remote = vantor::ProcAddress<PFN_Cco_GetRemoteUrlA>(Keep(L"ClientCore.dll"), "Cco_GetRemoteUrlA");
    if (!remote) return;
    RemoteUrl page = {};
    if (remote(kPayFeeUrl, &page) != 0) return;
    page.url[sizeof page.url - 1] = 0;
    if (!page.url[0]) return;
    vantor::OpenWebAddress(nullptr, page.url);
}

}  // namespace

bool SplitCommand(const std::wstring& command, std::vector<std::wstring>* tokens) {
    tokens->clear();
    size_t start = 0;
    while (true) {
        size_t comma = command.find(L',', start);
        tokens->push_back(command.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (tokens->size() > kMaxCommandTokens) return false;
        if (comma == std::wstring::npos) return true;
        start = comma + 1;
    }
}

int HandleMovieCommand(HWND owner, HostContext book, const wchar_t* command) {
    std::vector<std::wstring> tokens;
    if (!SplitCommand(command ? command : L"", &tokens)) return 0;
    HMODULE hub = Keep(L"OrderHub.dll");
    if (!hub || !command || !*command) return -1;
    if (!Online(book)) {
        MessageBoxW(owner, kOfflineText, kOfflineCaption, MB_OK);
        return -1;
    }
    if (tokens[0] == L"LoadService") {
        OpenService(hub, tokens);
    } else if (tokens[0] == L"Pay") {
        OpenFeePage();
    } else {
        vantor::DebugLine(L"AnimTab: 未知的影片命令 %ls", tokens[0].c_str());
    }
    return 0;
}

}  // namespace animtab
