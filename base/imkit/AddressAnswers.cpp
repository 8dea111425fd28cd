#include "AddressAnswers.h"

#include <iterator>

namespace vantor {
namespace imkit {

namespace {

// Above this many peers, answers past their time are dropped.
const size_t kPruneAbove = 256;

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

AddressAnswers::Answer AddressAnswers::Current(const std::string& id, DWORD now) const {
    Answer answer;
    auto found = entries_.find(id);
    // An ask that never ended counts as none once its time is over.
    if (found == entries_.end() || now - found->second.since >= kKeepMs) return answer;
    const Entry& e = found->second;
    answer.state = e.asking ? State::kAsking : State::kAnswered;
    answer.found = e.found;
    answer.status = e.status;
    return answer;
}

void AddressAnswers::Prune(DWORD now) {
    if (entries_.size() <= kPruneAbove) return;
    for (auto at = entries_.begin(); at != entries_.end();)
        at = now - at->second.since >= kKeepMs ? entries_.erase(at) : std::next(at);
}

AddressAnswers::Answer AddressAnswers::Look(const std::string& id) {
    ExclusiveLock hold(lock_);
    return Current(id, GetTickCount());
}

bool AddressAnswers::BeginAsk(const std::string& id) {
    ExclusiveLock hold(lock_);
    DWORD now = GetTickCount();
    if (Current(id, now).state != State::kNone) return false;
    Prune(now);
    Entry& e = entries_[id];
    e = Entry();
    e.since = now;
    e.asking = true;
    return true;
}

void AddressAnswers::Answered(const std::string& id, bool found, const FriendStatus& status) {
    {
        ExclusiveLock hold(lock_);
        Entry& e = entries_[id];
        e.since = GetTickCount();
        e.asking = false;
        e.found = found;
        e.status = found ? status : FriendStatus{};
    }
    WakeAllConditionVariable(&changed_);
}

AddressAnswers::Answer AddressAnswers::Confirm(const std::string& id, const std::function<bool(FriendStatus*)>& ask,
                                               DWORD waitMs) {
    if (BeginAsk(id)) {
        Answer answer;
        answer.state = State::kAnswered;
        answer.found = ask(&answer.status);
        if (!answer.found) answer.status = FriendStatus{};
        Answered(id, answer.found, answer.status);
        return answer;
    }
    ExclusiveLock hold(lock_);
    DWORD started = GetTickCount();
    Answer answer = Current(id, started);
    while (answer.state == State::kAsking) {
        DWORD spent = GetTickCount() - started;
        if (spent >= waitMs) break;
        SleepConditionVariableSRW(&changed_, &lock_, waitMs - spent, 0);
        answer = Current(id, GetTickCount());
    }
    return answer;
}

}  // namespace imkit
}  // namespace vantor
