#include "core/progress_channel_win32.h"

#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>

#include <array>
#include <cstring>
#include <system_error>
#include <vector>

#include "core/file_paths_win32.h"
#include "core/installer_command.h"
#include "core/line_splitter.h"
#include "core/selftest_cases.h"
#include "core/wide.h"

namespace zelkora::core {
namespace {

constexpr wchar_t kPipeSecurity[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)";
constexpr DWORD kPipeBufferBytes = 4096;
constexpr DWORD kReadBytes = 4096;
constexpr DWORD kReplyWriteLimitMs = 30000;
constexpr DWORD kLongPathUnits = 32768;

// --- reader thread -------------------------------------------------------

struct ReaderSetup {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE stop_event = nullptr;
    HANDLE installer_started = nullptr;
    const std::atomic<DWORD>* installer_id = nullptr;
    HWND window = nullptr;
    std::uint32_t run = 0;
    PayloadContextFactory payload_factory;
    std::atomic<bool>* finished = nullptr;
};

// Waits for the overlapped operation or the stop event. A stop or an error
// cancels the operation and waits until the system is done with `io`.
bool wait_for_io(HANDLE pipe, HANDLE stop_event, OVERLAPPED& io, DWORD limit_ms, DWORD& bytes) {
    const HANDLE events[2] = {io.hEvent, stop_event};
    const DWORD woke = ::WaitForMultipleObjects(2, events, FALSE, limit_ms);
    if (woke == WAIT_OBJECT_0 && ::GetOverlappedResult(pipe, &io, &bytes, FALSE)) return true;
    ::CancelIoEx(pipe, &io);
    ::GetOverlappedResult(pipe, &io, &bytes, TRUE);
    return false;
}

bool wait_for_client(const ReaderSetup& setup, HANDLE io_event) {
    OVERLAPPED io{};
    io.hEvent = io_event;
    if (::ConnectNamedPipe(setup.pipe, &io)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return true;
    if (error != ERROR_IO_PENDING) return false;
    DWORD ignored = 0;
    return wait_for_io(setup.pipe, setup.stop_event, io, INFINITE, ignored);
}

// The reader starts before PowerShell, so that no installer runs unread;
// it learns the process id only once PowerShell has started.
bool wait_for_installer(const ReaderSetup& setup) {
    const HANDLE events[2] = {setup.installer_started, setup.stop_event};
    return ::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0;
}

bool client_is_installer(const ReaderSetup& setup) {
    ULONG client = 0;
    return ::GetNamedPipeClientProcessId(setup.pipe, &client) && client == setup.installer_id->load();
}

void write_reply(const ReaderSetup& setup, const std::string& reply) {
    UniqueHandle written(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!written) return;
    OVERLAPPED io{};
    io.hEvent = written.get();
    if (::WriteFile(setup.pipe, reply.data(), static_cast<DWORD>(reply.size()), nullptr, &io)) return;
    if (::GetLastError() != ERROR_IO_PENDING) return;
    DWORD ignored = 0;
    wait_for_io(setup.pipe, setup.stop_event, io, kReplyWriteLimitMs, ignored);
}

void post_line(const ReaderSetup& setup, ProgressLine line) {
    auto record = std::make_unique<PostedLine>(PostedLine{std::move(line), setup.run});
    if (::PostMessageW(setup.window, kMessageProgressLine, 0, reinterpret_cast<LPARAM>(record.get()))) {
        record.release();  // the window frees it
    }
}

void handle_line(const ReaderSetup& setup, PayloadLines* payload, std::string_view line) {
    std::string reply;
    if (payload && payload->handle_line(line, reply)) {
        if (!reply.empty()) write_reply(setup, reply);
        return;
    }
    if (auto parsed = parse_progress_line(line)) post_line(setup, std::move(*parsed));
}

bool stop_requested(const ReaderSetup& setup) {
    return ::WaitForSingleObject(setup.stop_event, 0) == WAIT_OBJECT_0;
}

void read_lines(const ReaderSetup& setup, PayloadLines* payload, HANDLE io_event) {
    LineSplitter splitter;
    std::array<char, kReadBytes> buffer{};
    while (!stop_requested(setup)) {
        ::ResetEvent(io_event);
        OVERLAPPED io{};
        io.hEvent = io_event;
        DWORD bytes = 0;
        if (::ReadFile(setup.pipe, buffer.data(), kReadBytes, nullptr, &io)) {
            if (!::GetOverlappedResult(setup.pipe, &io, &bytes, FALSE)) return;
        } else if (::GetLastError() != ERROR_IO_PENDING ||
                   !wait_for_io(setup.pipe, setup.stop_event, io, INFINITE, bytes)) {
            return;
        }
        if (bytes == 0) return;
        const bool open = splitter.append(std::string_view(buffer.data(), bytes), [&](std::string_view line) {
            handle_line(setup, payload, line);
        });
        if (!open) return;  // a line beyond the bound ends the channel
    }
}

void serve_pipe(const ReaderSetup& setup) {
    std::unique_ptr<PayloadLines> payload = setup.payload_factory ? setup.payload_factory() : nullptr;
    UniqueHandle io_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!io_event) return;
    // Listening before PowerShell's id is known lets its connect succeed at
    // once even when this thread is slow to run; no byte is read before the
    // client is proven to be PowerShell.
    if (!wait_for_client(setup, io_event.get())) return;
    if (!wait_for_installer(setup)) return;
    if (!client_is_installer(setup)) return;  // not a byte from anyone else
    read_lines(setup, payload.get(), io_event.get());
}

void run_reader(ReaderSetup setup) {
    try {
        serve_pipe(setup);
    } catch (...) {
        // Nothing may escape a thread; the run's outcome then follows from
        // the installer's end alone.
    }
    // Ended by anything but a stop (an oversized line, a wrong client, a read
    // error), the reader leaves a pipe that nobody reads: the script's next
    // write past the buffer, or its wait for a reply, would block for ever.
    // Disconnecting fails them; the pipe is not listened on again, so
    // nobody else gets in either.
    if (!stop_requested(setup)) ::DisconnectNamedPipe(setup.pipe);
    setup.finished->exchange(true);
}

}  // namespace

std::thread start_reader_thread(std::function<void()> body) { return std::thread(std::move(body)); }

bool installer_script_present(const std::wstring& setup_folder, const std::wstring& script_path) {
    const UniqueFile script = open_unlinked(script_path, ObjectKind::file);
    if (!script) return false;
    // A link that the file system does not tag (a Unix symbolic link under
    // Wine, for one) still shows in the final path.
    const UniqueFile folder = open_unlinked(setup_folder, ObjectKind::folder);
    if (!folder) return false;
    const auto script_final = final_path(script.get());
    const auto folder_final = final_path(folder.get());
    return script_final && folder_final &&
           paths_equal(*script_final, join_path(*folder_final, to_wide(kInstallerScriptName)));
}

std::optional<LaunchFailure> ProgressChannel::start(const LaunchSettings& settings) {
    stop();
    ++run_;
    if (auto refused = check_before_start(settings)) return refused;
    if (auto failed = name_pipe()) return failed;
    if (auto failed = create_pipe()) return failed;
    if (auto failed = start_reader(settings)) {
        stop();
        return failed;
    }
    if (auto failed = start_powershell(settings)) {
        stop();
        return failed;
    }
    tell_reader_the_installer();
    return std::nullopt;
}

std::optional<LaunchFailure> ProgressChannel::check_before_start(const LaunchSettings& settings) {
    setup_folder_ = from_wide(setup_program_folder());
    script_path_ = join_path(setup_folder_, kInstallerScriptName);
    if (settings.selftest_case == SelfTestCase::none &&
        !installer_script_present(to_wide(setup_folder_), to_wide(script_path_))) {
        return launch_failure(LaunchProblem::installer_missing);
    }
    return refuse_older_update(settings.installed_version_newer && settings.installed_version_newer());
}

// A fresh GUID per run, so that no earlier or foreign pipe can be reused.
std::optional<LaunchFailure> ProgressChannel::name_pipe() {
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid))) return launch_failure(LaunchProblem::channel_name_failed);
    std::array<std::uint8_t, 16> bytes{};
    static_assert(sizeof(guid) == bytes.size());
    std::memcpy(bytes.data(), &guid, bytes.size());
    pipe_name_ = pipe_name_from_guid_bytes(bytes);
    return std::nullopt;
}

void ProgressChannel::tell_reader_the_installer() {
    installer_id_.store(::GetProcessId(process_.get()));
    ::SetEvent(installer_started_.get());
}

UniqueFile create_progress_pipe(std::u16string_view pipe_name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        return {};
    }
    const UniqueLocalMemory descriptor_owner(descriptor);
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor, FALSE};
    const std::wstring path = to_wide(kPipePathPrefix) + to_wide(pipe_name);
    return UniqueFile(::CreateNamedPipeW(path.c_str(),
                                         PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                         1, kPipeBufferBytes, kPipeBufferBytes, 0, &security));
}

std::optional<LaunchFailure> ProgressChannel::create_pipe() {
    pipe_ = create_progress_pipe(pipe_name_);
    if (!pipe_) return launch_failure(LaunchProblem::channel_failed);
    return std::nullopt;
}

std::optional<LaunchFailure> ProgressChannel::start_powershell(const LaunchSettings& settings) {
    std::wstring system_folder(kLongPathUnits, L'\0');
    const UINT length = ::GetSystemDirectoryW(system_folder.data(), kLongPathUnits);
    if (length == 0 || length >= kLongPathUnits) return launch_failure(LaunchProblem::start_failed);
    system_folder.resize(length);
    const std::wstring powershell = system_folder + L"\\WindowsPowerShell\\v1.0\\powershell.exe";

    InstallerCommand command;
    command.script_path = script_path_;
    command.pipe_name = pipe_name_;
    command.launch = !settings.seamless_update;
    const std::wstring arguments =
        to_wide(settings.selftest_case != SelfTestCase::none ? selftest_arguments(settings.selftest_case, pipe_name_)
                                                             : installer_arguments(command));
    // PowerShell without arguments is an interactive host that never ends.
    if (arguments.empty()) return launch_failure(LaunchProblem::start_failed);
    const std::wstring folder = to_wide(setup_folder_);

    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS;
    execute.lpFile = powershell.c_str();
    execute.lpParameters = arguments.c_str();
    execute.lpDirectory = folder.c_str();
    execute.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&execute) || !execute.hProcess) return launch_failure(LaunchProblem::start_failed);
    process_.reset(execute.hProcess);
    return std::nullopt;
}

std::optional<LaunchFailure> ProgressChannel::start_reader(const LaunchSettings& settings) {
    stop_event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    installer_started_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop_event_ || !installer_started_) return launch_failure(LaunchProblem::channel_failed);
    ReaderSetup setup;
    setup.pipe = pipe_.get();
    setup.stop_event = stop_event_.get();
    setup.installer_started = installer_started_.get();
    setup.installer_id = &installer_id_;
    setup.window = settings.window;
    setup.run = run_;
    setup.payload_factory = settings.payload_factory;
    setup.finished = &reader_finished_;
    reader_finished_.exchange(false);
    try {
        reader_ = start_thread_([setup = std::move(setup)] { run_reader(setup); });
    } catch (const std::system_error&) {
        reader_finished_.exchange(true);
        return launch_failure(LaunchProblem::channel_failed);
    }
    return std::nullopt;
}

void ProgressChannel::stop() {
    if (reader_.joinable()) {
        ::SetEvent(stop_event_.get());
        ::CancelIoEx(pipe_.get(), nullptr);
        reader_.join();
    }
    pipe_.reset();
    stop_event_.reset();
    installer_started_.reset();
    installer_id_.store(0);
    process_.reset();
}

}  // namespace zelkora::core
