#include "RecordWriter.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "DebugOut.h"
#include "PumpingJoin.h"

namespace chatdesk {

namespace {

using Clock = std::chrono::steady_clock;
// A burst of records ends when none came for a while, or after at most a second.
constexpr auto kQuiet = std::chrono::milliseconds(100);
constexpr auto kLongestBurst = std::chrono::milliseconds(1000);
// A file held by another program is tried again this often...
constexpr auto kRetry = std::chrono::milliseconds(1000);
// ... and, once the window closes, this often for this long.
constexpr auto kClosingRetry = std::chrono::milliseconds(100);
constexpr auto kClosingPatience = std::chrono::milliseconds(1000);

}  // namespace

bool RecordWriter::Start() {
    if (thread_) return true;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = false;
    }
    thread_ = CreateThread(nullptr, 0, Main, this, 0, nullptr);
    return thread_ != nullptr;
}

void RecordWriter::Add(const std::wstring& path, const ChatRecordBytes& record) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++adds_;
        dirty_.insert(path);
        // Kept in order: behind records that are still waiting to be kept.
        if (!unkept_.empty() || !store_.Add(path, record)) unkept_.emplace_back(path, record);
    }
    wake_.notify_all();
}

void RecordWriter::Watch(const std::wstring& path) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        dirty_.insert(path);
    }
    wake_.notify_all();
}

void RecordWriter::Stop() {
    if (!thread_) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    vantor::JoinPumping(thread_);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI RecordWriter::Main(void* self) {
    static_cast<RecordWriter*>(self)->Run();
    return 0;
}

bool RecordWriter::KeepUnkept() {
    std::lock_guard<std::mutex> guard(lock_);
    while (!unkept_.empty()) {
        if (!store_.Add(unkept_.front().first, unkept_.front().second)) return false;
        unkept_.pop_front();
    }
    return true;
}

void RecordWriter::PutUnkept() {
    while (!unkept_.empty()) {
        std::wstring path = unkept_.front().first;
        std::vector<ChatRecordBytes> records;
        for (const auto& unkept : unkept_)
            if (unkept.first == path) records.push_back(unkept.second);
        if (!store_.PutFirst(path, records)) return;
        unkept_.erase(std::remove_if(unkept_.begin(), unkept_.end(), [&](const auto& unkept) { return unkept.first == path; }),
                      unkept_.end());
    }
}

bool RecordWriter::WriteOut(std::set<std::wstring> paths) {
    std::set<std::wstring> held;
    for (const std::wstring& path : paths)
        if (!store_.Fold(path)) held.insert(path);
    if (held.empty()) return true;
    std::lock_guard<std::mutex> guard(lock_);
    dirty_.insert(held.begin(), held.end());
    return false;
}

void RecordWriter::Run() {
    std::unique_lock<std::mutex> guard(lock_);
    Clock::time_point closing{};
    for (;;) {
        wake_.wait(guard, [this] { return stop_ || !dirty_.empty() || !unkept_.empty(); });
        for (Clock::time_point began = Clock::now(); !stop_ && Clock::now() - began < kLongestBurst;) {
            unsigned seen = adds_;
            wake_.wait_for(guard, kQuiet, [this, seen] { return stop_ || adds_ != seen; });
            if (adds_ == seen) break;
        }
        std::set<std::wstring> paths;
        paths.swap(dirty_);
        guard.unlock();
        bool written = KeepUnkept() && WriteOut(paths);
        guard.lock();
        if (written && dirty_.empty() && unkept_.empty() && stop_) break;
        if (written) continue;
        if (!stop_) {
            // A held file: tried again later, or at once when the window closes.
            wake_.wait_for(guard, kRetry, [this] { return stop_; });
            continue;
        }
        if (closing == Clock::time_point{}) closing = Clock::now();
        if (Clock::now() - closing >= kClosingPatience) break;
        wake_.wait_for(guard, kClosingRetry);
    }
    PutUnkept();
    if (!unkept_.empty()) vantor::DebugLine(L"ChatDesk: %u chat records could not be kept\n", unsigned(unkept_.size()));
    else if (!dirty_.empty()) vantor::DebugLine(L"ChatDesk: chat records wait in their pending file for the next time\n");
}

}  // namespace chatdesk
