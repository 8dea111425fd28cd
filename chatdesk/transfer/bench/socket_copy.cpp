// The reference side of the transfer benchmark: a file copied over a plain loopback
// socket between two processes, the same work as the clients' transfer on the bare
// platform: the file read and written in blocks of 4096 bytes, the blocks sent fifteen to
// a send as the clients send them, received 64 KiB at a time, and the copy flushed to
// disk before the clock stops. The receiver's time runs from the accept.
//   transfer_bench_socket receive <port file> <output file>
//   transfer_bench_socket send <port> <input file>
// Each prints "RESULT <bytes> <seconds>" when done.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int kBlock = 4096;
const int kBlocksPerSend = 15;

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / f.QuadPart;
}

int Receive(const char* portFile, const char* outPath) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof at;
    if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &len) != 0)
        return 2;
    FILE* pf = std::fopen(portFile, "w");
    if (!pf) return 2;
    std::fprintf(pf, "%u\n", ntohs(at.sin_port));
    std::fclose(pf);
    SOCKET peer = accept(listener, nullptr, nullptr);
    if (peer == INVALID_SOCKET) return 2;
    double start = Now();
    HANDLE out = CreateFileA(outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 2;
    // What came is written a block at a time; a part block waits for the rest.
    static char buffer[65536 + kBlock];
    int held = 0;
    unsigned long long total = 0;
    auto write = [&](const char* from, int count) {
        DWORD written = 0;
        return WriteFile(out, from, count, &written, nullptr) && written == static_cast<DWORD>(count);
    };
    for (;;) {
        int got = recv(peer, buffer + held, 65536, 0);
        if (got <= 0) break;
        held += got;
        total += got;
        int at = 0;
        for (; held - at >= kBlock; at += kBlock)
            if (!write(buffer + at, kBlock)) return 3;
        held -= at;
        memmove(buffer, buffer + at, held);
    }
    if (held && !write(buffer, held)) return 3;
    if (!FlushFileBuffers(out)) return 3;
    CloseHandle(out);
    double seconds = Now() - start;
    closesocket(peer);
    closesocket(listener);
    std::printf("RESULT %llu %.3f\n", total, seconds);
    return 0;
}

int Send(const char* port, const char* inPath) {
    HANDLE in = CreateFileA(inPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) return 2;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return 2;
    static char buffer[kBlock * kBlocksPerSend];
    unsigned long long total = 0;
    double start = Now();
    for (bool end = false; !end;) {
        int filled = 0;
        for (int i = 0; i < kBlocksPerSend; ++i) {
            DWORD got = 0;
            if (!ReadFile(in, buffer + filled, kBlock, &got, nullptr)) return 3;
            filled += static_cast<int>(got);
            if (got < static_cast<DWORD>(kBlock)) {
                end = true;
                break;
            }
        }
        for (int sent = 0; sent < filled;) {
            int r = send(s, buffer + sent, filled - sent, 0);
            if (r <= 0) return 3;
            sent += r;
        }
        total += filled;
    }
    shutdown(s, SD_SEND);
    char drain;
    while (recv(s, &drain, 1, 0) > 0) {}
    double seconds = Now() - start;
    closesocket(s);
    CloseHandle(in);
    std::printf("RESULT %llu %.3f\n", total, seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    WSADATA wsa;
    if (argc != 4 || WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        std::fprintf(stderr, "usage: transfer_bench_socket receive <port file> <out> | send <port> <in>\n");
        return 1;
    }
    int rc = std::strcmp(argv[1], "receive") == 0 ? Receive(argv[2], argv[3])
             : std::strcmp(argv[1], "send") == 0  ? Send(argv[2], argv[3])
                                                   : 1;
    WSACleanup();
    std::fflush(stdout);
    return rc;
}
