// The per-peer chat record files: newest record first, a file past 5,000,000 bytes moved
// aside under its dated name before the next record. Plain code over a small file
// interface, so tests run it on a fake.
//
// A record is added in two steps. Add keeps it at once, in the order of adding, in the
// file's pending records ("<record file>.pending", a plain sequence of records, oldest
// first): one short write, so a text is safe the moment it is added and a process killed
// after that loses nothing. Fold later puts the pending records first in the record file,
// a burst at a time, rewriting the file as one step: a new content beside it renamed over
// it, or, while another program holds it open sharing writes, written over it in place
// with the whole new content kept beside it ("<record file>.copy") until that is done. A
// file that cannot be replaced now keeps its pending records for a later fold; nothing is
// dropped. The user's attributes of the file (read-only, hidden) are kept.
//
// One lock orders the adds; another the folds and the lists. An add never waits for a fold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ChatRecord.h"

namespace chatdesk {

constexpr int64_t kRecordRollOverSize = 5000001;

// What the store needs of the file system.
class RecordFiles {
public:
    virtual ~RecordFiles() = default;
    // The whole file; `exists` false for a missing file. False when it exists but cannot be read.
    virtual bool ReadAll(const std::wstring& path, std::string* content, bool* exists) = 0;
    // The file's size, -1 when missing or unreadable.
    virtual int64_t Size(const std::wstring& path) = 0;
    // A new file (made or emptied) holding the content, whole on disk, or false.
    virtual bool WriteNew(const std::wstring& path, const std::string& content) = 0;
    // Puts `from` in the place of `to` in one step, `to`'s attributes kept; false (both
    // left as they were) when `to` is held open or the move fails.
    virtual bool Replace(const std::wstring& from, const std::wstring& to) = 0;
    // Writes the content over an existing file where it stands, its attributes kept: for a
    // file held open by readers that share writing.
    virtual bool Overwrite(const std::wstring& path, const std::string& content) = 0;
    // Writes a block after the file's last whole block (a torn block left by a kill is
    // written over), making the file when missing.
    virtual bool AppendBlock(const std::wstring& path, const uint8_t* block, size_t size) = 0;
    // Moves a file to a name that is not taken.
    virtual bool Move(const std::wstring& from, const std::wstring& to) = 0;
    // True when the file is gone (or was never there); false, the file left as it is, while
    // another program holds it.
    virtual bool Remove(const std::wstring& path) = 0;
    // Waits before a retry.
    virtual void Pause(unsigned ms) = 0;
};

// The Windows files.
RecordFiles& SystemRecordFiles();

std::wstring PendingRecordsPath(const std::wstring& recordPath);

class RecordStore {
public:
    // `clock`: the local time, for the names of rolled-over files.
    RecordStore(RecordFiles& files, ImDateTime (*clock)()) : files_(files), clock_(clock) {}

    // Keeps the record among the file's pending records. False when even that failed.
    bool Add(const std::wstring& path, const ChatRecordBytes& record);
    // Puts the pending records first in the record file, one after the other as if each
    // were added alone: a file of 5,000,001 bytes or more is moved to its dated name
    // first and a new file begun (when that move fails the records go before the old
    // content, which is kept). True when none is left pending; false when the file could
    // not be read or rewritten now: the rest stays pending.
    bool Fold(const std::wstring& path);
    // The last resort for records the pending ones refused (a program holds them, sharing
    // reads only): puts them first in the record file, the pending records below them,
    // as one rewrite. False when the file or the pending records cannot be read or the
    // file cannot be rewritten.
    bool PutFirst(const std::wstring& path, const std::vector<ChatRecordBytes>& records);
    // Every record of the peer, newest first: it folds first, then lists the file and what
    // is still pending. A short block at the end is left out.
    std::vector<ChatRecordBytes> List(const std::wstring& path);

private:
    bool FoldHeld(const std::wstring& path);
    bool FinishCopy(const std::wstring& path);
    bool Rewrite(const std::wstring& path, const std::string& content);
    bool ReadPending(const std::wstring& path, std::vector<ChatRecordBytes>* records);
    bool DropPending(const std::wstring& path, size_t count);

    RecordFiles& files_;
    ImDateTime (*clock_)();
};

}  // namespace chatdesk
