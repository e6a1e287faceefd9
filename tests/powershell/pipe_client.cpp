#include "pipe_client.h"

#include <algorithm>

namespace zelkora::standin {
namespace {

constexpr std::size_t kReadPiece = 4096;
// A reply longer than this without a line feed is not a reply line.
constexpr std::size_t kLongestReply = 65536;
constexpr DWORD kRetryPauseMs = 20;

// A time limit for a series of waits; INFINITE stays INFINITE.
class Deadline {
public:
    explicit Deadline(DWORD limit_ms) : forever_(limit_ms == INFINITE), end_(::GetTickCount64() + limit_ms) {}

    DWORD remaining_ms() const {
        if (forever_) return INFINITE;
        const ULONGLONG now = ::GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(end_ - now, 0x7FFFFFFF));
    }

private:
    bool forever_;
    ULONGLONG end_;
};

}  // namespace

DWORD PipeClient::connect(const std::wstring& pipe_name, DWORD access, DWORD timeout_ms) {
    close();
    const std::wstring path = L"\\\\.\\pipe\\" + pipe_name;
    const Deadline deadline(timeout_ms);
    for (;;) {
        // Identification only: the elevated server must not be able to act as us.
        pipe_.reset(::CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                  nullptr));
        if (pipe_) break;
        const DWORD error = ::GetLastError();
        const DWORD left = deadline.remaining_ms();
        if (left == 0) return ERROR_TIMEOUT;
        if (error == ERROR_PIPE_BUSY) {
            ::WaitNamedPipeW(path.c_str(), std::min(left, DWORD{100}));
        } else if (error == ERROR_FILE_NOT_FOUND) {
            ::Sleep(std::min(left, kRetryPauseMs));
        } else {
            return error;
        }
    }
    return make_io_event();
}

DWORD PipeClient::adopt(HANDLE pipe) {
    close();
    pipe_.reset(pipe);
    return make_io_event();
}

HANDLE PipeClient::share_with_child() {
    if (!::SetHandleInformation(pipe_.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return nullptr;
    return pipe_.get();
}

DWORD PipeClient::make_io_event() {
    io_event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!io_event_) {
        const DWORD error = ::GetLastError();
        close();
        return error;
    }
    return 0;
}

void PipeClient::close() {
    pipe_.reset();
    io_event_.reset();
    unread_.clear();
}

DWORD PipeClient::finish(OVERLAPPED& overlapped, BOOL started, DWORD timeout_ms, DWORD& transferred) {
    transferred = 0;
    if (!started) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return error;
        if (::WaitForSingleObject(overlapped.hEvent, timeout_ms) != WAIT_OBJECT_0) {
            ::CancelIoEx(pipe_.get(), &overlapped);
            // The operation may have completed while we gave up: keep its result.
            return ::GetOverlappedResult(pipe_.get(), &overlapped, &transferred, TRUE) ? 0 : ERROR_TIMEOUT;
        }
    }
    return ::GetOverlappedResult(pipe_.get(), &overlapped, &transferred, FALSE) ? 0 : ::GetLastError();
}

DWORD PipeClient::write(std::string_view bytes, DWORD timeout_ms) {
    if (!connected()) return ERROR_PIPE_NOT_CONNECTED;
    const Deadline deadline(timeout_ms);
    while (!bytes.empty()) {
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        OVERLAPPED overlapped{};
        overlapped.hEvent = io_event_.get();
        ::ResetEvent(overlapped.hEvent);
        const BOOL started = ::WriteFile(pipe_.get(), bytes.data(), piece, nullptr, &overlapped);
        DWORD written = 0;
        if (const DWORD error = finish(overlapped, started, deadline.remaining_ms(), written); error != 0) return error;
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return 0;
}

DWORD PipeClient::read_line(std::string& line, DWORD timeout_ms) {
    if (!connected()) return ERROR_PIPE_NOT_CONNECTED;
    const Deadline deadline(timeout_ms);
    for (;;) {
        if (const auto end = unread_.find('\n'); end != std::string::npos) {
            line = unread_.substr(0, end);
            unread_.erase(0, end + 1);
            return 0;
        }
        if (unread_.size() > kLongestReply) return ERROR_MORE_DATA;
        char piece[kReadPiece];
        OVERLAPPED overlapped{};
        overlapped.hEvent = io_event_.get();
        ::ResetEvent(overlapped.hEvent);
        const BOOL started = ::ReadFile(pipe_.get(), piece, sizeof(piece), nullptr, &overlapped);
        DWORD read = 0;
        if (const DWORD error = finish(overlapped, started, deadline.remaining_ms(), read); error != 0) return error;
        if (read == 0) return ERROR_BROKEN_PIPE;
        unread_.append(piece, read);
    }
}

std::string pipe_error_name(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return "pipe-not-found";
    case ERROR_ACCESS_DENIED: return "access-denied";
    case ERROR_BROKEN_PIPE: return "broken-pipe";
    case ERROR_NO_DATA: return "pipe-closing";
    case ERROR_PIPE_NOT_CONNECTED: return "not-connected";
    case ERROR_TIMEOUT: return "timeout";
    case ERROR_MORE_DATA: return "reply-too-long";
    default: return "error-" + std::to_string(error);
    }
}

}  // namespace zelkora::standin
