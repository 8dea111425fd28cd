#include "ChatRules.h"

#include <cstdio>
#include <cstring>

#include "PeerPath.h"
#include "Text.h"

namespace chatdesk {

namespace {

std::string Field(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

}  // namespace

std::string PeerName(const FriendInfoA& peer) {
    std::string nickname = Field(peer.nickname, sizeof peer.nickname);
    return nickname.empty() ? Field(peer.id, sizeof peer.id) : nickname;
}

std::wstring ChatCaption(const FriendInfoA& peer) { return L"与 " + vantor::AnsiToWide(PeerName(peer)) + L" 聊天中"; }

std::wstring TypingLabel(const FriendInfoA& peer) { return vantor::AnsiToWide(PeerName(peer)) + L" 正在输入消息... ..."; }

int StatusPicture(uint16_t status) { return status == 0 || status == 10 ? 4 : 5; }

namespace {
template <size_t N>
void FillEmpty(char (&field)[N], const char (&from)[N]) {
    if (!field[0]) memcpy(field, from, N);
}
}  // namespace

void FillEmptyFields(FriendInfoA* peer, const FriendInfoA& from) {
    FillEmpty(peer->nickname, from.nickname);
    FillEmpty(peer->name, from.name);
    FillEmpty(peer->birthday, from.birthday);
    FillEmpty(peer->province, from.province);
    FillEmpty(peer->city, from.city);
    FillEmpty(peer->voip, from.voip);
    FillEmpty(peer->mobile, from.mobile);
    FillEmpty(peer->phone, from.phone);
    FillEmpty(peer->xlt, from.xlt);
    FillEmpty(peer->email, from.email);
    if (!peer->age) peer->age = from.age;
    if (!peer->sex) peer->sex = from.sex;
}

RECT ViewerRect(const RECT& chatWindow, int viewerHeight) {
    return {chatWindow.left, chatWindow.bottom, chatWindow.right, chatWindow.bottom + viewerHeight};
}

POINT PickerPosition(const RECT& button, SIZE picker, int screenTop) {
    if (button.top - screenTop >= picker.cy) return {button.left, button.top + 2 - picker.cy};
    return {button.left, button.bottom - 2};
}

uint32_t LinkTarget(const FriendStatus& own, const FriendStatus& peer) { return vantor::imkit::PathAddress(own, peer); }

std::string ViewerHeader(const ChatRecordView& record, const FriendInfoA& peer, const FriendInfoA& own) {
    std::string name;
    if (record.senderId == Field(peer.id, sizeof peer.id))
        name = Field(peer.nickname, sizeof peer.nickname);
    else
        name = PeerName(own);
    char when[64];
    snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", record.when.year, record.when.month, record.when.day,
             record.when.hour, record.when.minute, record.when.second);
    return "<" + name + "> <" + vantor::WideToAnsi(L"时间：") + when + ">\r\n";
}

}  // namespace chatdesk
