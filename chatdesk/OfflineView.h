// What the IM service needs of its offline-message window: made hidden at start, shown on
// request, handed each delivered stored message, destroyed with the service window.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace chatdesk {

class ImService;

class OfflineView {
public:
    virtual ~OfflineView() = default;
    // Makes the window, hidden (user-interface thread); false: the caller deletes the object.
    virtual bool Create(ImService& service) = 0;
    virtual HWND Window() const = 0;
    virtual void Show() = 0;
    // A delivered stored message as dispatch hands it over (receive thread).
    virtual void ShowMessage(const uint8_t* msg, size_t length, bool formatted) = 0;
    // Destroys the window and frees the object (user-interface thread).
    virtual void DestroyView() = 0;
};

}  // namespace chatdesk
