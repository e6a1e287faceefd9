#pragma once
// Scope-bound owners for Win32 resources: each kind of handle has one small
// owner that releases it on every path.

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>

#include <utility>

namespace zelkora {

// Traits name the value type, its invalid value and how to close it. Most
// close through a system function alone and are empty; a closer that must
// reach its own table of functions is handed to the constructor and kept.
template <typename Traits>
class Owner {
public:
    using Value = typename Traits::Value;

    Owner() noexcept = default;
    explicit Owner(Value value, Traits traits = {}) noexcept : traits_(std::move(traits)), value_(value) {}
    ~Owner() { reset(); }

    Owner(Owner&& other) noexcept : traits_(other.traits_), value_(other.release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            traits_ = other.traits_;
        }
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Value get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    [[nodiscard]] Value release() noexcept { return std::exchange(value_, Traits::invalid()); }
    // Keeps the caller's GetLastError: a failure path that releases a handle
    // before it reports the error must still report the right one.
    void reset(Value value = Traits::invalid()) noexcept {
        const Value old = std::exchange(value_, value);
        if (old == Traits::invalid()) return;
        const DWORD error = ::GetLastError();
        traits_.close(old);
        ::SetLastError(error);
    }
    // For out-parameters: releases the current value first.
    Value* put() noexcept {
        reset();
        return &value_;
    }

private:
    [[no_unique_address]] Traits traits_{};
    Value value_ = Traits::invalid();
};

struct KernelHandleTraits {
    using Value = HANDLE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::CloseHandle(value); }
};

// CreateFileW and friends report failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using Value = HANDLE;
    static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Value value) noexcept { ::CloseHandle(value); }
};

struct LocalMemoryTraits {
    using Value = HLOCAL;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::LocalFree(value); }
};

// Memory handed to the clipboard belongs to it; release() after the handover.
struct GlobalMemoryTraits {
    using Value = HGLOBAL;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::GlobalFree(value); }
};

// Strings the shell hands out, such as known-folder paths.
struct CoTaskMemoryTraits {
    using Value = PWSTR;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::CoTaskMemFree(value); }
};

struct AllocatedSidTraits {
    using Value = PSID;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::FreeSid(value); }
};

// One traits type per GDI handle type, so an owner hands out an HFONT or an
// HBRUSH as it is, with no cast at the call.
template <typename Handle>
struct GdiObjectTraits {
    using Value = Handle;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::DeleteObject(value); }
};

struct FontResourceTraits {
    using Value = HANDLE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::RemoveFontMemResourceEx(value); }
};

struct RegistryKeyTraits {
    using Value = HKEY;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::RegCloseKey(value); }
};

struct FindHandleTraits {
    using Value = HANDLE;
    static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Value value) noexcept { ::FindClose(value); }
};

struct BCryptAlgorithmTraits {
    using Value = BCRYPT_ALG_HANDLE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::BCryptCloseAlgorithmProvider(value, 0); }
};

struct BCryptHashTraits {
    using Value = BCRYPT_HASH_HANDLE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::BCryptDestroyHash(value); }
};

struct LibraryModuleTraits {
    using Value = HMODULE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::FreeLibrary(value); }
};

struct MemoryDcTraits {
    using Value = HDC;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::DeleteDC(value); }
};

struct CertStoreTraits {
    using Value = HCERTSTORE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::CertCloseStore(value, 0); }
};

struct CertificateContextTraits {
    using Value = PCCERT_CONTEXT;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value value) noexcept { ::CertFreeCertificateContext(value); }
};

using UniqueHandle = Owner<KernelHandleTraits>;
using UniqueFile = Owner<FileHandleTraits>;
using UniqueLocalMemory = Owner<LocalMemoryTraits>;
using UniqueGlobalMemory = Owner<GlobalMemoryTraits>;
using UniqueCoTaskString = Owner<CoTaskMemoryTraits>;
using UniqueAllocatedSid = Owner<AllocatedSidTraits>;
using UniqueFont = Owner<GdiObjectTraits<HFONT>>;
using UniqueBrush = Owner<GdiObjectTraits<HBRUSH>>;
using UniquePen = Owner<GdiObjectTraits<HPEN>>;
using UniqueRegion = Owner<GdiObjectTraits<HRGN>>;
using UniqueBitmap = Owner<GdiObjectTraits<HBITMAP>>;
using UniqueFontResource = Owner<FontResourceTraits>;
using UniqueRegistryKey = Owner<RegistryKeyTraits>;
using UniqueFind = Owner<FindHandleTraits>;
using UniqueAlgorithmProvider = Owner<BCryptAlgorithmTraits>;
using UniqueHash = Owner<BCryptHashTraits>;
using UniqueLibrary = Owner<LibraryModuleTraits>;
using UniqueMemoryDc = Owner<MemoryDcTraits>;
using UniqueCertStore = Owner<CertStoreTraits>;
using UniqueCertificate = Owner<CertificateContextTraits>;

}  // namespace zelkora
