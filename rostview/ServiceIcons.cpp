#include "ServiceIcons.h"

#include "Text.h"

namespace rostview {

namespace {
enum : DWORD { POLICY_PHONE_OLD = 3, POLICY_SMS = 8, POLICY_CHAT = 9, POLICY_PHONE = 14 };

template <size_t N>
bool Filled(const char (&field)[N]) {
    return field[0] != '\0';
}
}  // namespace

IconOffer OfferFor(ContactBook& book, FriendHandle entry, const FriendInfoA& info) {
    IconOffer offer;
    FriendHandle self = book.CurrentAccount();
    offer.chat = book.PolicyInUse(entry, POLICY_CHAT) && self && book.PolicyInUse(self, POLICY_CHAT);
    offer.sms = Filled(info.mobile) && self && book.PolicyInUse(self, POLICY_SMS);
    bool anyNumber = Filled(info.voip) || Filled(info.mobile) || Filled(info.phone) || Filled(info.xlt);
    offer.phone = anyNumber && self && (book.PolicyInUse(self, POLICY_PHONE) || book.PolicyInUse(self, POLICY_PHONE_OLD));
    return offer;
}

std::vector<BYTE> BuildIconList(int freeSpace, const IconOffer& offer) {
    if (freeSpace < ICON_SIZE) return {};
    int capacity = freeSpace / ICON_PITCH;
    if (capacity <= 0) return {};
    std::vector<BYTE> list(static_cast<size_t>(capacity) + 1, 0);
    int count = 0;
    const std::pair<bool, IconCode> due[] = {{offer.chat, ICON_CHAT}, {offer.sms, ICON_SMS}, {offer.phone, ICON_PHONE}};
    for (const auto& icon : due) {
        if (!icon.first || count >= capacity) continue;
        if (count == capacity - 1) {
            list[1 + count++] = ICON_MORE;
            break;
        }
        list[1 + count++] = icon.second;
    }
    list[0] = static_cast<BYTE>(count);
    return list;
}

RECT IconSlot(const RECT& row, int index) {
    RECT slot;
    slot.left = row.right - ICON_SIZE - ICON_PITCH * index;
    slot.right = slot.left + ICON_SIZE;
    slot.top = row.top + (row.bottom - row.top - ICON_SIZE) / 2;
    slot.bottom = slot.top + ICON_SIZE;
    return slot;
}

int SlotAt(const RECT& row, const RECT& text, POINT point, int limit) {
    for (int i = 0;; ++i) {
        if (limit >= 0 && i >= limit) return -1;
        RECT slot = IconSlot(row, i);
        if (slot.left < text.right) return -1;
        if (PtInRect(&slot, point)) return i;
    }
}

int IconCommand(BYTE code, const FriendInfoA& info) {
    switch (code) {
    case ICON_SMS:
        return 21004;
    case ICON_CHAT:
        return 21005;
    case ICON_PHONE:
        if (Filled(info.voip)) return 21000;
        if (Filled(info.mobile)) return 21001;
        if (Filled(info.phone)) return 21002;
        if (Filled(info.xlt)) return 21003;
        return 0;
    default:
        return 0;
    }
}

namespace {

const wchar_t* ServiceName(int code) {
    switch (code) {
    case ICON_CHAT:
        return L"聊天";
    case ICON_SMS:
        return L"短信";
    case ICON_PHONE:
        return L"宽带电话";
    case ICON_MORE:
        return L"更多服务";
    default:
        return nullptr;
    }
}

template <typename Text>
Text NameAndId(const Text& name, const Text& id);

template <>
std::wstring NameAndId(const std::wstring& name, const std::wstring& id) {
    return name + L"(" + id + L")";
}
template <>
std::string NameAndId(const std::string& name, const std::string& id) {
    return name + "(" + id + ")";
}

}  // namespace

std::wstring GroupTip(const GroupInfoW& info) {
    return NameAndId(vantor::FieldText(info.name), vantor::FieldText(info.id));
}

std::string GroupTip(const GroupInfoA& info) {
    return NameAndId(vantor::FieldText(info.name), vantor::FieldText(info.id));
}

std::wstring FriendTip(const FriendInfoW& info, int iconCode) {
    if (const wchar_t* service = ServiceName(iconCode)) return service;
    std::wstring name = vantor::FieldText(info.nickname);
    if (name.empty()) name = vantor::FieldText(info.name);
    return NameAndId(name, vantor::FieldText(info.id));
}

std::string FriendTip(const FriendInfoA& info, int iconCode) {
    if (const wchar_t* service = ServiceName(iconCode)) return vantor::WideToAnsi(service);
    std::string name = vantor::FieldText(info.nickname);
    if (name.empty()) name = vantor::FieldText(info.name);
    return NameAndId(name, vantor::FieldText(info.id));
}

}  // namespace rostview
