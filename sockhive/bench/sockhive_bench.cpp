// Echo throughput of a SockHive node next to a bare completion-port echo of the same
// framing (the platform's limit) and a plain blocking echo server (one thread per
// connection), all driven by the same client in rotating rounds; then many connections
// opened, held and each served one echo by the node.
// Run from the program folder:
//   sockhive_bench.exe [messages per connection] [connections to hold] [/peer <file>]
// With /peer, the connections are held by a peer, this program started in a second Wine
// prefix by bench-sockhive.sh, which reads the ports from <file>:
//   sockhive_bench.exe /hold <node port> <control port>
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchTiming.h"
#include "EchoClient.h"
#include "Holding.h"
#include "PortEcho.h"
#include "SockHive.h"

using namespace bench;

namespace {

const int kConnections = 4;
const int kWindow = 4;  // messages in flight per connection, below the node's send limit
const double kGoal = 0.9;
const int kHoldGoal = 10000;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int WorkerCount() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int processors = static_cast<int>(system.dwNumberOfProcessors);
    return processors + (processors + 1) / 2;
}

// --- the SockHive node -------------------------------------------------------------------

NetNode g_node = nullptr;
volatile LONG g_refused = 0;
volatile LONG g_closed = 0;

int WINAPI HeadNeed() { return kHead; }
int WINAPI BodyNeed(const char* head, int) {
    int body = 0;
    std::memcpy(&body, head, 4);
    return body;
}
void WINAPI EchoBack(NetChannel channel, const char* bytes, int length, void*) {
    if (!Net_SendDataChannel(g_node, channel, bytes, length)) InterlockedIncrement(&g_refused);
}
void WINAPI CountClosed(NetChannel, void*) { InterlockedIncrement(&g_closed); }

NetNode StartEchoNode(unsigned short port) {
    NetNode node = Net_StartServer(port);
    if (!node) return nullptr;
    g_node = node;
    Net_SetCallback_HeadNeed(node, HeadNeed);
    Net_SetCallback_BodyNeed(node, BodyNeed);
    Net_SetCallback_OnRecvData(node, EchoBack, nullptr);
    Net_SetCallback_OnChannelClosed(node, CountClosed);
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

// The process's committed private memory (Wine answers 0 for PrivateUsage; the page-file
// figure is the same count on Windows).
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

// One row: `count` connections held by the peer, or by a client in this process, with
// the node's memory while they are held.
struct Row {
    Held held;
    bool answered = true;
    double bytesPerConnection = 0;
};

Row HoldRow(unsigned short port, int count, HoldingPeer* peer) {
    // The channels served in the row before are closed first, so their memory is not counted.
    static LONG closesAwaited = 0;
    for (int waited = 0; g_closed < closesAwaited && waited < 60000; waited += 50) Sleep(50);
    Row row;
    SIZE_T before = PrivateBytes();
    std::vector<SOCKET> sockets;
    if (peer) {
        row.answered = peer->Hold(count, &row.held);
    } else {
        row.held = OpenAndServe(port, count, &sockets);
    }
    SIZE_T after = PrivateBytes();
    if (row.held.opened > 0 && after > before) row.bytesPerConnection = double(after - before) / row.held.opened;
    for (SOCKET s : sockets) closesocket(s);
    closesAwaited = g_closed + row.held.served;
    return row;
}

// Where the descriptors run out. Under Wine each socket is a descriptor of its process
// and one of the Wine server of its prefix, and the open-file limit of either caps the
// count: with the client in this process both ends of every connection count here, so
// about half the limit fits; with the client in a second prefix, one end.
void ProbeDescriptorLimits(bool peer) {
    HANDLE limits = CreateFileW(L"Z:\\proc\\self\\limits", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (limits == INVALID_HANDLE_VALUE) {
        std::printf("  probe: this system's open-file limit could not be read\n");
        return;
    }
    char text[8192];
    DWORD read = 0;
    ReadFile(limits, text, sizeof text - 1, &read, nullptr);
    CloseHandle(limits);
    text[read] = 0;
    const char* line = std::strstr(text, "Max open files");
    if (!line) return;
    long soft = 0, hard = 0;
    std::sscanf(line + std::strlen("Max open files"), "%ld %ld", &soft, &hard);
    int perConnection = peer ? 1 : 2;
    std::printf("  probe: open files allowed to this process and to the Wine server: %ld (hard limit %ld);\n"
                "         each connection held takes %d of each: %s\n"
                "         so fewer than %ld connections fit, less the descriptors already open\n",
                soft, hard, perConnection,
                peer ? "its other end is in a second prefix, with a Wine server of its own;"
                     : "both of its ends are sockets of this process, and every\n"
                       "         socket of the prefix is a descriptor of the Wine server;",
                soft / perConnection);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> numbers;
    std::string peerFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "/hold" && i + 2 < argc) {
            setvbuf(stdout, nullptr, _IONBF, 0);
            WSADATA data;
            WSAStartup(MAKEWORD(2, 2), &data);
            return RunHoldingPeer(static_cast<unsigned short>(std::atoi(argv[i + 1])),
                                  static_cast<unsigned short>(std::atoi(argv[i + 2])));
        }
        if (arg == "/peer" && i + 1 < argc) {
            peerFile = argv[++i];
        } else {
            numbers.push_back(arg);
        }
    }
    int messages = numbers.size() > 0 ? std::atoi(numbers[0].c_str()) : 4000;
    if (messages < 1) messages = 4000;
    int holdTarget = numbers.size() > 1 ? std::atoi(numbers[1].c_str()) : kHoldGoal;
    if (holdTarget < 1) holdTarget = kHoldGoal;
    setvbuf(stdout, nullptr, _IONBF, 0);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);

    unsigned short hivePort = FreePort();
    NetNode node = StartEchoNode(hivePort);
    if (!node) {
        std::printf("SockHive node could not start\n");
        return 1;
    }
    unsigned short barePort = FreePort();
    auto bareServer = std::make_unique<PortEcho>(barePort, WorkerCount());
    unsigned short plainPort = FreePort();
    auto plainServer = std::make_unique<BlockingEcho>(plainPort);
    if (!bareServer->Listening()) {
        std::printf("the bare completion-port echo could not listen\n");
        return 1;
    }

    // All three warmed up, then measured in turns, each going first as often as the
    // others, so that a busy moment of the machine falls on all alike.
    const unsigned short ports[3] = {hivePort, barePort, plainPort};
    for (unsigned short port : ports) DriveEcho(port, kConnections, kWindow, 200);
    const int kRounds = 6;
    std::vector<double> rates[3], ratios;
    std::printf("echo of %d framed messages of %d bytes on %d connections, %d in flight each, %d rounds\n", messages,
                kMessage, kConnections, kWindow, kRounds);
    for (int round = 0; round < kRounds; ++round) {
        double rate[3];
        for (int k = 0; k < 3; ++k) {
            int which = (round + k) % 3;
            rate[which] = DriveEcho(ports[which], kConnections, kWindow, messages);
        }
        for (int k = 0; k < 3; ++k) rates[k].push_back(rate[k]);
        ratios.push_back(rate[0] / rate[1]);
        std::printf("  round %d: SockHive %6.1f MB/s, bare completion port %6.1f MB/s, blocking %6.1f MB/s\n",
                    round + 1, rate[0], rate[1], rate[2]);
    }
    plainServer.reset();
    bareServer.reset();
    bool echoed = true;
    for (auto& r : rates) echoed = echoed && *std::min_element(r.begin(), r.end()) > 0;
    double hive = Median(rates[0]), bare = Median(rates[1]), plain = Median(rates[2]);
    double ratio = Median(ratios);
    std::printf("  SockHive node (completion port, callbacks): %8.1f MB/s (median)\n", hive);
    std::printf("  bare completion-port echo (reference):      %8.1f MB/s (median)\n", bare);
    std::printf("  blocking server (thread per link):          %8.1f MB/s (median)\n", plain);
    if (echoed) {
        std::printf("  ratio SockHive / bare completion port: %.2f (median of the rounds' ratios; goal %.1f)\n", ratio,
                    kGoal);
        std::printf("  ratio SockHive / blocking: %.2f\n", hive / plain);
    }
    std::printf("  sends refused by the node: %ld\n", static_cast<long>(g_refused));

    std::unique_ptr<HoldingPeer> peer;
    if (!peerFile.empty()) {
        peer = std::make_unique<HoldingPeer>();
        std::printf("waiting for the peer in the second prefix (ports in %s)\n", peerFile.c_str());
        if (!peer->Open(hivePort, peerFile) || !peer->WaitForPeer(120000)) {
            std::printf("no peer came: the connections are held by a client in this process\n");
            peer.reset();
        }
    }
    std::printf("connections held at once (scaling), the client %s:\n",
                peer ? "in a second Wine prefix" : "in this process");
    int heldMost = 0;
    for (int count : {1000, holdTarget}) {
        Row row = HoldRow(hivePort, count, peer.get());
        const Held& held = row.held;
        if (!row.answered) {
            std::printf("  %5d asked: the peer did not answer\n", count);
            break;
        }
        std::printf("  %5d asked: %5d opened (each with a first echo) in %.1f s; all held, %5d served one more echo "
                    "each in %.1f s;\n"
                    "         %.2f ms to open and %.2f ms to serve per connection, %.1f KB of the node's private memory "
                    "per connection\n",
                    count, held.opened, held.openSeconds, held.served, held.serveSeconds,
                    held.opened > 0 ? 1000 * held.openSeconds / held.opened : 0.0,
                    held.opened > 0 ? 1000 * held.serveSeconds / held.opened : 0.0, row.bytesPerConnection / 1024);
        if (held.opened < count) {
            std::printf("  the system refused further sockets after %d (sockets error %d)\n", held.opened,
                        held.stopError);
            ProbeDescriptorLimits(peer != nullptr);
        }
        heldMost = std::max(heldMost, std::min(held.opened, held.served));
        if (held.opened < count || held.served < held.opened) break;
    }
    if (peer) peer->End();
    Net_StopServer(node);
    if (!echoed) {
        std::printf("an echo was wrong: no ratio\n");
        return 1;
    }
    std::printf("sockhive bench: %.2f of the bare completion-port echo, %d connections held (goal %.1f, %d)\n", ratio,
                heldMost, kGoal, kHoldGoal);
    return 0;
}
