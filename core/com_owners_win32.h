#pragma once
// Scope-bound owners for COM: interface pointers, the apartment of one
// operation, BSTRs and VARIANTs. Each releases what it holds on every path.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace zelkora {

template <typename Interface>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    void reset() noexcept {
        if (pointer_) std::exchange(pointer_, nullptr)->Release();
    }
    // For out-parameters: releases the current pointer first.
    Interface** put() noexcept {
        reset();
        return &pointer_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // Empty when the object does not offer the interface.
    template <typename Other>
    ComPtr<Other> query(REFIID iid) const noexcept {
        ComPtr<Other> other;
        if (pointer_ && FAILED(pointer_->QueryInterface(iid, other.put_void()))) other.reset();
        return other;
    }
    // The same, for an interface whose declaration carries its id.
    template <typename Other>
    ComPtr<Other> query() const noexcept {
        return query<Other>(__uuidof(Other));
    }

private:
    Interface* pointer_ = nullptr;
};

// The apartment-threaded COM initialisation of one operation. Uninitialises
// only when the initialisation succeeded, which includes COM having been
// initialised on the thread before (S_FALSE).
class ComApartment {
public:
    ComApartment() noexcept : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    HRESULT result() const noexcept { return result_; }

private:
    HRESULT result_;
};

class UniqueBstr {
public:
    explicit UniqueBstr(const wchar_t* text) noexcept : value_(::SysAllocString(text)) {}
    ~UniqueBstr() { ::SysFreeString(value_); }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != nullptr; }

private:
    BSTR value_;
};

class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&value_); }
    ~UniqueVariant() { ::VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    // False when the string could not be allocated.
    [[nodiscard]] bool set_string(const wchar_t* text) noexcept {
        ::VariantClear(&value_);
        value_.vt = VT_BSTR;
        value_.bstrVal = ::SysAllocString(text);
        if (value_.bstrVal) return true;
        value_.vt = VT_EMPTY;
        return false;
    }
    void set_int(int number) noexcept {
        ::VariantClear(&value_);
        value_.vt = VT_I4;
        value_.lVal = number;
    }

    VARIANT& get() noexcept { return value_; }

private:
    VARIANT value_;
};

}  // namespace zelkora
