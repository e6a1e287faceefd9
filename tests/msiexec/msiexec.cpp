// Stands in for msiexec.exe inside the Wine prefix (Wine runs it in place of
// its builtin only with the override msiexec.exe=n). Each run appends its
// command line to C:\zelkora-msiexec\calls, and to C:\zelkora-msiexec\package
// whether it could read the package named after "/i" and whether it could
// have changed it ("read=1 change=0"); writes the log file named after
// "/l*v", and exits with the first code left in C:\zelkora-msiexec\answers
// (0 when none is left), removing it from that file.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/text_encoding.h"
#include "core/wide.h"

namespace {

const wchar_t* const kCalls = L"C:\\zelkora-msiexec\\calls";
const wchar_t* const kAnswers = L"C:\\zelkora-msiexec\\answers";
const wchar_t* const kPackage = L"C:\\zelkora-msiexec\\package";

DWORD next_answer() {
    std::ifstream in(kAnswers);
    std::string first;
    if (!in || !std::getline(in, first)) return 0;
    std::stringstream rest;
    rest << in.rdbuf();
    in.close();
    std::ofstream(kAnswers, std::ios::trunc) << rest.str();
    return static_cast<DWORD>(std::stoul(first));
}

// The quoted path after marker, empty when there is none.
std::wstring quoted_after(const std::wstring& command_line, const std::wstring& marker) {
    const auto start = command_line.find(marker);
    if (start == std::wstring::npos) return {};
    const auto path_start = start + marker.size();
    const auto end = command_line.find(L'"', path_start);
    if (end == std::wstring::npos) return {};
    return command_line.substr(path_start, end - path_start);
}

bool opens(const std::wstring& path, DWORD access, DWORD sharing) {
    const HANDLE file = ::CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

// As the real msiexec reads it, and as anyone who would swap it would open it.
void probe_package(const std::wstring& package) {
    const bool read = opens(package, GENERIC_READ, FILE_SHARE_READ);
    const bool change = opens(package, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) ||
                        opens(package, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    std::ofstream(std::filesystem::path(kPackage), std::ios::app | std::ios::binary)
        << "read=" << read << " change=" << change << "\n";
}

void write_log(const std::wstring& command_line) {
    const std::wstring log = quoted_after(command_line, L"/l*v \"");
    if (!log.empty()) std::ofstream(std::filesystem::path(log)) << "stand-in msiexec log\n";
}

}  // namespace

int wmain() {
    const std::wstring command_line = ::GetCommandLineW();
    std::ofstream(std::filesystem::path(kCalls), std::ios::app | std::ios::binary) << zelkora::utf16_to_utf8(zelkora::from_wide(command_line)) << "\n";
    probe_package(quoted_after(command_line, L"/i \""));
    write_log(command_line);
    return static_cast<int>(next_answer());
}
