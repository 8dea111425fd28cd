// What the dialog tests share: a private program folder with the container (the recording
// plug-in as the presence tab), the fake presence server's control, the contact book of
// the fixture, and the exports reached through the kernel facade.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ContactBookFixture.h"
#include "ContactRecords.h"
#include "VantorTypes.h"

namespace rdtest {

// The fake presence server.
struct Post {
    std::string action;
    std::string body;
};
void ResetServer();
// Reply (UTF-8 inner text, converted to code page 936) for the next post of an action.
void Queue(const std::string& action, const std::string& utf8Inner, const char* docId = "1", int delayMs = 0);
std::vector<Post> Posts();
std::string Cell(const char* name, const char* utf8Text);

// An export of the contact dialogs through CoreFront's RostDialogs_GetProcAddress.
FARPROC Dialogs(const char* name);
template <typename Fn>
Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(Dialogs(name)));
}
// Whether RostDialogs.dll is loaded in this process now.
bool DialogsLoaded();
// Pumps until the facade has unloaded the dialogs (or the time is up).
bool WaitDialogsUnloaded(DWORD ms = 3000);

// The program folder's dialog caption.
std::wstring Caption();
// Lines the recording plug-ins wrote so far.
std::vector<std::string> TraceLines();
void ClearTrace();

// A screenshot into the staged program's "screenshots" folder.
bool Screenshot(HWND window, const wchar_t* name);

// The sample contact book, opened for the account with service 9.
struct Book {
    testkit::ContactBookFixture fixture;
    explicit Book(const wchar_t* name);
    HostContext Handle() const { return fixture.Book(); }
    std::string ContactFile() const;
    FriendHandle Friend(const wchar_t* id) const { return fixture.Friend(id); }
    GroupHandle GroupOf(const wchar_t* id) const { return fixture.GroupOf(id); }
    GroupHandle Group(const char* id) const;
    FriendHandle BlackListed(const char* id) const;
    FriendInfoA Info(const wchar_t* id) const;
    bool HasGroupNamed(GroupHandle parent, const std::wstring& name) const;
};

}  // namespace rdtest
