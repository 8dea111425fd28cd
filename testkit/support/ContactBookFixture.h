// A contact book for tests of the tab plug-ins: a fresh program folder holding RostBase,
// RostLedger, RostKeeper and the ClientCore stand-in (CoreStub, staged as
// "ClientCore.dll"), a contact file the test describes, and the account's store loaded and
// handed to the stand-in, so RostLedger and RostKeeper reach it as after sign-in.
//
// The folder can take more of the staged program (configuration, skins, libraries), and a
// copy of the test program can run there; in-process, the plug-ins loaded from the staged
// folder find this book through the modules already loaded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ContactRecords.h"
#include "ModulePath.h"
#include "VantorTypes.h"

namespace testkit {

struct BookFriend {
    std::wstring id;
    std::wstring nickname;
    std::wstring name;
    std::wstring mobile;
    std::wstring voip;
    std::wstring phone;
    std::wstring xlt;
    std::vector<DWORD> policies;  // ids of service policies in use (status 1)
};

struct BookGroup {
    std::wstring id;
    std::wstring name;
    std::vector<BookFriend> friends;
    std::vector<BookGroup> groups;
};

struct BookDescription {
    std::vector<BookGroup> roots;  // id "10" the telephone friends, "11" the network friends
    std::vector<BookFriend> blackList;
};

// The contact file's text (without its declaration) for a description.
std::wstring ContactFileText(const BookDescription& book);

class ContactBookFixture {
public:
    // A fresh folder under "<program folder>\scratch" with the four libraries.
    explicit ContactBookFixture(const std::wstring& name, const std::wstring& account = L"10001");
    ~ContactBookFixture();
    ContactBookFixture(const ContactBookFixture&) = delete;
    ContactBookFixture& operator=(const ContactBookFixture&) = delete;

    const std::wstring& Folder() const { return folder_; }
    const std::wstring& Account() const { return account_; }
    // Copies a file or a whole folder of the staged program folder into this one.
    bool Stage(const std::wstring& relative);
    // Writes a file of this folder (folders made as needed).
    bool Write(const std::wstring& relative, const std::string& bytes);

    // Writes the account's contact file (declared gb2312, GBK bytes).
    bool WriteBook(const BookDescription& book);
    bool WriteBookText(const std::wstring& addressList);

    // Loads the store of the account from this folder, signs the account in with the
    // nickname and policies (status 1) and hands the store to the ClientCore stand-in.
    bool Open(const std::wstring& nickname = L"me", const std::vector<DWORD>& policies = {});
    // Takes the store back from the stand-in and unloads it (also done on destruction).
    void Close();

    // The handle plug-ins get as their contact book (any non-zero value reaches the store).
    HostContext Book() const { return 1; }
    RostBaseHandle Store() const { return store_; }
    HMODULE RostBase() const { return rostBase_; }
    HMODULE ClientCore() const { return core_; }

    // A RostBase export by name, null when missing or not open.
    template <typename Fn>
    Fn Proc(const char* name) const {
        return vantor::ProcAddress<Fn>(rostBase_, name);
    }

    FriendHandle Friend(const std::wstring& id) const;
    GroupHandle GroupOf(const std::wstring& friendId) const;
    FriendHandle CurrentAccount() const;
    // Sets a friend's status through RostBase (which tells the registered modules).
    bool SetStatus(const std::wstring& id, WORD status);

private:
    std::wstring folder_;
    std::wstring account_;
    HMODULE rostBase_ = nullptr;
    HMODULE core_ = nullptr;
    RostBaseHandle store_ = nullptr;
};

}  // namespace testkit
