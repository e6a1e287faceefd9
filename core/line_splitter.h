#pragma once
// Cuts the byte stream of the progress pipe into lines at line feeds.
// Portable: the reader thread and the progress-lines test driver share it.

#include <cstddef>
#include <string>
#include <string_view>

namespace zelkora::core {

// A line may hold at most this many bytes including its line feed.
inline constexpr std::size_t kMaxLineBytes = 16384;

class LineSplitter {
public:
    // Appends received bytes; calls on_line(std::string_view) for each
    // complete line (without its line feed). Returns false once the stream
    // holds a line longer than the bound: the channel must end, and every
    // line before the long one has been delivered. The outcome does not
    // depend on how the bytes were split into reads.
    template <typename OnLine>
    bool append(std::string_view bytes, OnLine&& on_line) {
        if (overflowed_) return false;
        buffer_.append(bytes);
        std::size_t start = 0;
        for (;;) {
            const auto feed = buffer_.find('\n', start);
            if (feed == std::string::npos) break;
            if (feed - start + 1 > kMaxLineBytes) return overflow();
            on_line(std::string_view(buffer_).substr(start, feed - start));
            start = feed + 1;
        }
        buffer_.erase(0, start);
        if (buffer_.size() >= kMaxLineBytes) return overflow();  // cannot end within the bound
        return true;
    }

    // Bytes after the last line feed; they are dropped when the channel ends.
    std::size_t pending_bytes() const { return buffer_.size(); }

private:
    bool overflow() {
        overflowed_ = true;
        buffer_.clear();
        return false;
    }

    std::string buffer_;
    bool overflowed_ = false;
};

}  // namespace zelkora::core
