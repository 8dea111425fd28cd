#include "IniFile.h"

#include <vector>

#include "ModulePath.h"

namespace vantor {
namespace ini {

namespace {
// First buffer for a value; a value that fills it is read again in a larger one.
const DWORD kFirstReadChars = 1024;
}  // namespace

std::wstring BoundedPath(std::initializer_list<std::wstring_view> parts, size_t maxChars) {
    size_t total = 0;
    for (std::wstring_view part : parts) total += part.size();
    if (total > maxChars) return std::wstring();
    std::wstring path;
    path.reserve(total);
    for (std::wstring_view part : parts) path.append(part);
    // A terminator inside a part would make the system open a different, shorter name.
    if (path.find(L'\0') != std::wstring::npos) return std::wstring();
    return path;
}

std::wstring ProgramFile(std::wstring_view relative) {
    std::wstring folder = ProgramDir();
    if (folder.empty()) return std::wstring();
    return BoundedPath({folder, relative});
}

std::wstring ReadString(const std::wstring& path, const wchar_t* section, const wchar_t* key,
                        const wchar_t* fallback, size_t bufferChars, size_t* copied) {
    if (copied) *copied = 0;
    if (bufferChars == 0) return std::wstring();
    if (!fallback) fallback = L"";
    // The reader enumerates sections or keys when either is null; no caller asks for
    // that, so a null name reads as a missing key.
    if (path.empty() || !section || !key) {
        std::wstring value(fallback);
        if (value.size() > bufferChars - 1) value.resize(bufferChars - 1);
        if (copied) *copied = value.size();
        return value;
    }
    DWORD size = bufferChars > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(bufferChars);
    // The caller's size is only a limit: the buffer grows with the value, so a generous
    // limit never costs memory the value does not need.
    DWORD capacity = size < kFirstReadChars ? size : kFirstReadChars;
    for (;;) {
        std::vector<wchar_t> buffer(capacity, L'\0');
        DWORD n = GetPrivateProfileStringW(section, key, fallback, buffer.data(), capacity, path.c_str());
        if (n >= capacity) n = capacity - 1;
        if (n + 1 < capacity || capacity == size) {
            if (copied) *copied = n;
            return std::wstring(buffer.data(), n);
        }
        capacity = capacity > size / 4 ? size : capacity * 4;
    }
}

int ReadInt(const std::wstring& path, const wchar_t* section, const wchar_t* key, int fallback) {
    if (path.empty() || !section || !key) return fallback;
    return static_cast<int>(GetPrivateProfileIntW(section, key, fallback, path.c_str()));
}

}  // namespace ini
}  // namespace vantor
