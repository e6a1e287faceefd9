// backends-console: runs one operation of the device or driver backend on
// this machine and prints its result. A driver for reviewers and tests.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "backends/pnp/setup_api_win32.h"
#include "backends/winfsp/machine_win32.h"
#include "core/text_encoding.h"
#include "core/wide.h"

namespace {

constexpr const char* kHelp =
    "usage: backends-console OPERATION [ARGUMENT]\n"
    "\n"
    "Runs one operation of the virtual display backend (SetupAPI) or of the\n"
    "WinFsp backend on this machine, exactly as the setup's payload context\n"
    "holds them, and prints one line with its result. A code is empty on\n"
    "success (\"code=\"), otherwise a word beginning pnp_ or winfsp_.\n"
    "\n"
    "Virtual display (ID is a device instance id such as ROOT\\DISPLAY\\0000):\n"
    "  device-state ID         state=<unknown|absent|present|foreign> status=0x<DN_ flags> problem=<n>\n"
    "  node-status ID          status=0x<DN_ flags> problem=<n>   (problem -1: unknown)\n"
    "  create-and-install INF  code=<code> instance-id=<id> reboot=<0|1>\n"
    "                          registers a node and installs its driver; changes the machine\n"
    "  relabel ID              code=<code>\n"
    "  remove ID               removed=<true|false>   (only a node with exactly our hardware id)\n"
    "\n"
    "WinFsp:\n"
    "  winfsp-version          found=<0|1> version=<major.minor.build|invalid>\n"
    "  verify-package PATH     verified=<true|false>   (pinned size and SHA-256, then the signature)\n"
    "  run-installer PATH      exit-code=<n>   (msiexec's; 4294967295 when it could not start)\n"
    "  load-check              code=<code>\n"
    "  record-installation VERSION\n"
    "                          recorded   (HKLM\\SOFTWARE\\Zelkora\\Host\\WinFsp)\n"
    "\n"
    "Exit code 0, or 2 for a usage error.\n";

using zelkora::pnp::NodeStatus;

std::string status_text(const NodeStatus& status) {
    char text[64];
    std::snprintf(text, sizeof(text), "status=0x%08lx problem=%ld", static_cast<unsigned long>(status.status),
                  static_cast<long>(status.problem));
    return text;
}

std::string version_text(const zelkora::winfsp::VersionRecord& version) {
    if (!version.valid) return "invalid";
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.build);
}

// The answer line of one operation, or nothing for a usage error.
bool run(const std::wstring& operation, const std::wstring* argument, std::string& line) {
    const zelkora::pnp::Backend& display = zelkora::pnp::setup_api();
    const zelkora::winfsp::Backend& winfsp = zelkora::winfsp::machine();
    if (argument == nullptr) {
        if (operation == L"winfsp-version") {
            const auto installed = winfsp.installed_version();
            line = "found=" + std::to_string(installed.found ? 1 : 0) + " version=" + version_text(installed.version);
        } else if (operation == L"load-check") {
            line = "code=" + winfsp.load_check();
        } else {
            return false;
        }
        return true;
    }
    const std::wstring& value = *argument;
    if (operation == L"device-state") {
        const auto state = display.device_state(value);
        line = "state=" + state.word + " " + status_text(state.status);
    } else if (operation == L"node-status") {
        line = status_text(display.node_status(value));
    } else if (operation == L"create-and-install") {
        const auto result = display.create_and_install(value);
        line = "code=" + result.code + " instance-id=" + zelkora::utf16_to_utf8(zelkora::from_wide(result.instance_id)) +
               " reboot=" + (result.reboot_required ? "1" : "0");
    } else if (operation == L"relabel") {
        line = "code=" + display.relabel(value).code;
    } else if (operation == L"remove") {
        line = std::string("removed=") + (display.remove(value) ? "true" : "false");
    } else if (operation == L"verify-package") {
        line = std::string("verified=") + (winfsp.verify_package(value) ? "true" : "false");
    } else if (operation == L"run-installer") {
        line = "exit-code=" + std::to_string(winfsp.run_installer(value));
    } else if (operation == L"record-installation") {
        winfsp.record_installation(zelkora::utf16_to_utf8(zelkora::from_wide(value)));
        line = "recorded";
    } else {
        return false;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::string line;
    const std::wstring argument = argc == 3 ? argv[2] : L"";
    if ((argc != 2 && argc != 3) || !run(argv[1], argc == 3 ? &argument : nullptr, line)) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    std::printf("%s\n", line.c_str());
    return 0;
}
