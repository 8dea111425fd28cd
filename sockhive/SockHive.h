// SockHive.dll: a TCP node that listens on one port, opens outgoing connections on
// request, and moves data on all of them through one I/O completion port. Incoming data
// is cut into messages by two callbacks: the length of a head, and, given a head, the
// length of the body behind it. Every export and callback uses the standard calling
// convention.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Opaque handles. A channel stays valid until its NetChannelClosedProc has run (or its
// node has stopped); a send or close naming a channel that is gone is refused.
typedef struct SockHiveNode_* NetNode;
typedef struct SockHiveChannel_* NetChannel;

// Largest head plus body, and largest single send, in bytes.
#define SOCKHIVE_BUFFER_BYTES 32768

// Length of a message head; 0 (or no procedure): deliver the data as it arrives.
typedef int(WINAPI* NetHeadNeedProc)(void);
// Length of the body behind this head; 0 (or no procedure): deliver the head alone.
typedef int(WINAPI* NetBodyNeedProc)(const char* head, int headLength);
// A whole message (head first, then body), or a piece of the stream.
typedef void(WINAPI* NetRecvDataProc)(NetChannel channel, const char* bytes, int length, void* user);
// A queued send went out completely.
typedef void(WINAPI* NetSendDataProc)(NetChannel channel, int bytesSent, void* user);
// The last call that names the channel.
typedef void(WINAPI* NetChannelClosedProc)(NetChannel channel, void* user);

NetNode WINAPI Net_StartServer(unsigned short port);
int WINAPI Net_StopServer(NetNode node);
NetChannel WINAPI Net_ConnectNode(NetNode node, unsigned long address, unsigned short port);
NetChannel WINAPI Net_SendData(NetNode node, unsigned long address, unsigned short port, const char* bytes,
                               int length);
int WINAPI Net_SendDataChannel(NetNode node, NetChannel channel, const char* bytes, int length);
int WINAPI Net_SendDataChannelAndClose(NetNode node, NetChannel channel, const char* bytes, int length);
int WINAPI Net_SendDataChannelBlock(NetNode node, NetChannel channel, const char* bytes, int length);
int WINAPI Net_DisconnectNode(NetNode node, NetChannel channel);
int WINAPI Net_SetCallback_OnRecvData(NetNode node, NetRecvDataProc proc, void* user);
int WINAPI Net_SetCallback_OnSendData(NetNode node, NetSendDataProc proc);
int WINAPI Net_SetCallback_HeadNeed(NetNode node, NetHeadNeedProc proc);
int WINAPI Net_SetCallback_BodyNeed(NetNode node, NetBodyNeedProc proc);
int WINAPI Net_SetCallback_OnChannelClosed(NetNode node, NetChannelClosedProc proc);
unsigned long WINAPI Net_ConvertStringToIP(const char* text);

#ifdef __cplusplus
}
#endif
