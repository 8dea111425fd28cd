#include "Holding.h"

#include <cstdio>
#include <cstring>

#include "BenchTiming.h"
#include "EchoClient.h"
#include "Listener.h"

namespace bench {

namespace {

// How long the node's side waits for the peer's answer to one hold.
const DWORD kHoldAnswerMs = 10 * 60 * 1000;

bool SendLine(SOCKET s, const std::string& line) {
    std::string text = line + "\n";
    return SendAll(s, text.data(), static_cast<int>(text.size()));
}

// One line without its end, or false at the end of the connection or the time-out.
bool ReadLine(SOCKET s, std::string* line) {
    line->clear();
    for (char c; recv(s, &c, 1, 0) == 1;) {
        if (c == '\n') return true;
        if (line->size() < 200) *line += c;
    }
    return false;
}

void CloseAll(std::vector<SOCKET>* sockets) {
    for (SOCKET s : *sockets) closesocket(s);
    sockets->clear();
}

}  // namespace

namespace {

// One echo of a message numbered `sequence` on `s`.
bool EchoOnce(SOCKET s, unsigned sequence, std::vector<char>* out, std::vector<char>* in) {
    Fill(out->data(), sequence);
    return SendAll(s, out->data(), kMessage) && ReceiveAll(s, in->data(), kMessage) && *in == *out;
}

}  // namespace

Held OpenAndServe(unsigned short port, int count, std::vector<SOCKET>* sockets) {
    Held held;
    std::vector<char> out(kMessage), in(kMessage);
    double t0 = testkit::NowMs();
    // In batches of the node's listen backlog, 5, each batch's first echoes back before the
    // next opens: a connection beyond a full backlog is dropped by the system and tried
    // again only a second later, and the opening time is then the node's own, taking each
    // connection and serving it.
    const int kBatch = 5;
    int failuresInARow = 0;
    bool taken = true;
    while (taken && static_cast<int>(sockets->size()) < count && failuresInARow < 20) {
        size_t first = sockets->size();
        for (int i = 0; i < kBatch && static_cast<int>(sockets->size()) < count; ++i) {
            SOCKET s = ConnectTo(port);
            if (s == INVALID_SOCKET) {
                held.stopError = WSAGetLastError();
                ++failuresInARow;
                Sleep(10);
                continue;
            }
            failuresInARow = 0;
            SetReceiveTimeout(s, 3000);
            sockets->push_back(s);
        }
        for (size_t i = first; i < sockets->size() && taken; ++i) {
            taken = EchoOnce((*sockets)[i], static_cast<unsigned>(i), &out, &in);
        }
    }
    if (failuresInARow == 0) held.stopError = 0;
    held.opened = static_cast<int>(sockets->size());
    held.openSeconds = (testkit::NowMs() - t0) / 1000;

    // Then each once more, all of them held.
    t0 = testkit::NowMs();
    int missedInARow = 0;
    for (size_t i = 0; i < sockets->size() && missedInARow < 3; ++i) {
        if (EchoOnce((*sockets)[i], static_cast<unsigned>(i + 1), &out, &in)) {
            ++held.served;
            missedInARow = 0;
        } else {
            ++missedInARow;
        }
    }
    held.serveSeconds = (testkit::NowMs() - t0) / 1000;
    return held;
}

int RunHoldingPeer(unsigned short nodePort, unsigned short controlPort) {
    SOCKET control = ConnectTo(controlPort);
    if (control == INVALID_SOCKET) {
        std::printf("peer: no control connection to port %u (sockets error %d)\n", controlPort, WSAGetLastError());
        return 1;
    }
    std::vector<SOCKET> sockets;
    std::string command;
    int count = 0;
    while (ReadLine(control, &command)) {
        CloseAll(&sockets);
        if (std::sscanf(command.c_str(), "hold %d", &count) != 1) break;
        Held held = OpenAndServe(nodePort, count, &sockets);
        std::printf("peer: %d asked, %d opened, %d served (sockets error %d)\n", count, held.opened, held.served,
                    held.stopError);
        char answer[128];
        std::snprintf(answer, sizeof answer, "%d %d %.3f %.3f %d", held.opened, held.served, held.openSeconds,
                      held.serveSeconds, held.stopError);
        if (!SendLine(control, answer)) break;
    }
    CloseAll(&sockets);
    closesocket(control);
    return 0;
}

HoldingPeer::~HoldingPeer() {
    if (peer_ != INVALID_SOCKET) closesocket(peer_);
    if (listen_ != INVALID_SOCKET) closesocket(listen_);
}

bool HoldingPeer::Open(unsigned short nodePort, const std::string& file) {
    listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof a;
    if (listen_ == INVALID_SOCKET || bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listen_, 1) != 0 || getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
        return false;
    }
    // Written whole under another name first, so the script never reads half of it.
    std::string partial = file + ".part";
    FILE* out = std::fopen(partial.c_str(), "w");
    if (!out) return false;
    std::fprintf(out, "%u %u\n", nodePort, ntohs(a.sin_port));
    std::fclose(out);
    return MoveFileExA(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool HoldingPeer::WaitForPeer(DWORD ms) {
    peer_ = vantor::net::AcceptWithin(listen_, ms);
    if (peer_ == INVALID_SOCKET) return false;
    SetReceiveTimeout(peer_, kHoldAnswerMs);
    return true;
}

bool HoldingPeer::Hold(int count, Held* held) {
    std::string answer;
    if (!SendLine(peer_, "hold " + std::to_string(count)) || !ReadLine(peer_, &answer)) return false;
    return std::sscanf(answer.c_str(), "%d %d %lf %lf %d", &held->opened, &held->served, &held->openSeconds,
                       &held->serveSeconds, &held->stopError) == 5;
}

void HoldingPeer::End() {
    if (peer_ == INVALID_SOCKET) return;
    SendLine(peer_, "end");
    // The peer closes its connections and then the control connection.
    std::string rest;
    ReadLine(peer_, &rest);
}

}  // namespace bench
