// The library's use count: every verb takes one use and gives it back when it ends; the
// release that brings the count to zero calls the free hook (the kernel facade's
// Facade_FreeModule), which unloads the library.
#pragma once

#include <windows.h>

namespace rostdialogs {

class UseCount {
public:
    typedef void (*FreeHook)(void* context);
    UseCount(FreeHook hook, void* context) : hook_(hook), context_(context) {}

    void Take() { InterlockedIncrement(&count_); }
    // Nothing of this object may be touched by the caller after the hook ran.
    void Give() {
        if (InterlockedDecrement(&count_) == 0 && hook_) hook_(context_);
    }
    LONG Value() const { return InterlockedCompareExchange(const_cast<volatile LONG*>(&count_), 0, 0); }

private:
    volatile LONG count_ = 0;
    FreeHook hook_;
    void* context_;
};

}  // namespace rostdialogs
