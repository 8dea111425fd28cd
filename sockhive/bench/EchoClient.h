// The benchmark's client side: framed messages of 4096 bytes (an 8-byte head whose first
// four bytes give the body length, then a body whose bytes follow from the sequence
// number), sent and checked over plain blocking sockets.
#pragma once

#include <winsock2.h>
#include <windows.h>

namespace bench {

const int kHead = 8;
const int kMessage = 4096;
const int kBody = kMessage - kHead;

unsigned short FreePort();
SOCKET ConnectTo(unsigned short port);
bool SendAll(SOCKET s, const char* data, int length);
bool ReceiveAll(SOCKET s, char* data, int length);
void SetReceiveTimeout(SOCKET s, DWORD ms);
void Fill(char* message, unsigned sequence);

// Every one of `connections` connections keeps `window` messages in flight and checks each
// echo. Answers megabytes per second echoed, or a negative value when an echo was wrong.
double DriveEcho(unsigned short port, int connections, int window, int messages);

}  // namespace bench
