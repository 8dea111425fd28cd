// The host's session with the client kernel: everything the demo window does that needs
// no window, so that it can be checked without one.
#include "DemoSession.h"

#include <algorithm>
#include <map>

#include "ModulePath.h"
#include "RostBase.h"
#include "Text.h"

namespace hostdemo {

namespace {

// The contact store's calls, taken from the RostBase.dll that ClientCore loaded. A reference
// is held while the store is read, so a logoff elsewhere cannot unload it under the reader.
class StoreCalls {
public:
    StoreCalls() {
        if (!GetModuleHandleExW(0, L"RostBase.dll", &module_)) module_ = nullptr;
    }
    ~StoreCalls() {
        if (module_) FreeLibrary(module_);
    }
    StoreCalls(const StoreCalls&) = delete;
    StoreCalls& operator=(const StoreCalls&) = delete;

    template <typename Fn>
    Fn Get(const char* name) const {
        return vantor::ProcAddress<Fn>(module_, name);
    }
    explicit operator bool() const { return module_ != nullptr; }

private:
    HMODULE module_ = nullptr;
};
#define STORE_CALL(calls, name) (calls).Get<decltype(&::name)>(#name)

// Count first, then fill: the store's convention for its list queries.
template <typename Record, typename Query>
std::vector<Record> ReadList(Query query) {
    DWORD count = 0;
    if (!query(nullptr, &count) || count == 0) return {};
    // A store answering an absurd count is not followed into a huge allocation.
    count = std::min<DWORD>(count, 4096);
    std::vector<Record> records(count);
    ZeroMemory(records.data(), records.size() * sizeof(Record));
    DWORD filled = count;
    if (!query(records.data(), &filled)) return {};
    records.resize(std::min(filled, count));
    return records;
}

struct GroupWalk {
    std::vector<std::pair<GroupHandle, GroupHandle>> groups;
};

BOOL CALLBACK CollectGroup(GroupHandle group, GroupHandle parent, UINT_PTR user) {
    reinterpret_cast<GroupWalk*>(user)->groups.emplace_back(group, parent);
    return TRUE;
}

BOOL CALLBACK CollectFriend(FriendHandle entry, GroupHandle, UINT_PTR user) {
    reinterpret_cast<std::vector<FriendHandle>*>(user)->push_back(entry);
    return TRUE;
}

std::wstring FriendLine(const FriendInfoW& info) {
    std::wstring id = vantor::FieldText(info.id);
    std::wstring nick = vantor::FieldText(info.nickname);
    if (nick.empty()) return id;
    return nick + L" (" + id + L")";
}

// Reads one walked tree (rootMask 1 or 2) into nested views; the walk lists every group
// after its parent.
bool ReadTree(const StoreCalls& calls, RostBaseHandle store, DWORD rootMask, GroupView* root) {
    auto enumGroup = STORE_CALL(calls, RostBase_EnumGroup);
    auto groupInfo = STORE_CALL(calls, RostBase_GetGroupInfoW);
    auto enumFriends = STORE_CALL(calls, RostBase_EnumGroupFriends);
    auto friendInfo = STORE_CALL(calls, RostBase_GetFriendInfoW);
    if (!enumGroup || !groupInfo || !enumFriends || !friendInfo) return false;

    GroupWalk walk;
    if (!enumGroup(store, rootMask, CollectGroup, reinterpret_cast<UINT_PTR>(&walk)) || walk.groups.empty()) {
        return false;
    }
    // Views are built bottom-up afterwards, so that no pointer into a growing vector is kept.
    struct Flat {
        GroupView view;
        GroupHandle parent;
    };
    std::vector<Flat> flat;
    std::map<GroupHandle, size_t> index;
    for (const auto& g : walk.groups) {
        Flat f;
        f.parent = g.second;
        GroupInfoW info;
        ZeroMemory(&info, sizeof info);
        if (groupInfo(store, g.first, &info)) {
            f.view.id = vantor::FieldText(info.id);
            f.view.name = vantor::FieldText(info.name);
        }
        std::vector<FriendHandle> friends;
        enumFriends(store, g.first, CollectFriend, reinterpret_cast<UINT_PTR>(&friends));
        for (FriendHandle entry : friends) {
            FriendInfoW fi;
            ZeroMemory(&fi, sizeof fi);
            if (friendInfo(store, entry, &fi)) f.view.friends.push_back(FriendLine(fi));
        }
        index[g.first] = flat.size();
        flat.push_back(std::move(f));
    }
    for (size_t i = flat.size(); i-- > 1;) {
        auto parent = index.find(flat[i].parent);
        if (parent == index.end() || parent->second >= i) continue;
        auto& siblings = flat[parent->second].view.groups;
        siblings.insert(siblings.begin(), std::move(flat[i].view));
    }
    *root = std::move(flat[0].view);
    return true;
}

bool Plain(const std::wstring& text) {
    return std::none_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; });
}

void AddTree(ReportNode* parent, const GroupView& group) {
    ReportNode node;
    node.text = group.name.empty() ? L"分组 " + group.id : group.name;
    for (const GroupView& sub : group.groups) AddTree(&node, sub);
    for (const std::wstring& f : group.friends) node.children.push_back({f, {}});
    parent->children.push_back(std::move(node));
}

}  // namespace

DemoSession::~DemoSession() { Close(); }

bool DemoSession::Open(const std::wstring& folder) {
    Close();
    std::wstring path = folder + L"ClientCore.dll";
    module_ = LoadLibraryW(path.c_str());
    if (!module_) {
        error_ = L"无法加载 " + path + L" (错误 " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    isAlive_ = vantor::ProcAddress<decltype(isAlive_)>(module_, "Cco_IsAlive");
    login_ = vantor::ProcAddress<decltype(login_)>(module_, "Cco_LoginW");
    logoff_ = vantor::ProcAddress<decltype(logoff_)>(module_, "Cco_Logoff");
    lastMsg_ = vantor::ProcAddress<decltype(lastMsg_)>(module_, "Cco_GetLastMsg");
    suite_ = vantor::ProcAddress<decltype(suite_)>(module_, "Cco_GetServiceSuiteId");
    // The store handle has an ordinal and no name.
    store_ = vantor::ProcAddress<decltype(store_)>(module_, MAKEINTRESOURCEA(27));
    if (!isAlive_ || !login_ || !logoff_) {
        error_ = path + L" 缺少登录所需的函数";
        FreeLibrary(module_);
        module_ = nullptr;
        return false;
    }
    error_.clear();
    return true;
}

int DemoSession::Connect() {
    if (!module_) return -1;
    int connected = 0;
    int result = isAlive_(&connected);
    if (result == 0) connected_ = true;
    return result;
}

BOOL CALLBACK DemoSession::OnProgress(int step, const wchar_t* text, void* context) {
    const DemoSession* self = static_cast<const DemoSession*>(context);
    if (!self->progress_ || !*self->progress_) return TRUE;
    return (*self->progress_)(step, text ? std::wstring(text) : std::wstring()) ? TRUE : FALSE;
}

int DemoSession::Login(const ProgressFn& progress) {
    if (!module_) return -1;
    progress_ = &progress;
    int result = login_(0, 0, 0, OnProgress, this);
    progress_ = nullptr;
    loggedIn_ = result == 0;
    return result;
}

RostBaseHandle DemoSession::Store() const { return module_ && store_ && loggedIn_ ? store_() : nullptr; }

LoginView DemoSession::Collect() const {
    LoginView view;
    RostBaseHandle store = Store();
    StoreCalls calls;
    if (!store || !calls) return view;
    auto current = STORE_CALL(calls, RostBase_GetCurrentAccount);
    auto info = STORE_CALL(calls, RostBase_GetFriendInfoW);
    auto policies = STORE_CALL(calls, RostBase_GetFriendServicePolicysW);
    auto boards = STORE_CALL(calls, RostBase_GetFriendServiceBoardsW);
    auto boardId = STORE_CALL(calls, RostBase_GetServiceBoardIdW);
    auto subjects = STORE_CALL(calls, RostBase_GetFriendServiceSubjectsW);
    if (!current || !info) return view;
    FriendHandle self = current(store);
    FriendInfoW me;
    ZeroMemory(&me, sizeof me);
    if (!self || !info(store, self, &me)) return view;
    view.valid = true;
    view.account = vantor::FieldText(me.id);
    view.nickname = vantor::FieldText(me.nickname);
    view.place = vantor::FieldText(me.province);
    std::wstring city = vantor::FieldText(me.city);
    if (!city.empty()) view.place += (view.place.empty() ? L"" : L" ") + city;
    if (suite_) view.suite = vantor::AnsiToWide(suite_());

    if (policies) {
        auto list = ReadList<ServicePolicyInfoW>(
            [&](ServicePolicyInfoW* r, DWORD* n) { return policies(store, self, r, n) != FALSE; });
        for (const ServicePolicyInfoW& p : list) {
            view.services.push_back({p.id, vantor::FieldText(p.name), p.flags[SERVICE_POLICY_STATUS_FLAG]});
        }
    }
    if (boards && boardId && subjects) {
        auto list = ReadList<ServiceBoardInfoW>(
            [&](ServiceBoardInfoW* r, DWORD* n) { return boards(store, self, r, n) != FALSE; });
        for (const ServiceBoardInfoW& b : list) {
            BoardView board;
            board.caption = vantor::FieldText(b.caption);
            wchar_t id[SERVICE_BOARD_ID_CHARS] = {};
            if (boardId(&b, id)) board.id = vantor::FieldText(id);
            auto subs = ReadList<ServiceSubjectInfoW>([&](ServiceSubjectInfoW* r, DWORD* n) {
                return subjects(store, self, board.id.c_str(), r, n) != FALSE;
            });
            for (const ServiceSubjectInfoW& s : subs) board.subjects.push_back(vantor::FieldText(s.caption));
            view.boards.push_back(std::move(board));
        }
    }
    for (DWORD mask : {1u, 2u}) {
        GroupView root;
        if (ReadTree(calls, store, mask, &root)) view.roots.push_back(std::move(root));
    }
    return view;
}

int DemoSession::Logoff() {
    if (!module_) return -1;
    loggedIn_ = false;
    connected_ = false;
    return logoff_();
}

void DemoSession::Close() {
    if (!module_) return;
    // A connection without a login is ended as well: the logoff also disconnects.
    if (loggedIn_ || connected_) Logoff();
    FreeLibrary(module_);
    module_ = nullptr;
    isAlive_ = nullptr;
    login_ = nullptr;
    logoff_ = nullptr;
    lastMsg_ = nullptr;
    suite_ = nullptr;
    store_ = nullptr;
}

std::wstring DemoSession::LastMessage() const {
    if (!error_.empty() || !module_ || !lastMsg_) return error_;
    return vantor::AnsiToWide(lastMsg_());
}

std::vector<ReportNode> BuildReport(const LoginView& view) {
    std::vector<ReportNode> report;
    if (!view.valid) {
        report.push_back({L"通讯录中没有当前帐号", {}});
        return report;
    }
    ReportNode account{L"帐号 " + view.account, {}};
    if (!view.nickname.empty()) account.children.push_back({L"昵称 " + view.nickname, {}});
    if (!view.place.empty()) account.children.push_back({L"地区 " + view.place, {}});
    account.children.push_back({L"服务套件 " + (view.suite.empty() ? std::wstring(L"(无)") : view.suite), {}});
    report.push_back(std::move(account));

    ReportNode services{L"服务 (" + std::to_wstring(view.services.size()) + L")", {}};
    for (const ServiceView& s : view.services) {
        services.children.push_back(
            {std::to_wstring(s.id) + L" " + s.name + L"  [状态 " + std::to_wstring(s.status) + L"]", {}});
    }
    report.push_back(std::move(services));

    ReportNode boards{L"服务栏目 (" + std::to_wstring(view.boards.size()) + L")", {}};
    for (const BoardView& b : view.boards) {
        ReportNode board{b.caption + L"  [" + b.id + L"]", {}};
        for (const std::wstring& s : b.subjects) board.children.push_back({s, {}});
        boards.children.push_back(std::move(board));
    }
    report.push_back(std::move(boards));

    ReportNode contacts{L"通讯录", {}};
    for (const GroupView& root : view.roots) AddTree(&contacts, root);
    report.push_back(std::move(contacts));
    return report;
}

bool PresenceOverride::Acceptable(const std::wstring& url) {
    if (url.size() > 1000 || !Plain(url)) return false;
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        size_t n = wcslen(scheme);
        if (url.size() > n && _wcsnicmp(url.c_str(), scheme, n) == 0) return true;
    }
    return false;
}

bool PresenceOverride::Apply(const std::wstring& folder, const std::wstring& url) {
    if (!Acceptable(url)) return false;
    Restore();
    std::wstring dir = folder + L"config";
    CreateDirectoryW(dir.c_str(), nullptr);
    std::wstring path = dir + L"\\psimprof.cfg";
    existed_ = false;
    saved_.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        existed_ = true;
        char buffer[4096];
        DWORD got = 0;
        bool ok = true;
        while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0) saved_.append(buffer, got);
        CloseHandle(file);
        // A file that cannot be read back whole is left alone rather than lost.
        if (!ok) {
            saved_.clear();
            return false;
        }
    }
    path_ = path;
    if (!WritePrivateProfileStringW(L"PSConfig", L"psUrl", url.c_str(), path_.c_str())) {
        Restore();
        return false;
    }
    active_ = true;
    return true;
}

void PresenceOverride::Restore() {
    if (path_.empty()) return;
    // The profile functions may cache the file; flush before it is replaced.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str());
    if (existed_) {
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, saved_.data(), static_cast<DWORD>(saved_.size()), &written, nullptr);
            CloseHandle(file);
        }
    } else {
        DeleteFileW(path_.c_str());
    }
    active_ = false;
    path_.clear();
    saved_.clear();
}

bool PrepareDemoPlatform(const std::wstring& folder, const std::string& account) {
    HMODULE zum = LoadLibraryW((folder + L"zumbase.dll").c_str());
    auto set = vantor::ProcAddress<void(__cdecl*)(const char*, const char*, const char*)>(zum, "ZumStub_Set");
    if (!set) return false;
    set("Board.0", "res", "board-1001");
    set("Board.1", "res", "board-1004");
    char services[260] = {};
    GetPrivateProfileStringA("CommonUrl", "ServiceUrl", "", services, sizeof services,
                             vantor::WideToAnsi(folder + L"config\\commprof.cfg").c_str());
    if (services[0]) set("DIY", "indexurl", (std::string(services) + "self/index.html").c_str());
    if (!account.empty()) set("Customer", "account", account.c_str());
    return true;
}

}  // namespace hostdemo
