// The per-peer chat record files: newest record first, a file past 5,000,000 bytes moved
// aside under its dated name before the next record. Plain code over a small file
// interface, so tests run it on a fake.
//
// Appends (the queue thread's own texts, the receive threads' peer texts) and the viewer's
// reads take one process-wide lock, so no record is lost to a collision.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ChatRecord.h"

namespace chatdesk {

constexpr int64_t kRecordRollOverSize = 5000001;

class RecordFiles {
public:
    virtual ~RecordFiles() = default;
    // The whole file; `exists` false for a missing file. False when it exists but cannot be read.
    virtual bool ReadAll(const std::wstring& path, std::string* content, bool* exists) = 0;
    // The file's size, -1 when missing or unreadable.
    virtual int64_t Size(const std::wstring& path) = 0;
    // Replaces the file's content (created when missing): the old content stays whole
    // until the new one is.
    virtual bool WriteAll(const std::wstring& path, const std::string& content) = 0;
    virtual bool Move(const std::wstring& from, const std::wstring& to) = 0;
};

// The Windows files (CreateFile, read sharing for readers).
RecordFiles& SystemRecordFiles();

class RecordStore {
public:
    explicit RecordStore(RecordFiles& files) : files_(files) {}

    // Puts the record first in the file at `path`. A file of 5,000,001 bytes or more is
    // first moved to `rolledPath` and a new file begun; when the move fails the record
    // goes before the old content, which is kept. False when nothing was written.
    bool Append(const std::wstring& path, const std::wstring& rolledPath, const ChatRecordBytes& record);
    // The file's records, newest first; a short block at the end is left out.
    std::vector<ChatRecordBytes> List(const std::wstring& path);

private:
    RecordFiles& files_;
};

}  // namespace chatdesk
