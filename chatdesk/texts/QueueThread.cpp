// The Win32 thread around a chat window's send queue.
#include "QueueThread.h"

#include "PumpingJoin.h"

namespace chatdesk {

DWORD WINAPI QueueThread::Main(void* queue) {
    static_cast<SendQueue*>(queue)->Run();
    return 0;
}

bool QueueThread::Start(SendQueue& queue) {
    if (thread_) return true;
    thread_ = CreateThread(nullptr, 0, Main, &queue, 0, nullptr);
    if (!thread_) return false;
    queue_ = &queue;
    return true;
}

void QueueThread::Stop() {
    if (!thread_) return;
    queue_->Stop();
    vantor::WaitPumping(thread_);
    CloseHandle(thread_);
    thread_ = nullptr;
    queue_ = nullptr;
}

}  // namespace chatdesk
