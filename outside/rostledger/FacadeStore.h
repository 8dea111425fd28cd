// How a contact-book handle reaches the contact store: the store that ClientCore loaded
// at sign-in, asked for at every call. A contact book is never tied to one store, so a
// call after sign-off finds no store and answers 0 instead of touching a freed one.
#pragma once

#include <windows.h>

#include "ContactRecords.h"
#include "ModulePath.h"
#include "VantorTypes.h"

namespace facade {

// An export of a module the caller holds, looked up by name (or ordinal) once per loaded
// image: later calls find it in a table, checked against the image's header, so a module
// unloaded and loaded again elsewhere is looked up anew. `name` must stay valid (a
// string literal or an ordinal); it is remembered by address.
FARPROC ExportOf(HMODULE module, const char* name);

// The current store, with references on ClientCore's RostBase held for the call.
class StoreRef {
public:
    explicit StoreRef(HostContext book);
    ~StoreRef();
    StoreRef(const StoreRef&) = delete;
    StoreRef& operator=(const StoreRef&) = delete;

    RostBaseHandle store() const { return store_; }
    HMODULE rostBase() const { return rostBase_; }

private:
    HMODULE rostBase_ = nullptr;
    RostBaseHandle store_ = nullptr;
};

// Calls RostBase's export `name` with the current store in front of the arguments; a
// zero result when there is no store or no such export.
template <typename R, typename... Args>
R Forward(HostContext book, const char* name, Args... args) {
    StoreRef ref(book);
    if (!ref.store()) return R();
    typedef R(WINAPI * Fn)(RostBaseHandle, Args...);
    Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(ExportOf(ref.rostBase(), name)));
    return fn ? fn(ref.store(), args...) : R();
}

}  // namespace facade
