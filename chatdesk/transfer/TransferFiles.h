// The file stores of the transfer jobs over the Windows file calls.
#pragma once

#include <cstdint>
#include <string>

#include "ReceiveJob.h"
#include "SendJob.h"

namespace chatdesk {

class DiskSendFiles : public SendFiles {
public:
    std::unique_ptr<SendFile> OpenForSending(const std::wstring& path) override;
};

class DiskReceiveFiles : public ReceiveFiles {
public:
    std::unique_ptr<ReceiveFile> OpenForWriting(const std::wstring& path, uint64_t* size) override;
    std::unique_ptr<ReceiveFile> CreateNew(const std::wstring& path) override;
    bool ReadTail(const std::wstring& path, size_t count, std::string* tail, uint64_t* size) override;
    bool MoveOnto(const std::wstring& from, const std::wstring& to) override;
    bool Remove(const std::wstring& path) override;
};

// The size of an existing file; false when it can't be read (the file is then not offered).
bool QueryFileSize(const std::wstring& path, uint64_t* size);

}  // namespace chatdesk
