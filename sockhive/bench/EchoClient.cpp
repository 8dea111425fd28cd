#include "EchoClient.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace bench {

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
    if (s == INVALID_SOCKET) return s;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return s;
}

void SetReceiveTimeout(SOCKET s, DWORD ms) {
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

void Fill(char* message, unsigned sequence) {
    int body = kBody;
    std::memcpy(message, &body, 4);
    std::memcpy(message + 4, &sequence, 4);
    for (int i = kHead; i < kMessage; ++i) message[i] = static_cast<char>(sequence + i);
}

double DriveEcho(unsigned short port, int connections, int window, int messages) {
    std::atomic<bool> wrong{false};
    std::vector<std::thread> threads;
    auto t0 = std::chrono::steady_clock::now();
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&] {
            SOCKET s = ConnectTo(port);
            if (s == INVALID_SOCKET) {
                wrong = true;
                return;
            }
            SetReceiveTimeout(s, 10000);
            std::vector<char> out(kMessage), in(kMessage), expected(kMessage);
            int sent = 0;
            for (; sent < window && sent < messages; ++sent) {
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
    return double(connections) * messages * kMessage / (1024.0 * 1024.0) / seconds;
}

}  // namespace bench
