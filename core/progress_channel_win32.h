#pragma once
// The installer run's progress channel: the private pipe, the hidden
// PowerShell process and the reader thread that serves the pipe.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/outcome_messages.h"
#include "core/owners_win32.h"
#include "core/progress_line.h"
#include "core/selftest_cases.h"

namespace zelkora::core {

inline constexpr UINT kMessageProgressLine = WM_APP + 4;

// One parsed line on its way from the reader thread to the window; the
// window owns it once PostMessageW succeeded. A reader may post until it is
// joined, after the window has begun the next run: the run number tells the
// window which lines are stale.
struct PostedLine {
    ProgressLine line;
    std::uint32_t run = 0;
};

// The payload side of the pipe: takes the "-6|" requests of one connection.
class PayloadLines {
public:
    virtual ~PayloadLines() = default;
    // False when the line is not a payload request; reply is one complete
    // line ending in "\n", or empty when nothing is written back.
    virtual bool handle_line(std::string_view line, std::string& reply) = 0;
};

using PayloadContextFactory = std::function<std::unique_ptr<PayloadLines>()>;

struct LaunchSettings {
    // Anything but none: the case's fixed -Command script instead of the installer.
    SelfTestCase selftest_case = SelfTestCase::none;
    bool seamless_update = false;
    HWND window = nullptr;       // receives the posted lines
    PayloadContextFactory payload_factory;
    // Set in an update run outside self-tests: true when an installed version
    // is newer than this setup, which then starts nothing and fails with
    // "update_not_newer".
    std::function<bool()> installed_version_newer;
};

// Starts the reader thread. Like std::thread, it throws std::system_error
// when the system cannot give it one; tests pass a starter that does.
using ReaderThreadStarter = std::thread (*)(std::function<void()> body);
std::thread start_reader_thread(std::function<void()> body);

class ProgressChannel {
public:
    explicit ProgressChannel(ReaderThreadStarter start_thread = start_reader_thread) : start_thread_(start_thread) {}
    ~ProgressChannel() { stop(); }
    ProgressChannel(const ProgressChannel&) = delete;
    ProgressChannel& operator=(const ProgressChannel&) = delete;

    // Checks the script, makes the pipe, starts the reader thread and then
    // PowerShell hidden, so that no installer runs without a reader. On
    // failure everything started so far is stopped again.
    std::optional<LaunchFailure> start(const LaunchSettings& settings);

    // Sets the stop event, cancels pipe I/O, joins the reader, then closes
    // the handles. The installer process itself is left running.
    void stop();

    HANDLE installer_process() const { return process_.get(); }
    // The number of the latest start; its reader's lines carry it.
    std::uint32_t current_run() const { return run_; }
    bool reader_finished() const { return reader_finished_.load(); }

private:
    std::optional<LaunchFailure> check_before_start(const LaunchSettings& settings);
    std::optional<LaunchFailure> name_pipe();
    std::optional<LaunchFailure> create_pipe();
    std::optional<LaunchFailure> start_reader(const LaunchSettings& settings);
    std::optional<LaunchFailure> start_powershell(const LaunchSettings& settings);
    // PowerShell's id is known only now; the reader waits for it before it
    // trusts the client on the pipe.
    void tell_reader_the_installer();

    ReaderThreadStarter start_thread_;
    UniqueFile pipe_;
    UniqueHandle stop_event_;
    UniqueHandle installer_started_;  // set once installer_id_ is known
    std::atomic<DWORD> installer_id_{0};
    UniqueHandle process_;
    std::u16string pipe_name_;
    std::u16string script_path_;
    std::u16string setup_folder_;
    std::thread reader_;
    std::atomic<bool> reader_finished_{true};
    std::uint32_t run_ = 0;
};

// The server end of a progress pipe: one instance, local clients only, open
// to LocalSystem, Administrators and Owner Rights alone. Invalid on failure.
UniqueFile create_progress_pipe(std::u16string_view pipe_name);

// "Install-Client.ps1" beside the setup: present only as a regular file
// reached without any link.
bool installer_script_present(const std::wstring& setup_folder, const std::wstring& script_path);

}  // namespace zelkora::core
