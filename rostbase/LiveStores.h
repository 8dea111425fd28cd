// The stores that calls may reach by handle.
//
// Every call holds its store while it runs. An unload takes the store off the list at once,
// so that later calls on its handle are refused, and the store is freed when the last call
// that holds it returns: a walk or a change notification on another thread never sees its
// store freed under it, and the unload never waits for a thread.
#pragma once

#include <memory>

#include "ContactStore.h"

namespace rostbase {

// Lists a new store; its handle.
RostBaseHandle ListStore(std::unique_ptr<ContactStore> store);
// Takes a listed store off the list; false when the handle names none.
bool UnlistStore(RostBaseHandle handle);

class HeldStore {
public:
    // Null when the handle names no listed store.
    explicit HeldStore(RostBaseHandle handle);
    ~HeldStore();
    HeldStore(const HeldStore&) = delete;
    HeldStore& operator=(const HeldStore&) = delete;
    ContactStore* get() const { return store_; }

private:
    ContactStore* store_ = nullptr;
};

}  // namespace rostbase
