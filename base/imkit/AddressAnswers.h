// What the presence server last said of where each peer is, kept for 30 s. Messages that
// come meanwhile are compared with that answer instead of asking again, so one ask serves
// them all, whoever sent the first: a forged message naming a friend cannot use up the
// friend's own confirmation, and no peer makes the server be asked more than once in that
// time. Shared between threads; no lock is held while the server is asked.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "ContactRecords.h"

namespace vantor {
namespace imkit {

class AddressAnswers {
public:
    static constexpr DWORD kKeepMs = 30000;

    enum class State { kNone, kAsking, kAnswered };
    struct Answer {
        State state = State::kNone;
        bool found = false;  // the server gave the peer's addresses
        FriendStatus status = {};
    };

    AddressAnswers() = default;
    AddressAnswers(const AddressAnswers&) = delete;
    AddressAnswers& operator=(const AddressAnswers&) = delete;

    // The answer kept for `id`, or whether an ask is under way.
    Answer Look(const std::string& id);
    // True when the caller is to ask now (no answer kept, no ask under way); each true is
    // followed by Answered, found or not.
    bool BeginAsk(const std::string& id);
    void Answered(const std::string& id, bool found, const FriendStatus& status);

    // For threads that may wait: the answer kept, else the one `ask` gets now, else that
    // of an ask under way on another thread, waited for up to waitMs (kAsking after that).
    Answer Confirm(const std::string& id, const std::function<bool(FriendStatus*)>& ask, DWORD waitMs);

private:
    struct Entry {
        DWORD since = 0;  // when the ask began, or the answer came
        bool asking = false;
        bool found = false;
        FriendStatus status = {};
    };
    // Under the lock.
    Answer Current(const std::string& id, DWORD now) const;
    void Prune(DWORD now);

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::map<std::string, Entry> entries_;
};

}  // namespace imkit
}  // namespace vantor
