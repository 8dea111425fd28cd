#include "SocketNode.h"

#include <cstring>

#include "DebugOut.h"
#include "PortSkip.h"
#include "PumpingJoin.h"

namespace sockhive {

namespace {

const ULONG_PTR kQuitKey = 0;
// How long the accept thread waits for a connection signal before it looks by itself.
const DWORD kAcceptPollMs = 200;

// The lines of every single receive and send. Writing a debugger line costs more than
// the transfer itself (it halves the echo rate), so these two are written only while a
// debugger is attached; the node's other lines are always written.
void TraceLine(const wchar_t* line) {
    if (IsDebuggerPresent()) OutputDebugStringW(line);
}

bool ResourceShortage(int error) { return error == WSAENOBUFS || error == WSAEMFILE || error == WSA_NOT_ENOUGH_MEMORY; }

// Operations finished at once on a worker, taken in order before it waits on the port.
// A worker takes at most this many operations in a row without waiting on the port;
// past that, one that finishes at once goes through the port behind what waits there, so
// channels whose operations keep finishing at once (a peer that floods, a stream fed from
// the send callback) hold no other channel back.
const int kMostInARow = 32;
struct FinishedWork {
    const SocketNode* node;
    struct Entry {
        Channel* channel;
        IoContext* context;
        DWORD bytes;
    };
    std::deque<Entry> entries;
    int inARow = 0;  // operations taken since the port was last waited on
};
thread_local FinishedWork* t_finished = nullptr;

// The calling worker's finished operations, when it is a worker of `node`.
FinishedWork* WorkOf(const SocketNode* node) { return t_finished && t_finished->node == node ? t_finished : nullptr; }

// Counts one more operation that the calling worker of `node` takes itself, if it may.
bool TakeAnother(const SocketNode* node) {
    FinishedWork* work = WorkOf(node);
    if (!work || work->inARow >= kMostInARow) return false;
    ++work->inARow;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------

Channel::Channel(SocketNode* node, uintptr_t id, SOCKET socket, const sockaddr_in& peer, int sendLimit)
    : id_(id),
      peer_(peer),
      life_(sendLimit),
      socket_(socket),
      receive_([node] {
                   NetHeadNeedProc head = node->headNeed_;
                   return head ? head() : 0;
               },
               [node](const char* head, int length) {
                   NetBodyNeedProc body = node->bodyNeed_;
                   return body ? body(head, length) : 0;
               }) {}

bool Channel::IsPeer(unsigned long address, unsigned short port) const {
    return peer_.sin_addr.s_addr == address && peer_.sin_port == htons(port);
}

// ---------------------------------------------------------------------------------------

SocketNode::SocketNode(unsigned short port) : port_(port) {}

SocketNode::~SocketNode() {
    if (listen_ != INVALID_SOCKET) closesocket(listen_);
    for (HANDLE worker : workers_) CloseHandle(worker);
    for (HANDLE h : {acceptThread_, acceptStop_, queueReady_, messageThread_, workersEnded_, completionPort_}) {
        if (h) CloseHandle(h);
    }
}

SocketNode* SocketNode::Start(unsigned short port) {
    SocketNode* node = new SocketNode(port);
    if (!node->Open()) {
        bool socketsStarted = node->socketsStarted_;
        node->Stop();
        if (socketsStarted) WSACleanup();
        return nullptr;
    }
    return node;
}

bool SocketNode::Open() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    socketsStarted_ = true;
    workersEnded_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    acceptStop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    queueReady_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!workersEnded_ || !acceptStop_ || !queueReady_) return false;

    // The port is taken here, not in the accept thread: a port in use fails the start
    // instead of leaving a node that never accepts.
    listen_ = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (listen_ == INVALID_SOCKET) return false;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(port_);
    if (bind(listen_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 || listen(listen_, 5) != 0) {
        vantor::DebugLine(L"监听端口%d失败了，失败原因：%d\n", port_, WSAGetLastError());
        return false;
    }

    completionPort_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (!completionPort_) {
        vantor::DebugLineA("CreateIoCompletionPort failed\n");
        return false;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int processors = static_cast<int>(system.dwNumberOfProcessors);
    workerCount_ = processors + (processors + 1) / 2;
    for (int i = 0; i < workerCount_; ++i) {
        DWORD id = 0;
        InterlockedIncrement(&runningWorkers_);
        HANDLE worker = CreateThread(nullptr, 0, WorkerMain, this, 0, &id);
        if (!worker) {
            InterlockedDecrement(&runningWorkers_);
            vantor::DebugLineA("CreateWorkThread failed\n");
            return false;
        }
        workers_.push_back(worker);
        vantor::DebugLine(L"启动了一个工作线程：%d\n", id);
    }
    acceptThread_ = CreateThread(nullptr, 0, AcceptMain, this, 0, nullptr);
    if (!acceptThread_) {
        vantor::DebugLineA("CreateServerThread failed\n");
        return false;
    }
    // Its queue must exist before anyone connects, or the first 4024 would be lost.
    messageThread_ = CreateThread(nullptr, 0, MessageMain, this, 0, &messageThreadId_);
    if (!messageThread_) return false;
    HANDLE ready[2] = {queueReady_, messageThread_};
    if (WaitForMultipleObjects(2, ready, FALSE, INFINITE) != WAIT_OBJECT_0) return false;
    started_ = true;
    return true;
}

void SocketNode::Stop() {
    stopping_ = true;
    if (messageThread_) {
        PostThreadMessageW(messageThreadId_, kMsgEnd, 0, 0);
        // The caller's own window messages keep flowing meanwhile.
        vantor::JoinPumping(messageThread_);
    }
    if (acceptThread_) {
        SetEvent(acceptStop_);
        vantor::JoinPumping(acceptThread_);
    }
    if (listen_ != INVALID_SOCKET) {
        closesocket(listen_);
        listen_ = INVALID_SOCKET;
    }

    // Every channel still open is closed and freed without a notice: its outstanding
    // operations are cancelled and the workers run the close path as they come back.
    // Decided under the list lock, so a channel that a worker is closing right now is
    // never touched after it was freed.
    std::vector<Channel*> idle;
    {
        vantor::Lock hold(lock_);
        for (auto& entry : channels_) {
            if (RequestClose(entry.second, true)) idle.push_back(entry.second);
        }
    }
    for (Channel* channel : idle) ClosePath(channel);
    for (int waited = 0; ChannelCount() > 0 && waited < 5000; waited += 5) Sleep(5);

    for (size_t i = 0; i < workers_.size(); ++i) PostQueuedCompletionStatus(completionPort_, 0, kQuitKey, nullptr);
    if (!workers_.empty()) WaitForSingleObject(workersEnded_, INFINITE);
    WaitForMultipleObjects(static_cast<DWORD>(workers_.size()), workers_.data(), TRUE, INFINITE);

    {
        vantor::Lock hold(lock_);
        for (auto& entry : channels_) {
            // Operations that never came back may still be written into by the system:
            // such a channel is left allocated rather than freed under them.
            vantor::DebugLine(L"通道%d的操作没有结束，未释放\n", static_cast<int>(entry.first));
            closesocket(entry.second->socket_);
        }
        channels_.clear();
    }
    // Windows Sockets stays started, as the node's callers have always had it.
    started_ = false;
    delete this;
}

size_t SocketNode::ChannelCount() {
    vantor::Lock hold(lock_);
    return channels_.size();
}

// --- threads ---------------------------------------------------------------------------

DWORD WINAPI SocketNode::WorkerMain(void* self) {
    static_cast<SocketNode*>(self)->WorkLoop();
    return 0;
}

DWORD WINAPI SocketNode::AcceptMain(void* self) {
    static_cast<SocketNode*>(self)->AcceptLoop();
    return 0;
}

DWORD WINAPI SocketNode::MessageMain(void* self) {
    static_cast<SocketNode*>(self)->MessageLoop();
    return 0;
}

void SocketNode::WorkLoop() {
    FinishedWork finished{this, {}};
    t_finished = &finished;
    for (;;) {
        while (!finished.entries.empty()) {
            FinishedWork::Entry entry = finished.entries.front();
            finished.entries.pop_front();
            Dispatch(entry.channel, entry.context, true, entry.bytes);
        }
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        BOOL ok = GetQueuedCompletionStatus(completionPort_, &bytes, &key, &overlapped, INFINITE);
        finished.inARow = 0;
        if (!overlapped) {
            if (key == kQuitKey || !ok) break;
            continue;
        }
        Dispatch(reinterpret_cast<Channel*>(key), CONTAINING_RECORD(overlapped, IoContext, overlapped), ok != FALSE,
                 bytes);
    }
    t_finished = nullptr;
    vantor::DebugLine(L"一个工作线程：%d 运行结束了\n", GetCurrentThreadId());
    if (InterlockedDecrement(&runningWorkers_) == 0) {
        vantor::DebugLine(L"所有的工作线程都结束了\n");
        SetEvent(workersEnded_);
    }
}

void SocketNode::Dispatch(Channel* channel, IoContext* context, bool ok, DWORD bytes) {
    if (context->operation == Operation::Receive) {
        OnReceive(channel, ok, bytes);
    } else {
        OnSend(channel, ok, bytes);
    }
}

void SocketNode::FinishedAtOnce(Channel* channel, IoContext* context, DWORD bytes) {
    // A receive is taken by the worker that posted it, after its current work. A send
    // never is: it may have been given from inside a callback that waits for the
    // channel's earlier sends to finish, and only another worker can finish them.
    if (context->operation == Operation::Receive && TakeAnother(this)) {
        WorkOf(this)->entries.push_back({channel, context, bytes});
        return;
    }
    // Callbacks run on workers only: this one goes through the port like any completion.
    if (!PostQueuedCompletionStatus(completionPort_, bytes, reinterpret_cast<ULONG_PTR>(channel), &context->overlapped)) {
        vantor::DebugLine(L"PostQueuedCompletionStatus failed: %d\n", static_cast<int>(GetLastError()));
    }
}

void SocketNode::AcceptLoop() {
    HANDLE acceptable = WSACreateEvent();
    bool watching = acceptable != WSA_INVALID_EVENT && WSAEventSelect(listen_, acceptable, FD_ACCEPT) == 0;
    if (watching) {
        // Accepting ends only when the node stops; a failed accept is reported and the
        // next connection is taken.
        // The wait also ends now and then without a signal: under Wine a connection that
        // arrives while the last accept is answering "would block" may set no event, and it
        // must not wait in the queue for ever.
        HANDLE events[2] = {acceptStop_, acceptable};
        for (;;) {
            DWORD woken = WaitForMultipleObjects(2, events, FALSE, kAcceptPollMs);
            if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT) break;
            WSANETWORKEVENTS happened;
            WSAEnumNetworkEvents(listen_, acceptable, &happened);
            AcceptPending();
        }
    } else {
        vantor::DebugLine(L"监听服务线程无法等待连接：%d\n", WSAGetLastError());
        WaitForSingleObject(acceptStop_, INFINITE);
    }
    if (acceptable != WSA_INVALID_EVENT) WSACloseEvent(acceptable);
    vantor::DebugLine(L"监听服务线程结束了\n");
}

void SocketNode::AcceptPending() {
    while (WaitForSingleObject(acceptStop_, 0) == WAIT_TIMEOUT) {
        sockaddr_in peer{};
        int size = sizeof peer;
        SOCKET socket = accept(listen_, reinterpret_cast<sockaddr*>(&peer), &size);
        if (socket == INVALID_SOCKET) {
            int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) return;
            vantor::DebugLine(L"接受连接失败了，失败原因：%d\n", error);
            if (ResourceShortage(error)) Sleep(50);
            continue;
        }
        // An accepted socket inherits the listener's event selection and non-blocking
        // mode; the blocking send needs it plain.
        WSAEventSelect(socket, nullptr, 0);
        u_long blocking = 0;
        ioctlsocket(socket, FIONBIO, &blocking);
        Channel* channel = AddChannel(socket, peer);
        if (!channel) {
            closesocket(socket);
            continue;
        }
        FirstReceive(channel);
    }
}

void SocketNode::MessageLoop() {
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(queueReady_);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kMsgEnd) break;
        if (msg.message == kMsgFirstReceive) {
            Channel* channel = FindChannel(static_cast<uintptr_t>(msg.lParam));
            if (channel) FirstReceive(channel);
        }
    }
    // Connections made while the node stopped: their counted receive ends here.
    while (PeekMessageW(&msg, nullptr, kMsgFirstReceive, kMsgFirstReceive, PM_REMOVE)) {
        Channel* channel = FindChannel(static_cast<uintptr_t>(msg.lParam));
        if (!channel) continue;
        RequestClose(channel, true);
        EndReceive(channel);
    }
}

// --- channels --------------------------------------------------------------------------

Channel* SocketNode::AddChannel(SOCKET socket, const sockaddr_in& peer) {
    vantor::Lock hold(lock_);
    if (stopping_) return nullptr;
    Channel* channel = new Channel(this, nextId_++, socket, peer, workerCount_);
    if (!CreateIoCompletionPort(reinterpret_cast<HANDLE>(socket), completionPort_,
                                reinterpret_cast<ULONG_PTR>(channel), 0)) {
        delete channel;
        return nullptr;
    }
    channel->skipsPortOnSuccess_ = vantor::net::SkipCompletionPortOnSuccess(socket);
    // Its receive is counted before anyone else can see the channel, so no close can
    // free it before that receive is posted.
    channel->life_.BeginReceive();
    channels_[channel->Id()] = channel;
    return channel;
}

Channel* SocketNode::FindChannel(uintptr_t id) {
    vantor::Lock hold(lock_);
    auto it = channels_.find(id);
    return it == channels_.end() ? nullptr : it->second;
}

Channel* SocketNode::FindForSend(NetChannel handle) {
    vantor::Lock hold(lock_);
    auto it = channels_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == channels_.end() || !it->second->life_.BeginSend()) return nullptr;
    return it->second;
}

void SocketNode::FirstReceive(Channel* channel) {
    if (channel->receive_.reader.Begin() == FrameReader::Step::Receive && PostReceive(channel)) return;
    RequestClose(channel, true);
    EndReceive(channel);
}

bool SocketNode::PostReceive(Channel* channel) {
    vantor::Lock hold(channel->socketLock_);
    if (channel->life_.Closing() || channel->socket_ == INVALID_SOCKET) return false;
    Channel::ReceiveContext& context = channel->receive_;
    std::memset(&context.overlapped, 0, sizeof context.overlapped);
    WSABUF slice{static_cast<ULONG>(context.reader.TargetLength()), context.reader.Target()};
    DWORD flags = 0;
    DWORD bytes = 0;
    if (WSARecv(channel->socket_, &slice, 1, &bytes, &flags, &context.overlapped, nullptr) == 0) {
        if (channel->skipsPortOnSuccess_) FinishedAtOnce(channel, &context, bytes);
        return true;
    }
    return WSAGetLastError() == WSA_IO_PENDING;
}

void SocketNode::OnReceive(Channel* channel, bool ok, DWORD bytes) {
    if (!ok || bytes == 0) {
        // The peer closed or the connection broke: sends still under way finish first.
        RequestClose(channel, false);
        EndReceive(channel);
        return;
    }
    TraceLine(L"接收到了客户端发送过来的数据\n");
    FrameReader& reader = channel->receive_.reader;
    FrameReader::Step step = stopping_ ? FrameReader::Step::Fail : reader.Received(static_cast<int>(bytes));
    // One receive may have completed several messages: each goes on in turn, until the
    // channel starts closing.
    while (step == FrameReader::Step::Deliver) {
        NetRecvDataProc deliver = recvData_;
        if (deliver) deliver(channel->Handle(), reader.Message(), reader.MessageLength(), user_);
        step = stopping_ || channel->life_.Closing() ? FrameReader::Step::Fail : reader.Delivered();
    }
    if (step == FrameReader::Step::Receive && PostReceive(channel)) return;
    // A message that cannot fit, or a receive that could not be posted.
    RequestClose(channel, true);
    EndReceive(channel);
}

bool SocketNode::StartSendLocked(Channel* channel, DWORD* finishedAtOnce) {
    if (channel->cancelled_ || channel->socket_ == INVALID_SOCKET || channel->queue_.empty()) return false;
    // Sends queued behind one on the wire leave together, in their order; nothing
    // follows a closing send.
    constexpr size_t kMostSlices = 16;
    WSABUF slices[kMostSlices];
    while (!channel->queue_.empty() && channel->wire_.size() < kMostSlices) {
        SendContext* context = channel->queue_.front();
        channel->queue_.pop_front();
        slices[channel->wire_.size()] = {static_cast<ULONG>(context->toSend - context->done),
                                         context->buffer + context->done};
        channel->wire_.push_back(context);
        if (context->closeAfter) break;
    }
    SendContext* first = channel->wire_.front();
    std::memset(&first->overlapped, 0, sizeof first->overlapped);
    DWORD bytes = 0;
    if (WSASend(channel->socket_, slices, static_cast<DWORD>(channel->wire_.size()), &bytes, 0, &first->overlapped,
                nullptr) == 0) {
        if (channel->skipsPortOnSuccess_) {
            if (finishedAtOnce) {
                *finishedAtOnce = bytes;
            } else {
                FinishedAtOnce(channel, first, bytes);
            }
        }
        channel->sending_ = true;
        return true;
    }
    if (WSAGetLastError() == WSA_IO_PENDING) {
        channel->sending_ = true;
        return true;
    }
    // Back in line, so the caller ends them with the rest.
    channel->queue_.insert(channel->queue_.begin(), channel->wire_.begin(), channel->wire_.end());
    channel->wire_.clear();
    return false;
}

void SocketNode::OnSend(Channel* channel, bool ok, DWORD bytes) {
    // The next transfer, when it finishes at once, is taken here in turn rather than
    // through the port (no callback of the caller's is under way on this thread), as long
    // as this worker may take another operation in a row.
    for (;;) {
        DWORD again = kNotAtOnce;
        if (!FinishTransfer(channel, ok, bytes, TakeAnother(this) ? &again : nullptr) || again == kNotAtOnce) return;
        ok = true;
        bytes = again;
    }
}

bool SocketNode::FinishTransfer(Channel* channel, bool ok, DWORD bytes, DWORD* again) {
    TraceLine(L"发送数据到客户端\n");
    bool failed = !ok || bytes == 0;
    std::vector<SendContext*> sent;
    {
        vantor::Lock hold(channel->socketLock_);
        // The transfer's bytes complete its sends in order; a send left short goes out
        // again from where it stopped, ahead of the rest.
        DWORD left = failed ? 0 : bytes;
        size_t i = 0;
        for (; i < channel->wire_.size(); ++i) {
            SendContext* context = channel->wire_[i];
            DWORD rest = static_cast<DWORD>(context->toSend - context->done);
            if (left < rest) {
                context->done += static_cast<int>(left);
                break;
            }
            left -= rest;
            context->done = context->toSend;
            sent.push_back(context);
        }
        channel->queue_.insert(channel->queue_.begin(), channel->wire_.begin() + static_cast<std::ptrdiff_t>(i),
                               channel->wire_.end());
        channel->wire_.clear();
        if (!failed && sent.empty()) {
            if (StartSendLocked(channel, again)) return true;
            failed = true;
        }
    }
    bool closeAfter = false;
    for (SendContext* context : sent) {
        closeAfter = closeAfter || context->closeAfter;
        if (stopping_) continue;
        NetSendDataProc notify = sendData_;
        if (notify) notify(channel->Handle(), context->toSend, user_);
    }
    int ended = static_cast<int>(sent.size());
    {
        vantor::Lock hold(channel->socketLock_);
        for (SendContext* context : sent) {
            context->inUse = false;
            context->closeAfter = false;
        }
        channel->sending_ = false;
        // The next sends in line go out now; after a failure or the closing send none
        // of the rest ever will.
        if (!failed && !closeAfter && !channel->queue_.empty() && !StartSendLocked(channel, again)) {
            vantor::DebugLine(L"发送数据失败了，失败原因：%d\n", WSAGetLastError());
            failed = true;
        }
        if (failed || closeAfter) {
            for (SendContext* context : channel->queue_) {
                context->inUse = false;
                context->closeAfter = false;
                ++ended;
            }
            channel->queue_.clear();
        }
    }
    if (failed || closeAfter) RequestClose(channel, true);
    // One count for all of them: the close path may free the channel.
    if (channel->life_.EndSend(ended)) {
        ClosePath(channel);
        return false;
    }
    return !failed && !closeAfter;
}

void SocketNode::EndReceive(Channel* channel) {
    if (channel->life_.EndReceive()) ClosePath(channel);
}

void SocketNode::EndSend(Channel* channel) {
    if (channel->life_.EndSend()) ClosePath(channel);
}

bool SocketNode::RequestClose(Channel* channel, bool cancel) {
    vantor::Lock hold(channel->socketLock_);
    bool now = channel->life_.RequestClose();
    if (cancel && !channel->cancelled_ && channel->socket_ != INVALID_SOCKET) {
        channel->cancelled_ = true;
        // The peer sees the end after what was sent so far; what is still outstanding
        // here comes back cancelled.
        shutdown(channel->socket_, SD_SEND);
        CancelIoEx(reinterpret_cast<HANDLE>(channel->socket_), nullptr);
    }
    return now;
}

bool SocketNode::ClosePath(Channel* channel) {
    {
        vantor::Lock hold(lock_);
        channels_.erase(channel->Id());
    }
    bool closed = true;
    {
        vantor::Lock hold(channel->socketLock_);
        if (channel->socket_ != INVALID_SOCKET) {
            if (closesocket(channel->socket_) != 0) {
                vantor::DebugLine(L"closesocket失败了\n");
                closed = false;
            }
            channel->socket_ = INVALID_SOCKET;
        }
    }
    NetChannelClosedProc notify = channelClosed_;
    if (notify && !stopping_) notify(channel->Handle(), user_);
    delete channel;
    return closed;
}

// --- exports ---------------------------------------------------------------------------

NetChannel SocketNode::Connect(unsigned long address, unsigned short port) {
    auto existing = [&]() -> NetChannel {
        vantor::Lock hold(lock_);
        for (auto& entry : channels_) {
            if (entry.second->IsPeer(address, port) && !entry.second->life_.Closing()) return entry.second->Handle();
        }
        return nullptr;
    };
    if (NetChannel found = existing()) return found;
    vantor::Lock connecting(connectLock_);
    if (NetChannel found = existing()) return found;

    SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (socket == INVALID_SOCKET) return nullptr;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    peer.sin_port = htons(port);
    if (connect(socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        closesocket(socket);
        return nullptr;
    }
    Channel* channel = AddChannel(socket, peer);
    if (!channel) {
        closesocket(socket);
        return nullptr;
    }
    NetChannel handle = channel->Handle();
    if (!PostThreadMessageW(messageThreadId_, kMsgFirstReceive, 0, static_cast<LPARAM>(channel->Id()))) {
        FirstReceive(channel);
    }
    return handle;
}

int SocketNode::QueueSend(NetChannel handle, const char* bytes, int length, bool closeAfter) {
    // One send must fit its context's buffer.
    if (!bytes || length <= 0 || length > kBufferBytes) return 0;
    Channel* channel = FindForSend(handle);
    if (!channel) return 0;
    bool posted = false;
    {
        vantor::Lock hold(channel->socketLock_);
        SendContext* context = nullptr;
        for (auto& candidate : channel->sends_) {
            if (!candidate->inUse) {
                context = candidate.get();
                break;
            }
        }
        if (!context) {
            channel->sends_.push_back(std::make_unique<SendContext>());
            context = channel->sends_.back().get();
        }
        context->inUse = true;
        context->closeAfter = closeAfter;
        std::memcpy(context->buffer, bytes, static_cast<size_t>(length));
        context->toSend = length;
        context->done = 0;
        // One transfer on the wire at a time: sends given meanwhile wait in the channel's
        // queue and leave together with the next, so the bytes go in the order they were
        // given whatever the system does with overlapping sends.
        if (channel->cancelled_ || channel->socket_ == INVALID_SOCKET) {
            posted = false;
        } else {
            channel->queue_.push_back(context);
            posted = channel->sending_ || StartSendLocked(channel);
            if (!posted) {
                vantor::DebugLine(L"发送数据失败了，失败原因：%d\n", WSAGetLastError());
                channel->queue_.pop_back();
            }
        }
        if (!posted) {
            context->inUse = false;
            context->closeAfter = false;
        }
    }
    if (!posted) EndSend(channel);
    return posted ? 1 : 0;
}

int SocketNode::BlockingSend(NetChannel handle, const char* bytes, int length) {
    if (!bytes || length <= 0 || length > kBufferBytes) return 0;
    Channel* channel = FindForSend(handle);
    if (!channel) return 0;
    SOCKET socket;
    {
        vantor::Lock hold(channel->socketLock_);
        socket = channel->cancelled_ ? INVALID_SOCKET : channel->socket_;
    }
    // The counted send keeps the socket open (it is closed only by the close path).
    int sent = 0;
    while (socket != INVALID_SOCKET && sent < length) {
        int n = send(socket, bytes + sent, length - sent, 0);
        if (n <= 0) {
            vantor::DebugLine(L"发送数据失败了，失败原因：%d\n", WSAGetLastError());
            break;
        }
        sent += n;
    }
    EndSend(channel);
    return sent == length ? 1 : 0;
}

int SocketNode::Disconnect(NetChannel handle) {
    Channel* channel = nullptr;
    {
        vantor::Lock hold(lock_);
        auto it = channels_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == channels_.end()) return 1;
        channel = it->second;
        // Decided under the list lock: only this call can run an idle channel's close path.
        if (!RequestClose(channel, true)) return 1;
    }
    return ClosePath(channel) ? 1 : 0;
}

}  // namespace sockhive
