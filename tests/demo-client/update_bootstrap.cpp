// The demo Client's update bootstrap, staged by Zelkora.exe under the setup's
// release name in a fresh folder below %ProgramData%\Zelkora-Updates, as a
// real updater stages its own. It starts the setup named on its command line
// with "--update" and stays alive until the setup has ended: the setup checks
// that the process that started it is this staged file.
#include <windows.h>
#include <shellapi.h>

#include "core/owners_win32.h"

namespace {

constexpr int kUsage = 2;
constexpr int kStartFailed = 3;

// Elevation goes through the shell, as it must for a setup whose manifest
// asks for administrator rights; the elevated setup still counts this
// process as its parent.
zelkora::UniqueHandle start_setup(const wchar_t* setup) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = setup;
    info.lpParameters = L"--update";
    info.nShow = SW_SHOWNORMAL;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (::ShellExecuteExW(&info) && info.hProcess) return zelkora::UniqueHandle(info.hProcess);
        ::Sleep(200);
    }
    return {};
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    const zelkora::UniqueLocalMemory arguments_memory(::CommandLineToArgvW(::GetCommandLineW(), &count));
    const auto arguments = static_cast<wchar_t**>(arguments_memory.get());
    if (!arguments || count != 2) return kUsage;
    const zelkora::UniqueHandle setup = start_setup(arguments[1]);
    if (!setup) return kStartFailed;
    ::WaitForSingleObject(setup.get(), INFINITE);
    DWORD exit_code = kStartFailed;
    ::GetExitCodeProcess(setup.get(), &exit_code);
    return static_cast<int>(exit_code);
}
