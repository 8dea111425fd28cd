#include "LiveStores.h"

#include <unordered_map>

#include "Sync.h"

namespace rostbase {

namespace {

struct Entry {
    int calls = 0;
    bool listed = true;
};

vantor::CriticalSection g_lock;
std::unordered_map<ContactStore*, Entry> g_stores;

// Forgets a store that is no longer listed and no longer held; the caller frees it.
ContactStore* TakeIfDone(std::unordered_map<ContactStore*, Entry>::iterator it) {
    if (it->second.listed || it->second.calls > 0) return nullptr;
    ContactStore* store = it->first;
    g_stores.erase(it);
    return store;
}

}  // namespace

RostBaseHandle ListStore(std::unique_ptr<ContactStore> store) {
    vantor::Lock lock(g_lock);
    g_stores.emplace(store.get(), Entry());
    return store.release()->Handle();
}

bool UnlistStore(RostBaseHandle handle) {
    ContactStore* done = nullptr;
    {
        vantor::Lock lock(g_lock);
        auto it = g_stores.find(ContactStore::From(handle));
        if (it == g_stores.end() || !it->second.listed) return false;
        it->second.listed = false;
        done = TakeIfDone(it);
    }
    delete done;
    return true;
}

HeldStore::HeldStore(RostBaseHandle handle) {
    vantor::Lock lock(g_lock);
    auto it = g_stores.find(ContactStore::From(handle));
    if (it == g_stores.end() || !it->second.listed) return;
    ++it->second.calls;
    store_ = it->first;
}

HeldStore::~HeldStore() {
    if (!store_) return;
    ContactStore* done = nullptr;
    {
        vantor::Lock lock(g_lock);
        auto it = g_stores.find(store_);
        if (it != g_stores.end()) {
            --it->second.calls;
            done = TakeIfDone(it);
        }
    }
    delete done;
}

}  // namespace rostbase
