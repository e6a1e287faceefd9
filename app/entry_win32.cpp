#include "app/entry_win32.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/application_win32.h"
#include "app/run_modes.h"
#include "core/owners_win32.h"
#include "core/wide.h"
#include "payload/pipe_session_win32.h"
#include "state/handoff_registry_win32.h"
#include "state/update_launcher_win32.h"

namespace zelkora::app {
namespace {

std::vector<std::u16string> command_line_arguments() {
    int count = 0;
    PWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv) return {};
    const UniqueLocalMemory owner(reinterpret_cast<HLOCAL>(argv));
    std::vector<std::u16string> args;
    for (int i = 0; i < count; ++i) args.push_back(from_wide(argv[i]));
    return args;
}

// Any failure to prove membership counts as "not an administrator".
bool is_administrator() {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    UniqueAllocatedSid administrators;
    if (!::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    administrators.put())) {
        return false;
    }
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators.get(), &member)) return false;
    return member != FALSE;
}

void show_elevation_required() {
    ::MessageBoxW(nullptr,
                  L"이 프로그램은 관리자 권한으로 실행해야 합니다.\n"
                  L"실행 시 Windows 관리자 승인을 완료해주세요.",
                  L"Zelkora · 관리자 권한 필요", MB_ICONERROR);
}

std::uint64_t system_time_now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// "--update" alone does not make an update run: only the launcher check does.
void pick_up_handoff(RunRequest& request) {
    request.update_flag = state::started_by_update_launcher(to_wide(kSetupFileName), payload::executable_trust());
    if (!request.update_flag) return;
    auto record = state::read_handoff_record(to_wide(state::kHandoffBasePath), state::HandoffCaller::client);
    if (record && accept_handoff_record(*record, system_time_now())) request.handoff = std::move(record);
}

}  // namespace

int run_entry(HINSTANCE instance) {
    const Switches switches = read_switches(command_line_arguments());
    if (!is_administrator()) {
        show_elevation_required();
        return kExitElevationRequired;
    }
    RunRequest request;
    request.selftest_case = switches.selftest_case;
    request.preview_case = switches.preview_case;
    if (handoff_pickup_runs(switches)) pick_up_handoff(request);
    return run_application(std::move(request), instance);
}

}  // namespace zelkora::app
