#pragma once
// The client end of the setup's progress pipe, as PowerShell's
// NamedPipeClientStream would hold it. Writes and reads wait as long as they
// are told to, INFINITE included: PowerShell's own writes block for ever on a
// pipe whose 4 KiB buffer nobody empties, and so must ours, or the stand-in
// would hide a setup that stops reading.

#include <windows.h>

#include <string>
#include <string_view>

#include "core/owners_win32.h"

namespace zelkora::standin {

class PipeClient {
public:
    // Retries a missing or busy pipe until the time is up, as Connect(timeout)
    // does. Returns 0 or a Win32 error (ERROR_TIMEOUT when the time ran out).
    DWORD connect(const std::wstring& pipe_name, DWORD access, DWORD timeout_ms);
    bool connected() const { return static_cast<bool>(pipe_); }
    // Takes over a connected client handle inherited from another process.
    DWORD adopt(HANDLE pipe);
    // The connected handle made inheritable, for a process that takes it over.
    HANDLE share_with_child();
    void close();

    // Writes every byte or returns the error that stopped it (ERROR_TIMEOUT
    // when the time ran out).
    DWORD write(std::string_view bytes, DWORD timeout_ms);
    // One line up to its line feed (not included); bytes after it are kept
    // for the next call.
    DWORD read_line(std::string& line, DWORD timeout_ms);

private:
    DWORD make_io_event();
    DWORD finish(OVERLAPPED& overlapped, BOOL started, DWORD timeout_ms, DWORD& transferred);

    UniqueFile pipe_;
    UniqueHandle io_event_;
    std::string unread_;
};

// A short, stable word for a transcript: "broken-pipe", "timeout", "error-5".
std::string pipe_error_name(DWORD error);

}  // namespace zelkora::standin
