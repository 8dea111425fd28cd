// The queue thread of a chat window: a thread of its own that runs the window's send
// queue, stopped from the user-interface thread with a wait that keeps pumping messages
// (the queue's notices reach the window by sent messages).
#pragma once

#include <windows.h>

#include "SendQueue.h"

namespace chatdesk {

class QueueThread {
public:
    QueueThread() = default;
    ~QueueThread() { Stop(); }
    QueueThread(const QueueThread&) = delete;
    QueueThread& operator=(const QueueThread&) = delete;

    bool Start(SendQueue& queue);
    // Asks the queue to stop, waits for the thread (pumping) and closes its handle.
    void Stop();
    bool Running() const { return thread_ != nullptr; }

private:
    static DWORD WINAPI Main(void* queue);
    SendQueue* queue_ = nullptr;
    HANDLE thread_ = nullptr;
};

}  // namespace chatdesk
