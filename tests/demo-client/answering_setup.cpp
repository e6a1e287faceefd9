// Stands in for the setup in the demo Client's smoke test: it checks what a
// setup started for an update would see (its argument, the process that
// started it, the hand-off record and the event it names), writes that into
// the report file named by ZELKORA_ANSWERING_SETUP_REPORT, then answers
// "ready" at stage 1 and sets the event, as the setup does after preflight.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "core/owners_win32.h"

namespace {

using zelkora::UniqueFile;
using zelkora::UniqueHandle;
using zelkora::UniqueRegistryKey;

constexpr wchar_t kRecordKey[] = L"Software\\Zelkora\\UpdateHandoff\\Client";

DWORD parent_process_id() {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (snapshot.get() == INVALID_HANDLE_VALUE || !::Process32FirstW(snapshot.get(), &entry)) return 0;
    do {
        if (entry.th32ProcessID == ::GetCurrentProcessId()) return entry.th32ParentProcessID;
    } while (::Process32NextW(snapshot.get(), &entry));
    return 0;
}

// The parent's image path, and whether it is still running.
std::wstring describe_parent() {
    const UniqueHandle parent(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, parent_process_id()));
    if (!parent) return L"parent=none\n";
    wchar_t path[32768] = {};
    DWORD size = 32768;
    ::QueryFullProcessImageNameW(parent.get(), 0, path, &size);
    const bool alive = ::WaitForSingleObject(parent.get(), 0) == WAIT_TIMEOUT;
    return std::wstring(L"parent=") + path + L"\nparent-alive=" + (alive ? L"1" : L"0") + L"\n";
}

std::wstring read_token(HKEY key) {
    wchar_t token[65] = {};
    DWORD size = sizeof(token);
    return ::RegGetValueW(key, nullptr, L"Token", RRF_RT_REG_SZ, nullptr, token, &size) == ERROR_SUCCESS ? token : L"";
}

void write_report(const std::wstring& text) {
    wchar_t path[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"ZELKORA_ANSWERING_SETUP_REPORT", path, MAX_PATH)) return;
    const std::string bytes(text.begin(), text.end());  // the report is ASCII but for the paths in it
    UniqueFile file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    std::wstring report = std::wstring(L"arguments=") + arguments + L"\n" + describe_parent();
    UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
        write_report(report + L"record=missing\n");
        return 1;
    }
    const UniqueHandle event(
        ::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, (L"Local\\Zelkora.Update." + read_token(key.get())).c_str()));
    report += std::wstring(L"event-opened=") + (event ? L"1" : L"0") + L"\n";
    const wchar_t ready[] = L"ready";
    const DWORD stage = 1;
    ::RegSetValueExW(key.get(), L"Outcome", 0, REG_SZ, reinterpret_cast<const BYTE*>(ready), sizeof(ready));
    ::RegSetValueExW(key.get(), L"Stage", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stage), sizeof(stage));
    write_report(report);
    if (event) ::SetEvent(event.get());
    return 0;
}
