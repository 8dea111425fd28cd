#include "TransferFiles.h"

#include <windows.h>

#include "Handles.h"

namespace chatdesk {

namespace {

class DiskSendFile : public SendFile {
public:
    explicit DiskSendFile(HANDLE file) : file_(file) {}
    bool Size(uint64_t* size) override {
        LARGE_INTEGER s;
        if (!GetFileSizeEx(file_.get(), &s)) return false;
        *size = static_cast<uint64_t>(s.QuadPart);
        return true;
    }
    bool Seek(uint64_t position) override {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(position);
        return SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN) != 0;
    }
    bool Read(uint8_t* buffer, uint32_t want, uint32_t* got) override {
        DWORD read = 0;
        *got = 0;
        if (!ReadFile(file_.get(), buffer, want, &read, nullptr)) return false;
        *got = read;
        return true;
    }

private:
    vantor::UniqueHandle file_;
};

class DiskReceiveFile : public ReceiveFile {
public:
    explicit DiskReceiveFile(HANDLE file) : file_(file) {}
    ~DiskReceiveFile() override { Close(); }
    bool WriteAt(uint64_t offset, const uint8_t* data, uint32_t count) override {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        return file_ && WriteFile(file_.get(), data, count, &written, &at) && written == count;
    }
    bool CutTo(uint64_t size) override {
        LARGE_INTEGER at = {};
        at.QuadPart = static_cast<LONGLONG>(size);
        return file_ && SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file_.get());
    }
    bool Flush() override { return file_ && FlushFileBuffers(file_.get()); }
    bool Close() override {
        if (!file_) return true;
        bool flushed = FlushFileBuffers(file_.get()) != 0;
        bool closed = CloseHandle(file_.release()) != 0;
        return flushed && closed;
    }

private:
    vantor::UniqueHandle file_;
};

}  // namespace

std::unique_ptr<SendFile> DiskSendFiles::OpenForSending(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::unique_ptr<SendFile>(new DiskSendFile(file));
}

std::unique_ptr<ReceiveFile> DiskReceiveFiles::OpenForWriting(const std::wstring& path, uint64_t* size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    std::unique_ptr<ReceiveFile> owner(new DiskReceiveFile(file));
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length)) return nullptr;
    *size = static_cast<uint64_t>(length.QuadPart);
    return owner;
}

std::unique_ptr<ReceiveFile> DiskReceiveFiles::CreateNew(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::unique_ptr<ReceiveFile>(new DiskReceiveFile(file));
}

bool DiskReceiveFiles::ReadTail(const std::wstring& path, size_t count, std::string* tail, uint64_t* size) {
    vantor::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER length, at = {};
    if (!GetFileSizeEx(file.get(), &length) || static_cast<uint64_t>(length.QuadPart) < count) return false;
    at.QuadPart = length.QuadPart - static_cast<LONGLONG>(count);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return false;
    std::string bytes(count, '\0');
    DWORD got = 0;
    if (count && (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(count), &got, nullptr) || got != count))
        return false;
    *tail = bytes;
    *size = static_cast<uint64_t>(length.QuadPart);
    return true;
}

bool DiskReceiveFiles::MoveOnto(const std::wstring& from, const std::wstring& to) {
    // Across volumes the move copies and deletes the source only after the copy worked.
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool DiskReceiveFiles::Remove(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool QueryFileSize(const std::wstring& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

}  // namespace chatdesk
