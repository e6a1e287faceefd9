// The demo Client, the counterpart of the seamless update: its builds carry
// their versions, and an update request leaves a hand-off record of the exact
// types and widths the setup reads, stages the bootstrap under the release
// name in a braced-GUID folder below ProgramData, starts the setup through it
// with "--update", and closes when the setup answers "ready". The setup is
// played by answering-setup.exe, which reports what it saw.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "core/owners_win32.h"
#include "core/text_encoding.h"
#include "core/wide.h"
#include "file_tree.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora;
using namespace zelkora::test;

constexpr wchar_t kRecordKey[] = L"Software\\Zelkora\\UpdateHandoff\\Client";

std::wstring demo_client_file(const std::wstring& relative) {
    return windows_path_from_env("ZELKORA_DEMO_CLIENT_DIR") + L"\\" + relative;
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

struct RegistryValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

std::optional<RegistryValue> read_value(const wchar_t* name) {
    UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
    RegistryValue value;
    value.bytes.resize(512);
    DWORD size = static_cast<DWORD>(value.bytes.size());
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()),
                           &size) != ERROR_SUCCESS) {
        return {};
    }
    value.bytes.resize(size);
    return value;
}

RegistryValue dword(DWORD number) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)}; }

RegistryValue text(const std::wstring& value) {
    return {REG_SZ, std::string(reinterpret_cast<const char*>(value.c_str()), (value.size() + 1) * sizeof(wchar_t))};
}

std::uint64_t now_as_filetime() {
    FILETIME time{};
    ::GetSystemTimeAsFileTime(&time);
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

std::string value_of(const std::string& text, const std::string& key) {
    const auto start = text.find(key + "=");
    if (start == std::string::npos) return "<missing>";
    const auto end = text.find('\n', start);
    return text.substr(start + key.size() + 1, end - start - key.size() - 1);
}

void expect_value(const wchar_t* name, const RegistryValue& expected) {
    const auto value = read_value(name);
    ASSERT_TRUE(value) << utf16_to_utf8(from_wide(name));
    EXPECT_EQ(value->type, expected.type) << utf16_to_utf8(from_wide(name));
    EXPECT_EQ(value->bytes, expected.bytes) << utf16_to_utf8(from_wide(name));
}

TEST(DemoClient, EachBuildCarriesItsVersionInResourceAndMetadata) {
    for (const std::string version : {"0.8.0", "0.9.0", "1.0.0"}) {
        SCOPED_TRACE(version);
        const std::wstring exe = demo_client_file(widen(version) + L"\\Zelkora.exe");
        DWORD ignored = 0;
        std::string block(::GetFileVersionInfoSizeW(exe.c_str(), &ignored), '\0');
        ASSERT_FALSE(block.empty());
        ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
        const int major = version[0] - '0', minor = version[2] - '0', patch = version[4] - '0';
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(minor, major)));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, patch)));
        EXPECT_EQ(read_file(demo_client_file(widen(version) + L"\\zelkora-client.json")),
                  "{\"product\": \"Zelkora\", \"version\": \"" + version + "\"}");
    }
}

struct RequestCase {
    const char* version;
    bool dark;
};

class DemoClientRequest : public testing::TestWithParam<RequestCase> {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kRecordKey);
        folder_ = L"C:\\zelkora-e2e\\demo-client";
        remove_tree(folder_);
        make_folders(folder_);
        ::SetEnvironmentVariableW(L"ZELKORA_ANSWERING_SETUP_REPORT", report_path().c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"ZELKORA_ANSWERING_SETUP_REPORT", nullptr);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kRecordKey);
        if (!staged_folder_.empty()) remove_tree(staged_folder_);
    }
    std::wstring log_path() const { return folder_ + L"\\client.log"; }
    std::wstring report_path() const { return folder_ + L"\\setup-report.txt"; }

    std::wstring folder_;
    std::wstring staged_folder_;
};

TEST_P(DemoClientRequest, LeavesTheRecordStartsTheSetupThroughTheStagedBootstrapAndClosesOnReady) {
    const RequestCase& request = GetParam();
    const std::uint64_t before = now_as_filetime();
    std::wstring arguments = L"--request-update \"" + demo_client_file(L"answering-setup.exe") + L"\" --log \"" +
                             log_path() + L"\"";
    if (request.dark) arguments += L" --dark";
    auto client = start_process(demo_client_file(widen(request.version) + L"\\Zelkora.exe"), arguments);
    ASSERT_TRUE(client);
    ASSERT_EQ(wait_for_exit(*client, 60s), 0u) << read_file(log_path()).value_or("no log");
    const std::uint64_t after = now_as_filetime();

    const std::string log = read_file(log_path()).value_or("");
    std::smatch request_line;
    ASSERT_TRUE(std::regex_search(log, request_line, std::regex("^requested token=([0-9a-f]{32}) staged=(.*)\n")))
        << log;
    const std::string token = request_line[1];
    const std::string staged = request_line[2];
    staged_folder_ = widen(staged.substr(0, staged.rfind('\\')));
    EXPECT_NE(log.find("\nanswer outcome=ready code=- stage=1\n"), std::string::npos) << log;
    EXPECT_TRUE(std::regex_match(staged, std::regex(R"(C:\\ProgramData\\Zelkora-Updates\\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-)"
                                                    R"([0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}\\)"
                                                    R"(Zelkora-1\.0\.0-windows-x64\.exe)",
                                                    std::regex::icase)))
        << staged;

    // What the setup saw: its one argument, the staged bootstrap still
    // waiting for it, and an event named after the record's token.
    const std::string report = read_file(report_path()).value_or("");
    EXPECT_EQ(value_of(report, "arguments"), "--update") << report;
    EXPECT_EQ(value_of(report, "parent"), staged) << report;
    EXPECT_EQ(value_of(report, "parent-alive"), "1") << report;
    EXPECT_EQ(value_of(report, "event-opened"), "1") << report;

    expect_value(L"Schema", dword(1));
    expect_value(L"FromVersion", text(widen(request.version)));
    expect_value(L"ToVersion", text(L"1.0.0"));
    expect_value(L"Token", text(widen(token)));
    expect_value(L"Dark", dword(request.dark ? 1 : 0));
    expect_value(L"ProcessId", dword(client->id));
    expect_value(L"Code", text(L""));
    expect_value(L"Attention", dword(0));
    expect_value(L"RestartRequired", dword(0));
    // The answer as the setup left it.
    expect_value(L"Outcome", text(L"ready"));
    expect_value(L"Stage", dword(1));

    const auto created = read_value(L"Created");
    ASSERT_TRUE(created);
    EXPECT_EQ(created->type, static_cast<DWORD>(REG_QWORD));
    ASSERT_EQ(created->bytes.size(), 8u);
    std::uint64_t created_time = 0;
    std::memcpy(&created_time, created->bytes.data(), 8);
    EXPECT_GE(created_time, before);
    EXPECT_LE(created_time, after);

    const auto bounds = read_value(L"Bounds");
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(bounds->bytes.size(), 16u);
    RECT rect{};
    std::memcpy(&rect, bounds->bytes.data(), 16);
    EXPECT_GT(rect.right - rect.left, 0);
    EXPECT_GT(rect.bottom - rect.top, 0);

    const auto placement = read_value(L"Placement");
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(placement->bytes.size(), 44u);
    UINT length = 0;
    std::memcpy(&length, placement->bytes.data(), 4);
    EXPECT_EQ(length, 44u);
}

// A setup that ends without answering (here: one that cannot be started)
// leaves the Client open, as it must stay when no update happened.
TEST(DemoClient, StaysOpenWhenTheSetupEndsWithoutAnAnswer) {
    make_folders(L"C:\\zelkora-e2e");
    const std::wstring log_path = L"C:\\zelkora-e2e\\demo-client-no-answer.log";
    ::DeleteFileW(log_path.c_str());
    auto client = start_process(demo_client_file(L"0.9.0\\Zelkora.exe"),
                                L"--request-update C:\\nowhere\\setup.exe --log " + log_path);
    ASSERT_TRUE(client);
    std::string log;
    EXPECT_TRUE(wait_until(
        [&] {
            log = read_file(log_path).value_or("");
            return log.find("\nno-answer ") != std::string::npos;
        },
        30s));
    EXPECT_NE(log.find("\nno-answer setup-ended exit=3\n"), std::string::npos) << log;
    const HWND window = wait_for_window(client->id, L"ZelkoraDemoClient", 5s);
    ASSERT_TRUE(window) << "the Client closed without an answer";
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(*client, 10s), 0u);
    const std::string staged = log.substr(log.find("staged=") + 7, log.find('\n') - log.find("staged=") - 7);
    remove_tree(widen(staged.substr(0, staged.rfind('\\'))));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kRecordKey);
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, DemoClientRequest,
                         testing::Values(RequestCase{"0.9.0", false}, RequestCase{"0.8.0", true}));

}  // namespace
