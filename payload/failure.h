#pragma once
// The one failure raised inside the payload engine. It carries an ASCII
// error code and is turned into a reply line at the request boundary.
// Portable: no <windows.h>.

#include <string>
#include <string_view>
#include <utility>

namespace zelkora::payload {

class Failure {
public:
    explicit Failure(std::string code) : code_(std::move(code)) {}
    const std::string& code() const noexcept { return code_; }

private:
    std::string code_;
};

// The one way the engine raises: every failure is a Failure with its code.
[[noreturn]] inline void fail(std::string_view code) { throw Failure(std::string(code)); }

}  // namespace zelkora::payload
