// One node: a listening socket, outgoing connections, one completion port and its
// workers, the accept thread and the message thread that starts receives of outgoing
// connections. The exports of SockHive.dll are thin calls into this class.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <deque>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "ChannelLife.h"
#include "FrameReader.h"
#include "SockHive.h"
#include "Sync.h"

namespace sockhive {

// Thread messages of the message thread.
constexpr UINT kMsgFirstReceive = 4024;  // lParam: the channel's handle
constexpr UINT kMsgEnd = 4025;

enum class Operation { Receive = 0, Send = 1 };

// The system's overlapped record comes first: completions are found from it.
struct IoContext {
    OVERLAPPED overlapped{};
    Operation operation;
    explicit IoContext(Operation op) : operation(op) {}
};

struct SendContext : IoContext {
    SendContext() : IoContext(Operation::Send) {}
    int toSend = 0;
    int done = 0;
    bool inUse = false;
    bool closeAfter = false;
    char buffer[kBufferBytes];
};

class SocketNode;

class Channel {
public:
    Channel(SocketNode* node, uintptr_t id, SOCKET socket, const sockaddr_in& peer, int sendLimit);

    NetChannel Handle() const { return reinterpret_cast<NetChannel>(id_); }
    uintptr_t Id() const { return id_; }
    bool IsPeer(unsigned long address, unsigned short port) const;

private:
    friend class SocketNode;
    struct ReceiveContext : IoContext {
        ReceiveContext(FrameReader::HeadNeed head, FrameReader::BodyNeed body)
            : IoContext(Operation::Receive), reader(std::move(head), std::move(body)) {}
        FrameReader reader;
    };

    const uintptr_t id_;
    sockaddr_in peer_;
    ChannelLife life_;
    // Guards the socket value, the send contexts, and every call that posts on the
    // socket, so a close request never misses an operation posted at the same moment.
    vantor::CriticalSection socketLock_;
    SOCKET socket_;
    bool cancelled_ = false;
    // Sends and receives that finish at once queue no completion: their starter hands
    // them on itself.
    bool skipsPortOnSuccess_ = false;
    ReceiveContext receive_;
    std::vector<std::unique_ptr<SendContext>> sends_;
    std::deque<SendContext*> queue_;  // counted sends waiting for the wire, in order
    std::vector<SendContext*> wire_;  // the sends of the one transfer under way
    bool sending_ = false;            // a transfer is out or its completion is being handled

};

class SocketNode {
    friend class Channel;

public:
    // A started node, or null (with the reason written to the debugger).
    static SocketNode* Start(unsigned short port);
    // Ends every thread and frees the node; no callback runs after it returns.
    void Stop();

    NetChannel Connect(unsigned long address, unsigned short port);
    // 1 queued, 0 refused.
    int QueueSend(NetChannel channel, const char* bytes, int length, bool closeAfter);
    int BlockingSend(NetChannel channel, const char* bytes, int length);
    int Disconnect(NetChannel channel);

    void SetRecvData(NetRecvDataProc proc, void* user) { user_ = user; recvData_ = proc; }
    void SetSendData(NetSendDataProc proc) { sendData_ = proc; }
    void SetHeadNeed(NetHeadNeedProc proc) { headNeed_ = proc; }
    void SetBodyNeed(NetBodyNeedProc proc) { bodyNeed_ = proc; }
    void SetChannelClosed(NetChannelClosedProc proc) { channelClosed_ = proc; }

    int Workers() const { return workerCount_; }
    size_t ChannelCount();

private:
    explicit SocketNode(unsigned short port);
    ~SocketNode();
    bool Open();

    static DWORD WINAPI WorkerMain(void* self);
    static DWORD WINAPI AcceptMain(void* self);
    static DWORD WINAPI MessageMain(void* self);
    void WorkLoop();
    void Dispatch(Channel* channel, IoContext* context, bool ok, DWORD bytes);
    // An operation of a channel that skips the port finished at once: the calling worker
    // takes it after its current work, any other thread hands it to the workers.
    void FinishedAtOnce(Channel* channel, IoContext* context, DWORD bytes);
    void AcceptLoop();
    void MessageLoop();
    void AcceptPending();

    // Counts the channel's first receive before it is published.
    Channel* AddChannel(SOCKET socket, const sockaddr_in& peer);
    Channel* FindChannel(uintptr_t id);
    // Finds the channel and counts a send on it, under the node lock; null when refused.
    Channel* FindForSend(NetChannel handle);
    // The counted first receive: posted, or the channel closed.
    void FirstReceive(Channel* channel);
    bool PostReceive(Channel* channel);
    void OnReceive(Channel* channel, bool ok, DWORD bytes);
    // The transfer on the wire came back.
    void OnSend(Channel* channel, bool ok, DWORD bytes);
    // One transfer's completion; `*again`, when given, gets the bytes of the next one when
    // that finished at once (else stays kNotAtOnce); without it, such a transfer goes
    // through the port. False when the channel may be gone.
    bool FinishTransfer(Channel* channel, bool ok, DWORD bytes, DWORD* again);
    // Under the channel's socket lock, nothing on the wire: the queued sends go out as
    // one transfer. False when it could not be started. A transfer that finishes at once
    // goes through the port, or into `*finishedAtOnce` when that is given.
    bool StartSendLocked(Channel* channel, DWORD* finishedAtOnce = nullptr);
    static constexpr DWORD kNotAtOnce = 0xFFFFFFFF;
    void EndReceive(Channel* channel);
    void EndSend(Channel* channel);
    // No further operations; `cancel` also ends the outstanding ones and tells the peer.
    // True when the caller must run the close path now.
    bool RequestClose(Channel* channel, bool cancel);
    // Off the list, the socket closed, one notice, freed. False when closing the socket failed.
    bool ClosePath(Channel* channel);

    const unsigned short port_;
    HANDLE completionPort_ = nullptr;
    bool started_ = false;
    bool socketsStarted_ = false;
    HANDLE acceptThread_ = nullptr;
    HANDLE acceptStop_ = nullptr;
    HANDLE queueReady_ = nullptr;
    DWORD messageThreadId_ = 0;
    HANDLE messageThread_ = nullptr;
    SOCKET listen_ = INVALID_SOCKET;
    int workerCount_ = 0;
    std::vector<HANDLE> workers_;
    HANDLE workersEnded_ = nullptr;
    volatile LONG runningWorkers_ = 0;
    std::atomic<bool> stopping_{false};

    std::atomic<NetRecvDataProc> recvData_{nullptr};
    std::atomic<void*> user_{nullptr};
    std::atomic<NetHeadNeedProc> headNeed_{nullptr};
    std::atomic<NetBodyNeedProc> bodyNeed_{nullptr};
    std::atomic<NetChannelClosedProc> channelClosed_{nullptr};
    std::atomic<NetSendDataProc> sendData_{nullptr};

    vantor::CriticalSection lock_;  // the channel list
    std::unordered_map<uintptr_t, Channel*> channels_;
    uintptr_t nextId_ = 1;
    vantor::CriticalSection connectLock_;  // one connection per peer, even from two callers at once
};

}  // namespace sockhive
