// Stands in for msiexec.exe inside the Wine prefix (Wine runs it in place of
// its builtin only with the override msiexec.exe=n). Each run appends its
// command line to C:\zelkora-msiexec\calls, writes the log file named after
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

void write_log(const std::wstring& command_line) {
    const std::wstring marker = L"/l*v \"";
    const auto start = command_line.find(marker);
    if (start == std::wstring::npos) return;
    const auto path_start = start + marker.size();
    const auto end = command_line.find(L'"', path_start);
    if (end == std::wstring::npos) return;
    std::ofstream(std::filesystem::path(command_line.substr(path_start, end - path_start))) << "stand-in msiexec log\n";
}

}  // namespace

int wmain() {
    const std::wstring command_line = ::GetCommandLineW();
    std::ofstream(std::filesystem::path(kCalls), std::ios::app | std::ios::binary) << zelkora::utf16_to_utf8(zelkora::from_wide(command_line)) << "\n";
    write_log(command_line);
    return static_cast<int>(next_answer());
}
