#include "WholeFile.h"

#include <windows.h>

#include "Handles.h"

namespace vantor {

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
    bytes->clear();
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes->size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), &(*bytes)[done], static_cast<DWORD>(bytes->size() - done), &got, nullptr) ||
            got == 0) {
            bytes->clear();
            return false;
        }
        done += got;
    }
    return true;
}

bool ReplaceWholeFile(const std::wstring& path, const std::string& bytes) {
    std::wstring temporary = path + L".tmp";
    bool ok = false;
    {
        // A temporary file left by an earlier kill is simply written over.
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ok = file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size() && FlushFileBuffers(file.get());
    }
    ok = ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temporary.c_str());
    return ok;
}

}  // namespace vantor
