// The record files on disk. A writer puts the new content into a temporary file beside
// the old one and renames it over the old one only once it is whole on disk, so a kill or
// a full disk at any moment leaves the old history or the new one, never less. Readers
// share the file fully, so a viewer never keeps an append out.
#include <windows.h>

#include "RecordStore.h"

namespace chatdesk {

namespace {

class Files : public RecordFiles {
public:
    bool ReadAll(const std::wstring& path, std::string* content, bool* exists) override {
        content->clear();
        *exists = false;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        }
        *exists = true;
        LARGE_INTEGER size = {};
        bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 0x40000000;
        if (ok) {
            content->resize(static_cast<size_t>(size.QuadPart));
            DWORD read = 0;
            ok = content->empty() ||
                 (ReadFile(file, &(*content)[0], static_cast<DWORD>(content->size()), &read, nullptr) &&
                  read == content->size());
        }
        CloseHandle(file);
        if (!ok) content->clear();
        return ok;
    }

    int64_t Size(const std::wstring& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
        return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    bool WriteAll(const std::wstring& path, const std::string& content) override {
        // A temporary file left by an earlier kill is simply written over.
        std::wstring temporary = path + L".tmp";
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        bool ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                  written == content.size() && FlushFileBuffers(file);
        CloseHandle(file);
        ok = ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!ok) DeleteFileW(temporary.c_str());
        return ok;
    }

    bool Move(const std::wstring& from, const std::wstring& to) override {
        return MoveFileW(from.c_str(), to.c_str()) != 0;
    }
};

}  // namespace

RecordFiles& SystemRecordFiles() {
    static Files files;
    return files;
}

}  // namespace chatdesk
