// A chat window's record writer: each record the window adds is kept at once among its
// file's pending records (RecordStore::Add), and a thread of the writer's own puts them
// into the record file shortly after, in order, a burst at a time: texts are shown
// without waiting for a rewrite of the history, and a kill after one was added loses
// nothing.
//
// The window stops the writer when it closes: the thread puts in what is pending and
// ends. A file that another program holds all that time keeps its pending records, and
// the next writer of that file (Watch) puts them in; records the pending file itself
// refused all that time go into the record file at once.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "RecordStore.h"

namespace chatdesk {

class RecordWriter {
public:
    explicit RecordWriter(RecordStore store) : store_(store) {}
    ~RecordWriter() { Stop(); }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    bool Start();
    // Any thread; returns once the record is kept (or, when even that fails, queued here).
    void Add(const std::wstring& path, const ChatRecordBytes& record);
    // Records an earlier run left pending for this file are put in too.
    void Watch(const std::wstring& path);
    // Writes what is pending and ends the thread, waiting with messages pumped. A file
    // that stays held keeps its pending records.
    void Stop();

private:
    static DWORD WINAPI Main(void* self);
    void Run();
    // Folds the files; false when one is held and must be tried again.
    bool WriteOut(std::set<std::wstring> paths);
    bool KeepUnkept();
    // At the close: records the pending file still refuses go straight into their record
    // files (RecordStore::PutFirst); those that cannot stay in unkept_.
    void PutUnkept();

    RecordStore store_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::set<std::wstring> dirty_;
    // Records the pending file refused, in order; later ones wait behind them.
    std::deque<std::pair<std::wstring, ChatRecordBytes>> unkept_;
    unsigned adds_ = 0;
    bool stop_ = false;
    HANDLE thread_ = nullptr;
};

}  // namespace chatdesk
