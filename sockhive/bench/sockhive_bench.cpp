// Echo throughput of a SockHive node next to a plain blocking echo server (one thread
// per connection), both driven by the same client in alternating rounds, then many
// connections held at once.
// Run from the program folder: sockhive_bench.exe [messages per connection]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SockHive.h"

namespace {

const int kHead = 8;
const int kMessage = 4096;
const int kBody = kMessage - kHead;
const int kConnections = 4;
const int kWindow = 4;  // messages in flight per connection, below the node's send limit

unsigned short FreePort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    closesocket(s);
    return ntohs(a.sin_port);
}

bool SendAll(SOCKET s, const char* data, int length) {
    while (length > 0) {
        int n = send(s, data, length, 0);
        if (n <= 0) return false;
        data += n;
        length -= n;
    }
    return true;
}

bool ReceiveAll(SOCKET s, char* data, int length) {
    while (length > 0) {
        int n = recv(s, data, length, 0);
        if (n <= 0) return false;
        data += n;
        length -= n;
    }
    return true;
}

SOCKET ConnectTo(unsigned short port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

void Fill(char* message, unsigned sequence) {
    int body = kBody;
    std::memcpy(message, &body, 4);
    std::memcpy(message + 4, &sequence, 4);
    for (int i = kHead; i < kMessage; ++i) message[i] = static_cast<char>(sequence + i);
}

// The client driver: every connection keeps kWindow messages in flight and checks each
// echo. Answers megabytes per second echoed, or a negative value when an echo was wrong.
double DriveEcho(unsigned short port, int messages) {
    std::atomic<bool> wrong{false};
    std::vector<std::thread> threads;
    auto t0 = std::chrono::steady_clock::now();
    for (int c = 0; c < kConnections; ++c) {
        threads.emplace_back([&] {
            SOCKET s = ConnectTo(port);
            if (s == INVALID_SOCKET) {
                wrong = true;
                return;
            }
            DWORD timeout = 10000;
            setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
            std::vector<char> out(kMessage), in(kMessage), expected(kMessage);
            int sent = 0;
            for (; sent < kWindow && sent < messages; ++sent) {
                Fill(out.data(), static_cast<unsigned>(sent));
                SendAll(s, out.data(), kMessage);
            }
            for (int got = 0; got < messages; ++got) {
                Fill(expected.data(), static_cast<unsigned>(got));
                if (!ReceiveAll(s, in.data(), kMessage) || in != expected) {
                    std::printf("connection stopped at echo %d of %d (sent %d, error %d)\n", got, messages, sent,
                                WSAGetLastError());
                    wrong = true;
                    break;
                }
                if (sent < messages) {
                    Fill(out.data(), static_cast<unsigned>(sent++));
                    SendAll(s, out.data(), kMessage);
                }
            }
            closesocket(s);
        });
    }
    for (std::thread& t : threads) t.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (wrong) return -1;
    return double(kConnections) * messages * kMessage / (1024.0 * 1024.0) / seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// --- the SockHive node -------------------------------------------------------------------

NetNode g_node = nullptr;
std::atomic<int> g_refused{0};

int WINAPI HeadNeed() { return kHead; }
int WINAPI BodyNeed(const char* head, int) {
    int body = 0;
    std::memcpy(&body, head, 4);
    return body;
}
void WINAPI EchoBack(NetChannel channel, const char* bytes, int length, void*) {
    if (!Net_SendDataChannel(g_node, channel, bytes, length)) ++g_refused;
}

NetNode StartEchoNode(unsigned short port) {
    NetNode node = Net_StartServer(port);
    if (!node) return nullptr;
    g_node = node;
    Net_SetCallback_HeadNeed(node, HeadNeed);
    Net_SetCallback_BodyNeed(node, BodyNeed);
    Net_SetCallback_OnRecvData(node, EchoBack, nullptr);
    return node;
}

// --- the plain blocking server -------------------------------------------------------------

class BlockingEcho {
public:
    explicit BlockingEcho(unsigned short port) {
        listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listen_, 5);
        acceptor_ = std::thread([this] {
            for (;;) {
                SOCKET s = accept(listen_, nullptr, nullptr);
                if (s == INVALID_SOCKET) break;
                served_.emplace_back([s] {
                    std::vector<char> message(32768);
                    for (;;) {
                        if (!ReceiveAll(s, message.data(), kHead)) break;
                        int body = 0;
                        std::memcpy(&body, message.data(), 4);
                        if (body < 0 || body > 32768 - kHead) break;
                        if (!ReceiveAll(s, message.data() + kHead, body)) break;
                        if (!SendAll(s, message.data(), kHead + body)) break;
                    }
                    closesocket(s);
                });
            }
        });
    }
    ~BlockingEcho() {
        closesocket(listen_);
        acceptor_.join();
        for (std::thread& t : served_) t.join();
    }

private:
    SOCKET listen_;
    std::thread acceptor_;
    std::vector<std::thread> served_;
};

// --- many connections ------------------------------------------------------------------------

// Answers how many were served; `openSeconds` is the time taken to open them all.
int HoldMany(unsigned short port, int count, double& openSeconds) {
    auto t0 = std::chrono::steady_clock::now();
    std::vector<SOCKET> sockets;
    // In batches of the listen backlog, 5, each let in before the next: a connection
    // beyond a full backlog is dropped by the system and tried again only a second later.
    const int kBatch = 5;
    while (static_cast<int>(sockets.size()) < count) {
        for (int i = 0; i < kBatch && static_cast<int>(sockets.size()) < count; ++i) {
            SOCKET s = ConnectTo(port);
            if (s == INVALID_SOCKET) {
                Sleep(10);
                continue;
            }
            DWORD timeout = 10000;
            setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
            sockets.push_back(s);
        }
        Sleep(10);
    }
    openSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    int served = 0;
    std::vector<char> out(kMessage), in(kMessage);
    for (size_t i = 0; i < sockets.size(); ++i) {
        Fill(out.data(), static_cast<unsigned>(i));
        if (SendAll(sockets[i], out.data(), kMessage) && ReceiveAll(sockets[i], in.data(), kMessage) && in == out) {
            ++served;
        }
    }
    for (SOCKET s : sockets) closesocket(s);
    return served;
}

}  // namespace

int main(int argc, char** argv) {
    int messages = argc > 1 ? std::atoi(argv[1]) : 4000;
    if (messages < 1) messages = 4000;
    setvbuf(stdout, nullptr, _IONBF, 0);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);

    unsigned short hivePort = FreePort();
    NetNode node = StartEchoNode(hivePort);
    if (!node) {
        std::printf("SockHive node could not start\n");
        return 1;
    }
    unsigned short plainPort = FreePort();
    std::unique_ptr<BlockingEcho> plainServer = std::make_unique<BlockingEcho>(plainPort);

    // Both servers warmed up, then measured in turns, each going first as often as the
    // other, so that a busy moment of the machine falls on both alike.
    DriveEcho(hivePort, 200);
    DriveEcho(plainPort, 200);
    const int kRounds = 4;
    std::vector<double> hives, plains;
    std::printf("echo of %d framed messages of %d bytes on %d connections, %d in flight each, %d rounds\n", messages,
                kMessage, kConnections, kWindow, kRounds);
    for (int round = 0; round < kRounds; ++round) {
        bool hiveFirst = round % 2 == 0;
        double first = DriveEcho(hiveFirst ? hivePort : plainPort, messages);
        double second = DriveEcho(hiveFirst ? plainPort : hivePort, messages);
        hives.push_back(hiveFirst ? first : second);
        plains.push_back(hiveFirst ? second : first);
        std::printf("  round %d: SockHive %6.1f MB/s, blocking %6.1f MB/s\n", round + 1, hives.back(), plains.back());
    }
    plainServer.reset();
    double hive = Median(hives), plain = Median(plains);
    bool echoed = *std::min_element(hives.begin(), hives.end()) > 0 && *std::min_element(plains.begin(), plains.end()) > 0;
    std::printf("  SockHive node (completion port):   %8.1f MB/s (median)\n", hive);
    std::printf("  blocking server (thread per link): %8.1f MB/s (median)\n", plain);
    if (echoed) std::printf("  ratio SockHive / blocking: %.2f\n", hive / plain);
    std::printf("  sends refused by the node: %d\n", g_refused.load());

    const int kMany = 1000;
    auto t0 = std::chrono::steady_clock::now();
    double openSeconds = 0;
    int served = HoldMany(hivePort, kMany, openSeconds);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%d concurrent connections opened and held, %d served one echo each (opened in %.1f s, %.1f s in all)\n",
                kMany, served, openSeconds, seconds);
    Net_StopServer(node);
    return echoed && served == kMany ? 0 : 1;
}
