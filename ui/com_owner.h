#pragma once
// Scope-bound owner of one COM interface pointer: released on every path,
// moved but never copied, so a reference is never counted twice.

#include <unknwn.h>

#include <utility>

namespace zelkora::ui {

template <typename Interface>
class ComOwner {
public:
    ComOwner() noexcept = default;
    explicit ComOwner(Interface* pointer) noexcept : pointer_(pointer) {}
    ~ComOwner() { reset(); }

    ComOwner(ComOwner&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComOwner& operator=(ComOwner&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComOwner(const ComOwner&) = delete;
    ComOwner& operator=(const ComOwner&) = delete;

    Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    void reset() noexcept {
        if (Interface* old = std::exchange(pointer_, nullptr)) old->Release();
    }
    // For out-parameters: releases the current pointer first.
    Interface** put() noexcept {
        reset();
        return &pointer_;
    }
    // The same object through another of its interfaces; empty when it has none.
    template <typename Other>
    ComOwner<Other> query() const noexcept {
        ComOwner<Other> other;
        if (pointer_) pointer_->QueryInterface(__uuidof(Other), reinterpret_cast<void**>(other.put()));
        return other;
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace zelkora::ui
