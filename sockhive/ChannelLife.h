// The close bookkeeping of one channel: its outstanding operations (its receive and
// its sends) and whether it is closing. The close path (off the list, one closed notice,
// freed) runs exactly once, when the channel is closing and its last operation is over,
// so no completion ever reaches a freed channel.
#pragma once

#include "Sync.h"

namespace sockhive {

class ChannelLife {
public:
    // At most `sendLimit` sends may be outstanding at once.
    explicit ChannelLife(int sendLimit) : sendLimit_(sendLimit) {}

    // Count an operation that is about to start; false (nothing counted) once the
    // channel is closing, or for a send when the limit is reached.
    bool BeginReceive();
    bool BeginSend();
    // An operation is over (completed, failed or never started): true when the caller
    // must now run the close path.
    bool EndReceive();
    bool EndSend(int count = 1);
    // No new operations from now on: true when nothing is outstanding, so the caller
    // must run the close path now; otherwise the last operation to end does.
    bool RequestClose();

    bool Closing() const;
    int PendingSends() const;

private:
    bool FinishLocked();

    mutable vantor::CriticalSection lock_;
    const int sendLimit_;
    int receives_ = 0;
    int sends_ = 0;
    bool closing_ = false;
    bool finished_ = false;
};

}  // namespace sockhive
