// The Net_* exports: argument checks and calls into the node.
#include "SocketNode.h"

using sockhive::SocketNode;

namespace {
SocketNode* NodeOf(NetNode node) { return reinterpret_cast<SocketNode*>(node); }

// Runs act on the node: 1, or 0 without a node.
template <typename Act>
int OnNode(NetNode node, Act act) {
    if (!node) return 0;
    act(*NodeOf(node));
    return 1;
}
}  // namespace

extern "C" {

NetNode WINAPI Net_StartServer(unsigned short port) {
    return reinterpret_cast<NetNode>(SocketNode::Start(port));
}

int WINAPI Net_StopServer(NetNode node) {
    return OnNode(node, [&](SocketNode& n) { n.Stop(); });
}

NetChannel WINAPI Net_ConnectNode(NetNode node, unsigned long address, unsigned short port) {
    return node ? NodeOf(node)->Connect(address, port) : nullptr;
}

NetChannel WINAPI Net_SendData(NetNode node, unsigned long address, unsigned short port, const char* bytes,
                               int length) {
    // A send that would be refused opens no connection.
    if (!node || !bytes || length <= 0 || length > SOCKHIVE_BUFFER_BYTES) return nullptr;
    NetChannel channel = NodeOf(node)->Connect(address, port);
    if (!channel || !NodeOf(node)->QueueSend(channel, bytes, length, false)) return nullptr;
    return channel;
}

int WINAPI Net_SendDataChannel(NetNode node, NetChannel channel, const char* bytes, int length) {
    return node ? NodeOf(node)->QueueSend(channel, bytes, length, false) : 0;
}

int WINAPI Net_SendDataChannelAndClose(NetNode node, NetChannel channel, const char* bytes, int length) {
    return node ? NodeOf(node)->QueueSend(channel, bytes, length, true) : 0;
}

int WINAPI Net_SendDataChannelBlock(NetNode node, NetChannel channel, const char* bytes, int length) {
    return node ? NodeOf(node)->BlockingSend(channel, bytes, length) : 0;
}

int WINAPI Net_DisconnectNode(NetNode node, NetChannel channel) {
    if (!node || !channel) return 1;
    return NodeOf(node)->Disconnect(channel);
}

int WINAPI Net_SetCallback_OnRecvData(NetNode node, NetRecvDataProc proc, void* user) {
    return OnNode(node, [&](SocketNode& n) { n.SetRecvData(proc, user); });
}

int WINAPI Net_SetCallback_OnSendData(NetNode node, NetSendDataProc proc) {
    return OnNode(node, [&](SocketNode& n) { n.SetSendData(proc); });
}

int WINAPI Net_SetCallback_HeadNeed(NetNode node, NetHeadNeedProc proc) {
    return OnNode(node, [&](SocketNode& n) { n.SetHeadNeed(proc); });
}

int WINAPI Net_SetCallback_BodyNeed(NetNode node, NetBodyNeedProc proc) {
    return OnNode(node, [&](SocketNode& n) { n.SetBodyNeed(proc); });
}

int WINAPI Net_SetCallback_OnChannelClosed(NetNode node, NetChannelClosedProc proc) {
    return OnNode(node, [&](SocketNode& n) { n.SetChannelClosed(proc); });
}

unsigned long WINAPI Net_ConvertStringToIP(const char* text) {
    return text ? inet_addr(text) : INADDR_NONE;
}

}  // extern "C"
