// The record files on disk. Readers share the file fully, so a viewer never keeps a fold
// out. Each change of a record file keeps the attributes the user gave it: a read-only
// mark is lifted for the change (Windows replaces or writes no read-only file) and put
// back with the rest afterwards.
#include <windows.h>

#include "RecordStore.h"

namespace chatdesk {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kUserAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Holds a file's attributes across a change of the file and puts them back after it.
class KeptAttributes {
public:
    explicit KeptAttributes(const std::wstring& path) : path_(path), attributes_(GetFileAttributesW(path.c_str())) {
        if (attributes_ != INVALID_FILE_ATTRIBUTES && (attributes_ & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(path_.c_str(), attributes_ & ~FILE_ATTRIBUTE_READONLY);
    }
    ~KeptAttributes() {
        if (attributes_ == INVALID_FILE_ATTRIBUTES) return;
        DWORD kept = attributes_ & kUserAttributes;
        DWORD now = GetFileAttributesW(path_.c_str());
        if (now != INVALID_FILE_ATTRIBUTES && (now & kUserAttributes) != kept)
            SetFileAttributesW(path_.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    KeptAttributes(const KeptAttributes&) = delete;
    KeptAttributes& operator=(const KeptAttributes&) = delete;

private:
    std::wstring path_;
    DWORD attributes_;
};

bool WriteWhole(HANDLE file, const std::string& content) {
    DWORD written = 0;
    return content.empty() ||
           (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
            written == content.size());
}

class Files : public RecordFiles {
public:
    bool ReadAll(const std::wstring& path, std::string* content, bool* exists) override {
        content->clear();
        *exists = false;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
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

    bool WriteNew(const std::wstring& path, const std::string& content) override {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        bool ok = WriteWhole(file, content) && FlushFileBuffers(file);
        CloseHandle(file);
        return ok;
    }

    bool Replace(const std::wstring& from, const std::wstring& to) override {
        KeptAttributes keep(to);
        return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }

    bool Overwrite(const std::wstring& path, const std::string& content) override {
        KeptAttributes keep(path);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        bool ok = WriteWhole(file, content) && SetEndOfFile(file) && FlushFileBuffers(file);
        CloseHandle(file);
        return ok;
    }

    bool AppendBlock(const std::wstring& path, const uint8_t* block, size_t size) override {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        // Written, not flushed: what the system holds outlives a kill of the process.
        LARGE_INTEGER length = {}, at = {};
        bool ok = size > 0 && GetFileSizeEx(file, &length);
        if (ok) {
            at.QuadPart = length.QuadPart - length.QuadPart % static_cast<LONGLONG>(size);
            DWORD written = 0;
            ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                 WriteFile(file, block, static_cast<DWORD>(size), &written, nullptr) && written == size &&
                 SetEndOfFile(file);
        }
        CloseHandle(file);
        return ok;
    }

    bool Move(const std::wstring& from, const std::wstring& to) override {
        return MoveFileW(from.c_str(), to.c_str()) != 0;
    }

    bool Remove(const std::wstring& path) override {
        // Deleted through a handle of its own: a file another program holds, even sharing
        // deletes, is left alone. Deleted under it, it would stay in its folder until that
        // program let go, and take with it whatever was added to it meanwhile.
        HANDLE file = CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        }
        CloseHandle(file);
        return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    void Pause(unsigned ms) override { Sleep(ms); }
};

}  // namespace

RecordFiles& SystemRecordFiles() {
    static Files files;
    return files;
}

}  // namespace chatdesk
