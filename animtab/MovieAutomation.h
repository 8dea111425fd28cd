// Calls on the movie control's automation interface by member name.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace animtab {

class MovieAutomation {
public:
    explicit MovieAutomation(IDispatch* movie) : movie_(movie) {}

    bool GetNumber(const wchar_t* member, long* value) const;  // a method or property without arguments
    bool PutText(const wchar_t* member, const wchar_t* value) const;
    bool PutNumber(const wchar_t* member, long value) const;
    bool PutBool(const wchar_t* member, bool value) const;
    // Arguments in call order: a number, then a text (may be null).
    bool CallNumberText(const wchar_t* member, long number, const wchar_t* text) const;
    bool Call(const wchar_t* member) const;

private:
    bool Invoke(const wchar_t* member, WORD flags, VARIANT* args, UINT count, VARIANT* result) const;
    IDispatch* movie_;
};

}  // namespace animtab
