// What the browser stand-ins put into their events: argument variants that clear
// themselves, and load statuses as the trace writes them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace pageengine {

// An event argument, cleared after the call.
class EventVariant {
public:
    EventVariant() { VariantInit(&v_); }
    ~EventVariant() { VariantClear(&v_); }
    EventVariant(const EventVariant&) = delete;
    EventVariant& operator=(const EventVariant&) = delete;
    VARIANT* get() { return &v_; }
    void SetText(const std::wstring& text) {
        VariantClear(&v_);
        v_.vt = VT_BSTR;
        v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    void SetLong(long value) {
        VariantClear(&v_);
        v_.vt = VT_I4;
        v_.lVal = value;
    }

private:
    VARIANT v_;
};

// An HTTP status in decimal, any other status (an HRESULT) as 0xXXXXXXXX.
std::wstring StatusText(long status);

}  // namespace pageengine
