// Saving the friend information form: a new telephone friend or changed data of a
// friend, the server first and the contact book only on acceptance.
#pragma once

#include <string>

#include "Services.h"

namespace rostdialogs {

// What the form holds when the user saves (8-bit texts as typed, not yet cut).
struct FriendForm {
    std::string nickname;
    std::wstring sex;          // the sex list's text
    bool birthdayChanged = false;
    SYSTEMTIME birthday = {};
    std::string email, voip, mobile, phone, xlt;
};

struct FriendTarget {
    bool view = false;         // false: add a telephone friend
    HostContext book = 0;
    GroupHandle group = nullptr;
    FriendHandle entry = nullptr;   // view mode
    std::string friendId;           // view mode, read when the dialog opened
    std::string groupId;            // view mode
};

enum class SaveOutcome { Saved, EmptyName, Failed };

// Field widths of a record (less the terminator).
enum : size_t { kNicknameBytes = 23, kEmailBytes = 31, kPhoneBytes = 15 };

SaveOutcome SaveFriend(Services& s, const FriendTarget& t, const FriendForm& form, HWND owner);

}  // namespace rostdialogs
