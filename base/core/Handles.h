// Move-only owners for Win32 handles and COM objects.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <utility>

namespace vantor {

// Owner of a value released by Traits::Close; Traits::Invalid() is the empty value.
template <typename Traits>
class UniqueValue {
public:
    using Value = typename Traits::Value;
    UniqueValue() : value_(Traits::Invalid()) {}
    explicit UniqueValue(Value v) : value_(v) {}
    ~UniqueValue() { reset(); }
    UniqueValue(UniqueValue&& other) noexcept : value_(other.release()) {}
    UniqueValue& operator=(UniqueValue&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueValue(const UniqueValue&) = delete;
    UniqueValue& operator=(const UniqueValue&) = delete;

    Value get() const { return value_; }
    explicit operator bool() const { return Traits::Valid(value_); }
    Value release() { Value v = value_; value_ = Traits::Invalid(); return v; }
    void reset(Value v = Traits::Invalid()) {
        if (Traits::Valid(value_)) Traits::Close(value_);
        value_ = v;
    }

private:
    Value value_;
};

struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return nullptr; }
    // Both null and INVALID_HANDLE_VALUE mean "no handle".
    static bool Valid(Value v) { return v != nullptr && v != INVALID_HANDLE_VALUE; }
    static void Close(Value v) { CloseHandle(v); }
};
using UniqueHandle = UniqueValue<KernelHandleTraits>;

struct ModuleTraits {
    using Value = HMODULE;
    static Value Invalid() { return nullptr; }
    static bool Valid(Value v) { return v != nullptr; }
    static void Close(Value v) { FreeLibrary(v); }
};
using UniqueModule = UniqueValue<ModuleTraits>;

struct FindTraits {
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Value v) { return v != INVALID_HANDLE_VALUE && v != nullptr; }
    static void Close(Value v) { FindClose(v); }
};
using UniqueFind = UniqueValue<FindTraits>;

template <typename T>
struct GdiTraits {
    using Value = T;
    static Value Invalid() { return nullptr; }
    static bool Valid(Value v) { return v != nullptr; }
    static void Close(Value v) { DeleteObject(v); }
};
template <typename T> using UniqueGdi = UniqueValue<GdiTraits<T>>;

struct LocalTraits {
    using Value = HLOCAL;
    static Value Invalid() { return nullptr; }
    static bool Valid(Value v) { return v != nullptr; }
    static void Close(Value v) { LocalFree(v); }
};
using UniqueLocal = UniqueValue<LocalTraits>;

// Selects a GDI object into a DC and puts the previous one back.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    ~ScopedSelect() { if (old_) SelectObject(dc_, old_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
private:
    HDC dc_;
    HGDIOBJ old_;
};

// COM initialisation for one scope; uninitialises only when the initialisation counted
// (S_OK or S_FALSE), never after RPC_E_CHANGED_MODE.
class ScopedCom {
public:
    explicit ScopedCom(DWORD model = COINIT_APARTMENTTHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
    ~ScopedCom() { if (SUCCEEDED(hr_)) CoUninitialize(); }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;
    bool Usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
private:
    HRESULT hr_;
};

// Reference-counted COM pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
    ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~ComPtr() { if (p_) p_->Release(); }
    ComPtr& operator=(ComPtr o) { std::swap(p_, o.p_); return *this; }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Releases the current object and hands out the slot for an out parameter.
    T** put() { if (p_) { p_->Release(); p_ = nullptr; } return &p_; }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { T* p = p_; p_ = nullptr; return p; }
    void attach(T* p) { if (p_) p_->Release(); p_ = p; }

    template <typename U>
    ComPtr<U> query() const {
        ComPtr<U> out;
        if (p_) p_->QueryInterface(__uuidof(U), out.put_void());
        return out;
    }

private:
    T* p_ = nullptr;
};

// BSTR owner.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(const wchar_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
    ~UniqueBstr() { SysFreeString(b_); }
    UniqueBstr(UniqueBstr&& o) noexcept : b_(o.b_) { o.b_ = nullptr; }
    UniqueBstr& operator=(UniqueBstr&& o) noexcept { std::swap(b_, o.b_); return *this; }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR get() const { return b_; }
    BSTR* put() { SysFreeString(b_); b_ = nullptr; return &b_; }
    const wchar_t* c_str() const { return b_ ? b_ : L""; }
    size_t size() const { return b_ ? SysStringLen(b_) : 0; }
private:
    BSTR b_ = nullptr;
};

}  // namespace vantor
