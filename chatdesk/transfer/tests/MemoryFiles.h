// Test doubles of the transfer jobs' files and link, in memory, with switches for trouble.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ImMessages.h"
#include "ReceiveJob.h"
#include "SendJob.h"

namespace chatdesk {

class MemoryFiles : public SendFiles, public ReceiveFiles {
public:
    std::map<std::wstring, std::string> files;
    bool failOpen = false;
    bool failWrite = false;
    bool failMove = false;
    bool failClose = false;
    size_t shrinkAfterReads = 0;  // > 0: the file comes up short from that read on
    size_t reads = 0;             // reads of files being sent, all together
    std::function<void(size_t)> afterRead;  // called with `reads` after each

    std::unique_ptr<SendFile> OpenForSending(const std::wstring& path) override {
        if (failOpen || !files.count(path)) return nullptr;
        return std::unique_ptr<SendFile>(new Reader(*this, files[path]));
    }
    std::unique_ptr<ReceiveFile> OpenForWriting(const std::wstring& path, uint64_t* size) override {
        if (failOpen) return nullptr;
        std::string& data = files[path];
        *size = data.size();
        return std::unique_ptr<ReceiveFile>(new Writer(*this, data));
    }
    std::unique_ptr<ReceiveFile> CreateNew(const std::wstring& path) override {
        if (failOpen || files.count(path)) return nullptr;
        return std::unique_ptr<ReceiveFile>(new Writer(*this, files[path]));
    }
    bool ReadTail(const std::wstring& path, size_t count, std::string* tail, uint64_t* size) override {
        if (!files.count(path) || files[path].size() < count) return false;
        *tail = files[path].substr(files[path].size() - count);
        *size = files[path].size();
        return true;
    }
    bool MoveOnto(const std::wstring& from, const std::wstring& to) override {
        if (failMove || !files.count(from)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool Remove(const std::wstring& path) override { return files.erase(path) != 0; }
    bool Has(const std::wstring& path) const { return files.count(path) != 0; }

private:
    class Reader : public SendFile {
    public:
        Reader(MemoryFiles& owner, const std::string& data) : owner_(owner), data_(data) {}
        bool Size(uint64_t* size) override {
            *size = data_.size();
            return true;
        }
        bool Seek(uint64_t position) override {
            at_ = position;
            return true;
        }
        bool Read(uint8_t* buffer, uint32_t want, uint32_t* got) override {
            ++reads_;
            size_t left = at_ < data_.size() ? data_.size() - at_ : 0;
            if (owner_.shrinkAfterReads && reads_ >= owner_.shrinkAfterReads) left = left / 2;
            *got = static_cast<uint32_t>(left < want ? left : want);
            data_.copy(reinterpret_cast<char*>(buffer), *got, at_);
            at_ += *got;
            ++owner_.reads;
            if (owner_.afterRead) owner_.afterRead(owner_.reads);
            return true;
        }

    private:
        MemoryFiles& owner_;
        const std::string& data_;
        uint64_t at_ = 0;
        size_t reads_ = 0;
    };
    class Writer : public ReceiveFile {
    public:
        Writer(MemoryFiles& owner, std::string& data) : owner_(owner), data_(data) {}
        bool WriteAt(uint64_t offset, const uint8_t* data, uint32_t count) override {
            if (owner_.failWrite) return false;
            if (data_.size() < offset + count) data_.resize(static_cast<size_t>(offset + count));
            data_.replace(static_cast<size_t>(offset), count, reinterpret_cast<const char*>(data), count);
            return true;
        }
        bool CutTo(uint64_t size) override {
            if (size < data_.size()) data_.resize(static_cast<size_t>(size));
            return true;
        }
        bool Flush() override { return !owner_.failClose; }
        bool Close() override { return !owner_.failClose; }

    private:
        MemoryFiles& owner_;
        std::string& data_;
    };
};

// Keeps every block sent; can fail from a given block on, or run a hook after each.
class RecordingLink : public BlockLink {
public:
    std::vector<ImBytes> blocks;
    int cancels = 0;
    size_t failFrom = 0;  // > 0: the send of that block (1-based) and later ones fail
    std::function<void(const ImBytes&)> afterBlock;

    int sends = 0;

    // The blocks before a failing one still arrive, as from a socket that broke mid-send.
    bool SendBlocks(const uint8_t* messages, size_t count) override {
        ++sends;
        for (size_t i = 0; i < count; ++i) {
            if (failFrom && blocks.size() + 1 >= failFrom) return false;
            const uint8_t* message = messages + i * kFileBlockSize;
            blocks.emplace_back(message, message + kFileBlockSize);
            if (afterBlock) afterBlock(blocks.back());
        }
        return true;
    }
    void SendCancel() override { ++cancels; }
};

class RecordingObserver : public SendObserver {
public:
    std::vector<double> progress;
    int complete = 0, failed = 0, cancelled = 0;
    void Progress(double percent) override { progress.push_back(percent); }
    void Complete() override { ++complete; }
    void Failed() override { ++failed; }
    void Cancelled() override { ++cancelled; }
};

}  // namespace chatdesk
