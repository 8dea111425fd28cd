#include "ContactBookFixture.h"

#include "TestSupport.h"
#include "Text.h"

namespace testkit {

namespace {

std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::wstring FriendXml(const BookFriend& f) {
    std::wstring text = L"<Friend id=\"" + Escaped(f.id) + L"\" nickname=\"" + Escaped(f.nickname) + L"\" name=\"" +
                        Escaped(f.name) + L"\" sex=\"0\" birthday=\"\" email=\"\" voip=\"" + Escaped(f.voip) +
                        L"\" phone=\"" + Escaped(f.phone) + L"\" mobile=\"" + Escaped(f.mobile) + L"\" xlt=\"" +
                        Escaped(f.xlt) + L"\" province=\"\" city=\"\" age=\"\"";
    if (f.policies.empty()) return text + L"/>";
    text += L">";
    for (DWORD id : f.policies) {
        text += L"<ServicePolicy id=\"" + std::to_wstring(id) + L"\" name=\"s" + std::to_wstring(id) +
                L"\" status=\"1\"/>";
    }
    return text + L"</Friend>";
}

std::wstring GroupXml(const BookGroup& g) {
    std::wstring text = L"<Group id=\"" + Escaped(g.id) + L"\" name=\"" + Escaped(g.name) + L"\">";
    for (const BookFriend& f : g.friends) text += FriendXml(f);
    for (const BookGroup& sub : g.groups) text += GroupXml(sub);
    return text + L"</Group>";
}

bool MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    return true;
}

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        MakeFolders(to);
        return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
    }
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        ok = CopyTree(from + L"\\" + name, to + L"\\" + name) && ok;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return ok;
}

}  // namespace

std::wstring ContactFileText(const BookDescription& book) {
    std::wstring text = L"<AddressList version=\"1.0\"><FriendList id=\"1\">";
    for (const BookGroup& root : book.roots) text += GroupXml(root);
    text += L"</FriendList><BlackList id=\"0\">";
    for (const BookFriend& f : book.blackList) text += FriendXml(f);
    return text + L"</BlackList></AddressList>";
}

ContactBookFixture::ContactBookFixture(const std::wstring& name, const std::wstring& account)
    : folder_(FreshDir(name)), account_(account) {
    CopyFromProgramDir(folder_, L"RostBase.dll");
    CopyFromProgramDir(folder_, L"RostLedger.dll");
    CopyFromProgramDir(folder_, L"RostKeeper.dll");
    CopyFromProgramDir(folder_, L"CoreStub.dll", L"ClientCore.dll");
    CreateDirectoryW((folder_ + account_).c_str(), nullptr);
}

ContactBookFixture::~ContactBookFixture() {
    Close();
    if (core_) FreeLibrary(core_);
    if (rostBase_) FreeLibrary(rostBase_);
}

bool ContactBookFixture::Stage(const std::wstring& relative) {
    return CopyTree(ProgramDir() + relative, folder_ + relative);
}

bool ContactBookFixture::Write(const std::wstring& relative, const std::string& bytes) {
    MakeFolders(folder_ + relative);
    return WriteFileBytes(folder_ + relative, bytes);
}

bool ContactBookFixture::WriteBook(const BookDescription& book) { return WriteBookText(ContactFileText(book)); }

bool ContactBookFixture::WriteBookText(const std::wstring& addressList) {
    std::string bytes = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n" + vantor::EncodeText(addressList, 936);
    return WriteFileBytes(folder_ + account_ + L"\\rostledger.xml", bytes);
}

bool ContactBookFixture::Open(const std::wstring& nickname, const std::vector<DWORD>& policies) {
    Close();
    if (!rostBase_) rostBase_ = LoadLibraryW((folder_ + L"RostBase.dll").c_str());
    if (!core_) core_ = LoadLibraryW((folder_ + L"ClientCore.dll").c_str());
    if (!rostBase_ || !core_) return false;
    typedef RostBaseHandle(WINAPI * LoadFn)(const wchar_t*);
    typedef BOOL(WINAPI * SetAccountFn)(RostBaseHandle, const FriendInfoW*);
    typedef BOOL(WINAPI * AddPolicyFn)(RostBaseHandle, FriendHandle, const ServicePolicyInfoW*, DWORD, DWORD);
    typedef void(WINAPI * SetStoreFn)(RostBaseHandle);
    auto load = Proc<LoadFn>("RostBase_LoadW");
    auto setAccount = Proc<SetAccountFn>("RostBase_SetCurrentAccountInfoW");
    auto addPolicy = Proc<AddPolicyFn>("RostBase_AddServicePolicyW");
    auto setStore = vantor::ProcAddress<SetStoreFn>(core_, "CoreStub_SetStore");
    if (!load || !setAccount || !addPolicy || !setStore) return false;
    store_ = load(account_.c_str());
    if (!store_) return false;
    FriendInfoW self = {};
    vantor::CopyField(self.id, account_.c_str());
    vantor::CopyField(self.nickname, nickname.c_str());
    if (!setAccount(store_, &self)) return false;
    if (!policies.empty()) {
        std::vector<ServicePolicyInfoW> records(policies.size());
        for (size_t i = 0; i < policies.size(); ++i) {
            records[i] = {};
            records[i].id = policies[i];
            records[i].flags[SERVICE_POLICY_STATUS_FLAG] = 1;
        }
        if (!addPolicy(store_, CurrentAccount(), records.data(), static_cast<DWORD>(records.size()), 0)) return false;
    }
    setStore(store_);
    return true;
}

void ContactBookFixture::Close() {
    if (!store_) return;
    typedef void(WINAPI * SetStoreFn)(RostBaseHandle);
    typedef BOOL(WINAPI * UnloadFn)(RostBaseHandle);
    if (auto setStore = vantor::ProcAddress<SetStoreFn>(core_, "CoreStub_SetStore")) setStore(nullptr);
    if (auto unload = Proc<UnloadFn>("RostBase_Unload")) unload(store_);
    store_ = nullptr;
}

FriendHandle ContactBookFixture::Friend(const std::wstring& id) const {
    typedef FriendHandle(WINAPI * Fn)(RostBaseHandle, const wchar_t*, GroupHandle*);
    auto fn = Proc<Fn>("RostBase_IsUserInFriendsW");
    return fn && store_ ? fn(store_, id.c_str(), nullptr) : nullptr;
}

GroupHandle ContactBookFixture::GroupOf(const std::wstring& friendId) const {
    typedef FriendHandle(WINAPI * Fn)(RostBaseHandle, const wchar_t*, GroupHandle*);
    auto fn = Proc<Fn>("RostBase_IsUserInFriendsW");
    GroupHandle group = nullptr;
    if (fn && store_) fn(store_, friendId.c_str(), &group);
    return group;
}

FriendHandle ContactBookFixture::CurrentAccount() const {
    typedef FriendHandle(WINAPI * Fn)(RostBaseHandle);
    auto fn = Proc<Fn>("RostBase_GetCurrentAccount");
    return fn && store_ ? fn(store_) : nullptr;
}

bool ContactBookFixture::SetStatus(const std::wstring& id, WORD status) {
    typedef BOOL(WINAPI * Fn)(RostBaseHandle, FriendHandle, const FriendStatus*, DWORD);
    auto fn = Proc<Fn>("RostBase_UpdateFriendStatus");
    FriendHandle entry = Friend(id);
    FriendStatus s = {};
    s.status = status;
    return fn && entry && fn(store_, entry, &s, 0);
}

}  // namespace testkit
