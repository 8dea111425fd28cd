#include "TwoHostSides.h"

#include <cstring>

#include "ChildRun.h"
#include "ModulePath.h"
#include "RostBase.h"
#include "TestSupport.h"

namespace cdtest {

const char kFirstId[] = "10001";
const char kSecondId[] = "20002";
const Side kFirst = {kFirstId, kSecondId, 40, 41};
const Side kSecond = {kSecondId, kFirstId, 41, 40};

const wchar_t kLogVariable[] = L"CHATDESK_TWOHOST_LOGS";
const wchar_t kRouteVariable[] = L"CHATDESK_TWOHOST_ROUTE";

namespace {

std::string PeerAddress(const Side& side) {
    wchar_t route[16] = {};
    GetEnvironmentVariableW(kRouteVariable, route, 16);
    return LoopbackAddress(wcscmp(route, L"direct") == 0 ? side.peerLast : side.ownLast + 10);
}

}  // namespace

chatdesk::ChatDialog* OpenOnceBothIn(WindowClient& client, const Side& side, FriendHandle peer) {
    bool bothIn = Eventually(
        [&] { return client->LoggedIn() && HasSession(side.ownId) && HasSession(side.peerId); }, 20000);
    chatdesk::ChatDialog* window = bothIn ? client.Open(peer, side.peerId) : nullptr;
    return window && !window->ThreadsRunning() ? window : nullptr;
}

FriendHandle BuildBook(const Side& side) {
    HMODULE rostBase = vantor::LoadProgramLibrary(L"RostBase.dll");
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    if (!rostBase || !core) return nullptr;
    // The client's container holds the contact-book libraries for its whole run: the
    // plug-in's load for each call only counts a reference then, as it does here.
    vantor::LoadProgramLibrary(L"RostLedger.dll");
    vantor::LoadProgramLibrary(L"RostKeeper.dll");
    auto load = vantor::ProcAddress<decltype(&RostBase_LoadA)>(rostBase, "RostBase_LoadA");
    auto setSelf = vantor::ProcAddress<decltype(&RostBase_SetCurrentAccountInfoA)>(rostBase, "RostBase_SetCurrentAccountInfoA");
    auto root = vantor::ProcAddress<decltype(&RostBase_GetOnRootGroup)>(rostBase, "RostBase_GetOnRootGroup");
    auto add = vantor::ProcAddress<decltype(&RostBase_AddFriendA)>(rostBase, "RostBase_AddFriendA");
    typedef void(WINAPI * SetStoreFn)(RostBaseHandle);
    auto setStore = vantor::ProcAddress<SetStoreFn>(core, "CoreStub_SetStore");
    if (!load || !setSelf || !root || !add || !setStore) return nullptr;
    RostBaseHandle store = load(side.ownId);
    if (!store) return nullptr;
    FriendInfoA self = {};
    strcpy(self.id, side.ownId);
    strcpy(self.nickname, "me");
    self.status.status = 1;
    self.status.publicIp = inet_addr(LoopbackAddress(side.ownLast).c_str());
    setSelf(store, &self);
    FriendInfoA peer = {};
    strcpy(peer.id, side.peerId);
    strcpy(peer.nickname, "peer");
    peer.status.status = 1;
    peer.status.publicIp = inet_addr(PeerAddress(side).c_str());
    FriendHandle entry = add(store, &peer, root(store));
    setStore(store);
    return entry;
}

std::string Shown(HWND edit) {
    int room = 2 * GetWindowTextLengthW(edit) + 1;
    std::string text(room, '\0');
    text.resize(GetWindowTextA(edit, &text[0], room));
    return text;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

std::wstring LogDir() { return testkit::ProgramDir() + L"twohost-logs\\"; }

std::wstring PrepareLogs(const wchar_t* route) {
    testkit::RemoveTree(LogDir());
    CreateDirectoryW(LogDir().c_str(), nullptr);
    SetEnvironmentVariableW(kLogVariable, LogDir().c_str());
    SetEnvironmentVariableW(kRouteVariable, route);
    return LogDir();
}

}  // namespace cdtest
