// The program's replacement of the global operator new and delete: each block
// carries its size in front of it, so a delete knows how much it gives back.
#include "allocation_meter.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> held{0};
std::atomic<std::size_t> peak{0};

struct Header {
    void* block;
    std::size_t size;
};

void* take(std::size_t size, std::size_t alignment) noexcept {
    if (alignment < alignof(std::max_align_t)) alignment = alignof(std::max_align_t);
    void* block = std::malloc(size + alignment + sizeof(Header));
    if (block == nullptr) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(block) + sizeof(Header);
    auto* user = reinterpret_cast<void*>((start + alignment - 1) & ~(static_cast<std::uintptr_t>(alignment) - 1));
    static_cast<Header*>(user)[-1] = Header{block, size};
    const std::size_t now = held.fetch_add(size) + size;
    for (std::size_t seen = peak.load(); now > seen && !peak.compare_exchange_weak(seen, now);) {
    }
    return user;
}

void give_back(void* user) noexcept {
    if (user == nullptr) return;
    const Header header = static_cast<Header*>(user)[-1];
    held.fetch_sub(header.size);
    std::free(header.block);
}

void* take_or_throw(std::size_t size, std::size_t alignment) {
    void* user = take(size == 0 ? 1 : size, alignment);
    if (user == nullptr) throw std::bad_alloc();
    return user;
}

}  // namespace

namespace zelkora::test {

std::size_t allocated_bytes() { return held.load(); }
std::size_t allocation_peak() { return peak.load(); }
void restart_allocation_peak() { peak.store(held.load()); }

}  // namespace zelkora::test

void* operator new(std::size_t size) { return take_or_throw(size, 0); }
void* operator new[](std::size_t size) { return take_or_throw(size, 0); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    return take_or_throw(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return take_or_throw(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return take(size == 0 ? 1 : size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return take(size == 0 ? 1 : size, 0); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return take(size == 0 ? 1 : size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return take(size == 0 ? 1 : size, static_cast<std::size_t>(alignment));
}
void operator delete(void* user) noexcept { give_back(user); }
void operator delete[](void* user) noexcept { give_back(user); }
void operator delete(void* user, std::size_t) noexcept { give_back(user); }
void operator delete[](void* user, std::size_t) noexcept { give_back(user); }
void operator delete(void* user, std::align_val_t) noexcept { give_back(user); }
void operator delete[](void* user, std::align_val_t) noexcept { give_back(user); }
void operator delete(void* user, std::size_t, std::align_val_t) noexcept { give_back(user); }
void operator delete[](void* user, std::size_t, std::align_val_t) noexcept { give_back(user); }
void operator delete(void* user, const std::nothrow_t&) noexcept { give_back(user); }
void operator delete[](void* user, const std::nothrow_t&) noexcept { give_back(user); }
void operator delete(void* user, std::align_val_t, const std::nothrow_t&) noexcept { give_back(user); }
void operator delete[](void* user, std::align_val_t, const std::nothrow_t&) noexcept { give_back(user); }
