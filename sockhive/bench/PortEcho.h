// The benchmark's reference for the node: a bare echo of the same framing (an 8-byte
// head whose first four bytes give the body length) on one completion port, with as many
// workers as a node has, and nothing else: no channel records, no callbacks, no send
// contexts. Like the node, it has the system skip the port for an operation that finishes
// at once and takes that operation on the same worker. What it reaches is what the
// platform gives a completion-port server here.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace bench {

class PortEcho {
public:
    PortEcho(unsigned short port, int workers);
    ~PortEcho();
    bool Listening() const { return listen_ != INVALID_SOCKET; }

    struct Link;
    struct Finished;
    HANDLE Port() const { return port_; }
    // A link's last operation ended: it is no longer open.
    void Forget(Link* link);

private:
    void AcceptLoop();
    void WorkLoop();

    HANDLE port_ = nullptr;
    SOCKET listen_ = INVALID_SOCKET;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
    std::mutex lock_;
    std::set<Link*> open_;
};

}  // namespace bench
