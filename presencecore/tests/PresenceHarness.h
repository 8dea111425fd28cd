// What the PresenceCore tests share: the fake server's control client, the library
// loaded by name as its callers load it, and a private program folder.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "PresenceCore.h"

namespace pstest {

// One post the fake server received.
struct Post {
    int port = 0;
    std::string path;
    std::string cookie;   // the Cookie header as sent
    std::string body;     // raw bytes
    bool HasCookie(const std::string& pair) const;
};

class FakeServer {
public:
    static int MainPort();
    static int SecondPort();
    static int DeadPort();   // nothing listens there

    static void Reset();
    // Reply bytes (code page 936) for the next post of action.
    static void Queue(const std::string& action, const std::string& reply, int status = 200, int truncate = -1);
    // The next post of action meets a hostile server: "silent", "drip" (reply a byte a
    // second) or "endless".
    static void QueueHostile(const std::string& action, const char* mode, const std::string& reply = std::string());
    // Reply for every post of action while nothing is queued; "{seq}" counts up.
    static void Default(const std::string& action, const std::string& reply, int status = 200);
    static std::vector<Post> Log();
    // The single post of the log, failing the test when there is not exactly one.
    static Post Only();
};

// "<lwData docId=...>" + inner + "</lwData>", converted to code page 936.
std::string Reply(const char* utf8Inner, const char* docId = "1");
std::string Cell(const char* name, const char* utf8Text, int type = 8);

// Program folder of this test process (its own copy, so config files are private).
std::wstring ProgramFolder();
std::wstring ConfigFile(const wchar_t* name);
void WriteConfig(const wchar_t* key, const wchar_t* value);   // psimprof.cfg [PSConfig]
std::string ReadRunProf(const char* section, const char* key);
void ResetFiles();   // psimprof.cfg to defaults; run_prof.cfg and user folders removed

#define PS_FUNCTIONS(X)                                                                          \
    X(PS_Cco_LoginA) X(PS_Cco_LoginW) X(PS_Cco_Logoff) X(PS_Cco_HeartBeat) X(PS_Cco_AddOffFriendA)   \
    X(PS_Cco_AddOffFriendW) X(PS_Cco_AddOnFriendA) X(PS_Cco_AddOnFriendW) X(PS_Cco_AddGroupA)        \
    X(PS_Cco_AddGroupW) X(PS_Cco_MoveFriendA) X(PS_Cco_MoveFriendW) X(PS_Cco_DelBlackUserA)          \
    X(PS_Cco_DelBlackUserW) X(PS_Cco_DelGroupA) X(PS_Cco_DelGroupW) X(PS_Cco_DelFriendA)             \
    X(PS_Cco_DelFriendW) X(PS_Cco_ModifyFriendInfoA) X(PS_Cco_ModifyFriendInfoW)                     \
    X(PS_Cco_ModifyGroupInfoA) X(PS_Cco_ModifyGroupInfoW) X(PS_Cco_GetFriendInfoA)                   \
    X(PS_Cco_GetFriendInfoW) X(PS_Cco_GetFriendIpA) X(PS_Cco_GetFriendIpW) X(PS_Cco_GetOnlineCount)  \
    X(PS_Cco_SendRequestValidA) X(PS_Cco_SendRequestValidW) X(PS_Cco_SendResponseValidA)             \
    X(PS_Cco_SendResponseValidW) X(PS_Cco_UpdateStatusA) X(PS_Cco_UpdateStatusW) X(PS_Cco_DownloadA) \
    X(PS_Cco_DownloadW) X(PS_Cco_GetOnlineFriendsA) X(PS_Cco_GetOnlineFriendsW) X(PS_Cco_SearchUserA) \
    X(PS_Cco_SearchUserW)

// PresenceCore.dll loaded from the program folder, every export resolved by name.
struct Presence {
#define PS_MEMBER(name) decltype(&::name) name = nullptr;
    PS_FUNCTIONS(PS_MEMBER)
#undef PS_MEMBER
    HMODULE module = nullptr;
    bool Load();
    void Unload();
};

// Fresh files, a reset fake server and a freshly loaded library for every test.
class PresenceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Unloads and loads the library again: its module state starts over.
    void Reload();
    // Turns the gatekeeper step on, at "/gk/" of the fake server, and reloads.
    void UseGatekeeper();
    Presence ps;
};

// The account of most tests: u1001 "张三".
FriendInfoA Account();

// A record between canary bytes that must survive every call.
template <typename T>
struct Guarded {
    unsigned char before[32];
    T rec;
    unsigned char after[32];
    Guarded() {
        memset(before, 0xA5, sizeof before);
        memset(&rec, 0, sizeof rec);
        memset(after, 0x5A, sizeof after);
    }
    bool Intact() const {
        for (unsigned char c : before) if (c != 0xA5) return false;
        for (unsigned char c : after) if (c != 0x5A) return false;
        return true;
    }
};

}  // namespace pstest
