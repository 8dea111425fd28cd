// The host's side of a session with the client kernel, kept apart from any window so that
// it can run unattended: bind ClientCore.dll from the program folder, connect, log in with
// progress reports, read back what the login left in the contact store, log off.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ClientCore.h"
#include "ContactRecords.h"

namespace hostdemo {

struct ServiceView {
    DWORD id = 0;
    std::wstring name;
    int status = 0;
};

struct BoardView {
    std::wstring caption;
    std::wstring id;
    std::vector<std::wstring> subjects;
};

struct GroupView {
    std::wstring id;
    std::wstring name;
    std::vector<std::wstring> friends;  // "nickname (id)"
    std::vector<GroupView> groups;
};

// What a finished login produced, as the contact store holds it.
struct LoginView {
    bool valid = false;
    std::wstring account;
    std::wstring nickname;
    std::wstring place;  // province and city
    std::wstring suite;
    std::vector<ServiceView> services;
    std::vector<BoardView> boards;
    std::vector<GroupView> roots;  // the telephone root, then the network root
};

// One line of the window's report; children are indented under it.
struct ReportNode {
    std::wstring text;
    std::vector<ReportNode> children;
};

class DemoSession {
public:
    // Answers false to cancel the login.
    using ProgressFn = std::function<bool(int step, const std::wstring& text)>;

    DemoSession() = default;
    ~DemoSession();
    DemoSession(const DemoSession&) = delete;
    DemoSession& operator=(const DemoSession&) = delete;

    // Loads "<folder>\ClientCore.dll" (folder with a trailing backslash).
    bool Open(const std::wstring& folder);
    bool IsOpen() const { return module_ != nullptr; }

    // Cco_IsAlive: 0 when the platform connection is up.
    int Connect();
    // Cco_LoginW on the calling thread; progress may be empty.
    int Login(const ProgressFn& progress);
    bool LoggedIn() const { return loggedIn_; }
    // Reads the account, services, boards and contact tree from the store.
    LoginView Collect() const;
    // The store handle the host hands on to the tab container.
    RostBaseHandle Store() const;
    int Logoff();
    // Releases ClientCore (logs off first when still logged in or connected).
    void Close();

    // The kernel's text for the last failure, or a text of our own when the kernel is missing.
    std::wstring LastMessage() const;

private:
    static BOOL CALLBACK OnProgress(int step, const wchar_t* text, void* context);

    HMODULE module_ = nullptr;
    bool loggedIn_ = false;
    bool connected_ = false;
    std::wstring error_;
    const ProgressFn* progress_ = nullptr;
    decltype(&::Cco_IsAlive) isAlive_ = nullptr;
    decltype(&::Cco_LoginW) login_ = nullptr;
    decltype(&::Cco_Logoff) logoff_ = nullptr;
    decltype(&::Cco_GetLastMsg) lastMsg_ = nullptr;
    decltype(&::Cco_GetServiceSuiteId) suite_ = nullptr;
    decltype(&::Cco_GetRostBaseHandle) store_ = nullptr;
};

// The login's result laid out for the window: account, services, boards, contacts.
std::vector<ReportNode> BuildReport(const LoginView& view);

// Prepares the stand-in platform of "<folder>zumbase.dll" for the demo, before the kernel
// connects: the boards get the ids the home pane links (1001, 1004), the self-service page
// is served beside the other service pages ([CommonUrl] ServiceUrl of "config\commprof.cfg"),
// and the customer is `account` unless that is empty. The library stays loaded (the kernel
// uses the same platform). False when the folder has no platform stand-in.
bool PrepareDemoPlatform(const std::wstring& folder, const std::string& account);

// Points the presence client at another server for the length of one run: the address
// goes into "config\psimprof.cfg" [PSConfig] psUrl, and the file is put back as it was
// (or removed when there was none) by Restore or at destruction.
class PresenceOverride {
public:
    PresenceOverride() = default;
    ~PresenceOverride() { Restore(); }
    PresenceOverride(const PresenceOverride&) = delete;
    PresenceOverride& operator=(const PresenceOverride&) = delete;

    // folder: the program folder with a trailing backslash. Only plain http:// or https://
    // addresses on one line are taken; anything else changes nothing and answers false.
    bool Apply(const std::wstring& folder, const std::wstring& url);
    void Restore();
    static bool Acceptable(const std::wstring& url);

private:
    bool active_ = false;
    bool existed_ = false;
    std::string saved_;
    std::wstring path_;
};

}  // namespace hostdemo
