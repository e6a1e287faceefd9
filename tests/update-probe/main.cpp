// Plays both sides of a staged update in tests. Copied under the release
// name into a staging folder, "start" makes it the updater that starts a
// program; "check" is that program, asking the update-launcher check with
// the release's or the test variant's trust. Its version resource (1.2.3.5)
// makes it a Zelkora.exe of version 1.2.3 too.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "core/owners_win32.h"
#include "core/wide.h"
#include "setup_version.h"
#include "state/update_launcher_win32.h"

namespace {

constexpr int kUsage = 2;
constexpr int kStartFailed = 3;
constexpr int kStartedByLauncher = 10;
constexpr int kNotStartedByLauncher = 20;

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

int start_and_wait(int count, wchar_t** argv) {
    std::wstring command_line;
    for (int i = 2; i < count; ++i) command_line += (i > 2 ? L" " : L"") + quoted(argv[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(argv[2], command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return kStartFailed;
    }
    ::CloseHandle(info.hThread);
    const zelkora::UniqueHandle process(info.hProcess);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = kStartFailed;
    ::GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

int check(const std::wstring& trust_name) {
    const auto trust = trust_name == L"test-variant" ? zelkora::core::test_variant_trust()
                                                     : zelkora::core::product_trust();
    return zelkora::state::started_by_update_launcher(zelkora::to_wide(zelkora::kSetupFileName), trust)
               ? kStartedByLauncher
               : kNotStartedByLauncher;
}

}  // namespace

int wmain(int count, wchar_t** argv) {
    if (count >= 3 && std::wstring(argv[1]) == L"start") return start_and_wait(count, argv);
    if (count == 3 && std::wstring(argv[1]) == L"check") return check(argv[2]);
    return kUsage;
}
