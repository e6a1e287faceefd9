#pragma once
// Runs a clean-up at the end of a scope unless it was released: the undo of a
// step that is only kept once the steps after it have succeeded.
// Portable: no <windows.h>.

#include <utility>

namespace zelkora {

template <typename Action>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(Action action) noexcept : action_(std::move(action)) {}
    ~ScopeExit() {
        if (armed_) action_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

    void release() noexcept { armed_ = false; }

private:
    Action action_;
    bool armed_ = true;
};

}  // namespace zelkora
