// The records a library has handed out and not yet freed, so that an export given a stale
// or foreign handle answers its error instead of touching freed memory.
#pragma once

#include <algorithm>
#include <vector>

#include "Sync.h"

namespace vantor {

template <typename T>
class LiveSet {
public:
    void Add(T* record) {
        Lock lock(cs_);
        records_.push_back(record);
    }
    // False when the record was not live.
    bool Remove(T* record) {
        Lock lock(cs_);
        auto found = std::find(records_.begin(), records_.end(), record);
        if (found == records_.end()) return false;
        records_.erase(found);
        return true;
    }
    bool Contains(T* record) {
        if (!record) return false;
        Lock lock(cs_);
        return std::find(records_.begin(), records_.end(), record) != records_.end();
    }
    // The most recently added record still live, or null.
    T* Latest() {
        Lock lock(cs_);
        return records_.empty() ? nullptr : records_.back();
    }
    bool Empty() {
        Lock lock(cs_);
        return records_.empty();
    }

private:
    CriticalSection cs_;
    std::vector<T*> records_;
};

}  // namespace vantor
