#include "DemoChat.h"

#include "ModulePath.h"
#include "RostBase.h"
#include "Text.h"

namespace hostdemo {

namespace {

// The contact store's calls, from the RostBase.dll the kernel loaded for the session.
template <typename Fn>
Fn StoreCall(const char* name) {
    return vantor::ProcAddress<Fn>(GetModuleHandleW(L"RostBase.dll"), name);
}

struct WindowSearch {
    const std::wstring* name;
    HWND found;
};

bool IsChatWindow(HWND window) {
    return GetDlgItem(window, kChatDisplayId) && GetDlgItem(window, kChatComposeId) && GetDlgItem(window, kChatSendId);
}

std::wstring Caption(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

BOOL CALLBACK LookAtWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsChatWindow(window)) return TRUE;
    if (Caption(window).find(*search->name) == std::wstring::npos) return TRUE;
    search->found = window;
    return FALSE;
}

// Handles messages until `done` holds or the time is up; false on time-out or when the
// pump asks to stop.
template <typename Test>
bool WaitFor(Test done, DWORD ms, const std::function<bool()>& pump, bool* stopped) {
    DWORD start = GetTickCount();
    for (;;) {
        if (!pump()) {
            *stopped = true;
            return false;
        }
        if (done()) return true;
        if (GetTickCount() - start >= ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

}  // namespace

bool AcceptableAccount(const std::wstring& text, std::string* id) {
    if (text.empty() || text.size() > 19) return false;
    for (wchar_t c : text) {
        bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
                     c == L'-' || c == L'.';
        if (!plain) return false;
    }
    *id = vantor::WideToAnsi(text);
    return true;
}

bool AcceptableChatText(const std::wstring& text) {
    if (text.empty()) return false;
    for (wchar_t c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return vantor::WideToAnsi(text).size() <= 800;
}

FriendHandle FindFriend(RostBaseHandle store, const std::string& id) {
    auto find = StoreCall<decltype(&::RostBase_IsUserInFriendsA)>("RostBase_IsUserInFriendsA");
    if (!store || !find || id.empty()) return nullptr;
    GroupHandle group = nullptr;
    return find(store, id.c_str(), &group);
}

std::wstring FriendName(RostBaseHandle store, FriendHandle entry) {
    auto info = StoreCall<decltype(&::RostBase_GetFriendInfoW)>("RostBase_GetFriendInfoW");
    FriendInfoW record;
    ZeroMemory(&record, sizeof record);
    if (!store || !entry || !info || !info(store, entry, &record)) return std::wstring();
    std::wstring nickname = vantor::FieldText(record.nickname);
    return nickname.empty() ? vantor::FieldText(record.id) : nickname;
}

HWND FindChatWindow(const std::wstring& name) {
    WindowSearch search = {&name, nullptr};
    EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool SendChatText(HWND chat, const std::wstring& text) {
    HWND compose = GetDlgItem(chat, kChatComposeId);
    HWND send = GetDlgItem(chat, kChatSendId);
    if (!compose || !send) return false;
    SendMessageW(compose, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(chat, WM_COMMAND, MAKEWPARAM(kChatSendId, BN_CLICKED), reinterpret_cast<LPARAM>(send));
    return true;
}

std::wstring DisplayText(HWND chat) {
    HWND display = GetDlgItem(chat, kChatDisplayId);
    if (!display) return std::wstring();
    // The display is an 8-bit rich edit: its text is read in the ANSI code page, where a
    // character takes up to two bytes.
    std::string text(2 * static_cast<size_t>(GetWindowTextLengthW(display)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(display, &text[0], static_cast<int>(text.size()))));
    return vantor::AnsiToWide(text);
}

bool ShowsReceivedText(const std::wstring& display, const std::wstring& name) {
    return !name.empty() && display.find(L"<" + name + L"> <时间：") != std::wstring::npos;
}

ChatResult RunChat(const ContainerHost& container, RostBaseHandle store, const ChatPlan& plan,
                   const std::function<bool()>& pump, HWND* chat) {
    *chat = nullptr;
    bool stopped = false;
    FriendHandle peer = FindFriend(store, plan.peer);
    if (!peer) return ChatResult::NoFriend;
    std::wstring name = FriendName(store, peer);
    // The service logs in to the IM server by itself once it is loaded.
    WaitFor([] { return false; }, plan.settleMs, pump, &stopped);
    if (stopped) return ChatResult::Cancelled;
    if (!container.Command(PLUG_CHAT, 1, reinterpret_cast<INT_PTR>(peer))) return ChatResult::NoService;
    if (!WaitFor([&] { return (*chat = FindChatWindow(name)) != nullptr; }, plan.windowMs, pump, &stopped))
        return stopped ? ChatResult::Cancelled : ChatResult::NoWindow;
    if (!SendChatText(*chat, plan.text)) return ChatResult::NotSent;
    HWND window = *chat;
    bool answered = WaitFor([&] { return IsWindow(window) && ShowsReceivedText(DisplayText(window), name); },
                            plan.answerMs, pump, &stopped);
    if (!answered) return stopped ? ChatResult::Cancelled : ChatResult::NoAnswer;
    WaitFor([] { return false; }, plan.lingerMs, pump, &stopped);
    return stopped ? ChatResult::Cancelled : ChatResult::Answered;
}

}  // namespace hostdemo
