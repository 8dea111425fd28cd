// Toolcrate stand-in: the UTF-16 to 8-bit contact record conversion.
#include <windows.h>

#include "ContactRecords.h"
#include "Text.h"

namespace {

template <size_t N>
void Convert(char (&to)[N], const wchar_t (&from)[N]) {
    // The source field may fill its width without a terminator.
    std::string text = vantor::WideToAnsi(from, N);
    vantor::CopyField(to, text.c_str());
}

}  // namespace

extern "C" BOOL WINAPI CopyAddressFriendW2A(const FriendInfoW* in, FriendInfoA* out) {
    if (!in || !out) return FALSE;
    FriendInfoA result;
    ZeroMemory(&result, sizeof(result));
    Convert(result.id, in->id);
    Convert(result.nickname, in->nickname);
    Convert(result.name, in->name);
    Convert(result.birthday, in->birthday);
    Convert(result.province, in->province);
    Convert(result.city, in->city);
    result.age = in->age;
    result.sex = in->sex;
    Convert(result.voip, in->voip);
    Convert(result.mobile, in->mobile);
    Convert(result.phone, in->phone);
    Convert(result.xlt, in->xlt);
    Convert(result.email, in->email);
    result.status = in->status;
    *out = result;
    return TRUE;
}
