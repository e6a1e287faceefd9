// payload-console: one client-flavour payload context, fed from standard input.
// A driver for tests and reviewers; it runs the same request protocol and
// file work (placement, shortcuts, removals) as the setup's progress pipe.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

#include "core/wide.h"
#include "payload/full_path_win32.h"
#include "payload/file_work_win32.h"
#include "payload/request_protocol.h"
#include "setup_version.h"
#include "tools/common/stdin_lines.h"

namespace {

constexpr const char* kHelp =
    "usage: payload-console --bin DIR --program-files DIR --local-app-data DIR --desktop DIR\n"
    "                       --public-desktop DIR --common-startup DIR [--trust-current-user]\n"
    "                       [--pause-at POINT]\n"
    "\n"
    "Creates one client-flavour payload context, as the setup does for each\n"
    "progress-pipe connection, with these folders as its well-known locations\n"
    "(an omitted one is empty, so requests that need it are refused) and the\n"
    "setup's trusted owners (LocalSystem, Administrators, TrustedInstaller);\n"
    "--trust-current-user adds the user running the console, for trying\n"
    "placements into folders that user owns. The package version is 1.0.0.\n"
    "--pause-at stops the file work the first time it reaches POINT, prints\n"
    "\"paused at POINT\" and waits for ever, so that a test can end the process\n"
    "there as a crash would: first-backup (a replaced file has just moved to\n"
    "its backup name), partial-temporary (part of a file is in its temporary\n"
    "file), last-rename (every file placed, backups not yet deleted),\n"
    "removal-moved-aside (a version folder renamed aside, not yet deleted).\n"
    "The requests do real file work in those folders: shortcut-v1 writes\n"
    "Zelkora.lnk into --desktop, legacy-remove-v1 and old-remove-v1 delete\n"
    "older Client versions below --local-app-data and --program-files, and\n"
    "source-remove-v1 deletes --bin when it lies in the temporary folder.\n"
    "\n"
    "Reads standard input, cuts it into lines at line feeds (bytes after the\n"
    "last line feed are dropped, and a line of more than 16383 bytes ends the\n"
    "input, as on the pipe) and prints exactly one line\n"
    "for each input line:\n"
    "  payload-v1|...   the reply, without its line feed\n"
    "  -                the request gets no reply (\"place-v1\" and \"file\")\n"
    "  declined         the line is not a payload request (not \"-6|...\")\n"
    "\n"
    "Example:\n"
    "  printf -- '-6|place-v1|client|1.0.0|-\\n-6|file|5|<sha256>|a.txt\\n-6|commit\\n' |\n"
    "    payload-console --bin C:\\\\kit\\\\bin --program-files C:\\\\pf --trust-current-user\n"
    "\n"
    "Exit code 0, or 2 for a usage error.\n";

struct Options {
    zelkora::state::WellKnownLocations locations;
    bool trust_current_user = false;
};

using zelkora::payload::WorkPoint;

struct PausePoint {
    const char* name;
    WorkPoint point;
};
constexpr PausePoint kPausePoints[] = {
    {"first-backup", WorkPoint::backup_made},
    {"partial-temporary", WorkPoint::temporary_partly_written},
    {"last-rename", WorkPoint::last_file_placed},
    {"removal-moved-aside", WorkPoint::folder_moved_aside},
};
const PausePoint* pause_at = nullptr;

void pause_if_chosen(WorkPoint point) {
    if (!pause_at || point != pause_at->point) return;
    std::printf("paused at %s\n", pause_at->name);
    std::fflush(stdout);
    for (;;) ::Sleep(INFINITE);
}

bool choose_pause_point(const std::wstring& name) {
    for (const PausePoint& candidate : kPausePoints) {
        if (name == std::wstring(candidate.name, candidate.name + std::strlen(candidate.name))) {
            pause_at = &candidate;
            zelkora::payload::set_work_point_handler(pause_if_chosen);
            return true;
        }
    }
    return false;
}

bool parse_options(int argc, wchar_t** argv, Options& options) {
    const std::map<std::wstring, std::u16string zelkora::state::WellKnownLocations::*> folders = {
        {L"--bin", &zelkora::state::WellKnownLocations::setup_bin},
        {L"--program-files", &zelkora::state::WellKnownLocations::program_files},
        {L"--local-app-data", &zelkora::state::WellKnownLocations::local_app_data},
        {L"--desktop", &zelkora::state::WellKnownLocations::desktop},
        {L"--public-desktop", &zelkora::state::WellKnownLocations::public_desktop},
        {L"--common-startup", &zelkora::state::WellKnownLocations::common_startup},
    };
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--trust-current-user") {
            options.trust_current_user = true;
        } else if (option == L"--pause-at" && i + 1 < argc) {
            if (!choose_pause_point(argv[++i])) return false;
        } else if (const auto found = folders.find(option); found != folders.end() && i + 1 < argc) {
            options.locations.*(found->second) = zelkora::from_wide(argv[++i]);
        } else {
            return false;
        }
    }
    return true;
}

void print_answer(bool consumed, const std::string& reply) {
    if (!consumed) {
        std::fputs("declined\n", stdout);
    } else if (reply.empty()) {
        std::fputs("-\n", stdout);
    } else {
        std::fwrite(reply.data(), 1, reply.size(), stdout);  // the reply ends in its own line feed
    }
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    const auto trust =
        options.trust_current_user ? zelkora::payload::test_variant_trust() : zelkora::payload::product_trust();
    zelkora::payload::FileWork executor{trust.location_owners};
    zelkora::payload::PayloadContext context(options.locations, zelkora::payload::Flavour::client,
                                             std::string(zelkora::kSetupVersion),
                                             zelkora::payload::full_path_win32, executor);
    zelkora::tools::for_each_stdin_line([&](std::string_view line) {
        std::string reply;
        const bool consumed = context.handle_line(line, reply);
        print_answer(consumed, reply);
    });
    return 0;
}
