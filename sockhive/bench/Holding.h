// Many connections at once: opened to a node, held, and each served one echo, by a client
// in the node's own process, or by one in a second Wine prefix (whose Wine server has
// descriptors of its own) that the node's side drives over a control connection:
//   node's side -> peer: "hold <count>" (the connections held so far are closed first), "end"
//   peer -> node's side: "<opened> <served> <open seconds> <serve seconds> <sockets error>"
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

namespace bench {

struct Held {
    int opened = 0;
    int served = 0;
    int stopError = 0;  // the sockets error that ended the opening early, or 0
    double openSeconds = 0;   // opening each with its first echo
    double serveSeconds = 0;  // the echo of each, all held
};

// Opens up to `count` connections to `port`, each served a first echo, and keeps them in
// *sockets; then, all of them held, has each served one more. The opening stops early only
// when the system refuses further sockets or the node stops serving new ones.
Held OpenAndServe(unsigned short port, int count, std::vector<SOCKET>* sockets);

// The peer: holds what the node's side asks for until it says "end". Answers the exit code.
int RunHoldingPeer(unsigned short nodePort, unsigned short controlPort);

// The node's side of the control connection.
class HoldingPeer {
public:
    ~HoldingPeer();
    // Listens for the peer and writes "<node port> <control port>" to `file` for the
    // script that starts it.
    bool Open(unsigned short nodePort, const std::string& file);
    bool WaitForPeer(DWORD ms);
    // The peer holds `count` connections; false when it did not answer.
    bool Hold(int count, Held* held);
    void End();

private:
    SOCKET listen_ = INVALID_SOCKET;
    SOCKET peer_ = INVALID_SOCKET;
};

}  // namespace bench
