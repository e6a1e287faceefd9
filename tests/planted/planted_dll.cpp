// Stands in for a DLL somebody left in the folder the setup starts from (a
// Downloads folder). Whoever loads it leaves "<its own path>.loaded" beside it,
// holding the path of the loading program, and ends with exit code 86 before
// anything can call into this DLL, which exports nothing.
#include <windows.h>

#include <string>

#include "core/owners_win32.h"

namespace {

std::wstring module_path(HMODULE module) {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    return path;
}

void leave_marker(HMODULE self) {
    const std::wstring marker = module_path(self) + L".loaded";
    const zelkora::UniqueFile file(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    const std::wstring loader = module_path(nullptr);
    DWORD written = 0;
    ::WriteFile(file.get(), loader.data(), static_cast<DWORD>(loader.size() * sizeof(wchar_t)), &written,
                nullptr);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    leave_marker(self);
    ::TerminateProcess(::GetCurrentProcess(), 86);
    return FALSE;
}
