// A setup ended from outside in the middle of its file work (Task Manager, a
// crash, a power cut): payload-console is stopped at a named point of the
// work and killed there, and the same requests then run again in a new
// process. The second run must answer ok, leave the Client's folder equal to
// bin byte for byte, and leave no work name of either run anywhere.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/owners_win32.h"
#include "core/path_join.h"
#include "core/wide.h"
#include "console_session.h"
#include "file_tree.h"
#include "setup_version.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora;

std::string hex_of(const payload::Sha256Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0xF]);
    }
    return text;
}

// Bytes that differ from file to file and from version to version.
std::string content(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + (i >> 12));
    return bytes;
}

// Names with the size and digest of each file, so that a difference shows
// briefly instead of as megabytes of bytes.
std::map<std::wstring, std::string> fingerprint(const test::TreeSnapshot& tree) {
    std::map<std::wstring, std::string> prints;
    for (const auto& [name, bytes] : tree) {
        prints[name] = std::to_string(bytes.size()) + " " + hex_of(test::sha256_of(bytes)).substr(0, 16);
    }
    return prints;
}

// Placement's temporary and backup names, and removal's leftover folders.
std::vector<std::wstring> work_names_in(const test::TreeSnapshot& tree) {
    std::vector<std::wstring> found;
    for (const auto& [name, bytes] : tree) {
        if (name.find(L".zelkora-") != std::wstring::npos) found.push_back(name);
    }
    return found;
}

// Sends every request line to a console; gives the answers it printed.
std::string ask_all(test::ConsoleSession& console, const std::vector<std::string>& requests) {
    std::string answers;
    for (const auto& line : requests) answers += console.ask(line);
    return answers;
}

class InterruptedWork : public testing::Test {
public:
    test::ScratchFolder scratch;
    std::wstring bin = scratch / L"bin";
    std::wstring program_files = scratch / L"pf";
    std::wstring client = program_files + L"\\Zelkora\\Client";
    std::wstring destination = client + L"\\1.0.0";
    std::vector<std::string> requests;

    std::wstring arguments(const std::wstring& extra = L"") const {
        std::wstring text = L"--bin \"" + bin + L"\" --program-files \"" + program_files + L"\" --trust-current-user";
        return extra.empty() ? text : text + L" " + extra;
    }

    // A file of the package in bin and its "file" request; the Client's folder
    // holds an older file of the same name.
    void package_file(const std::wstring& relative, std::size_t size, char seed) {
        const std::string bytes = content(size, seed);
        test::write_file(bin + L"\\" + relative, bytes);
        test::write_file(destination + L"\\" + relative, content(size + 3, static_cast<char>(seed + 1)));
        requests.push_back("-6|file|" + std::to_string(bytes.size()) + "|" + hex_of(test::sha256_of(bytes)) + "|" +
                           std::string(relative.begin(), relative.end()));
    }

    // Version 0.9.0 replaced by 1.0.0 in place: every file differs, and the
    // large ones take several reads each.
    void SetUp() override {
        requests = {"-6|place-v1|client|1.0.0|-"};
        package_file(L"Zelkora.exe", 2621440, 'a');
        package_file(L"zelkora-client.json", 48, 'j');
        package_file(L"lib\\core.dll", 2621440, 'c');
        package_file(L"lib\\data\\assets.pak", 2097152, 'p');
        package_file(L"readme.txt", 100, 'r');
        requests.push_back("-6|commit");
    }
};

struct KillPoint {
    const char* name;  // as --pause-at takes it
    // What the killed run left in the Client's folder, so the case proves
    // that there was something to clear.
    std::function<void(const test::TreeSnapshot& left)> check_left;
    std::uint64_t written;
    std::uint64_t unchanged;
};

void PrintTo(const KillPoint& point, std::ostream* out) { *out << point.name; }

bool has_suffix(const test::TreeSnapshot& tree, std::wstring_view suffix) {
    for (const auto& [name, bytes] : tree) {
        if (name.ends_with(suffix)) return true;
    }
    return false;
}

const KillPoint kKillPoints[] = {
    // The old Zelkora.exe is under its backup name and the new one still
    // under its temporary name: the Client has no Zelkora.exe at all. The
    // backup goes back first, then it is replaced like any older file.
    {"first-backup",
     [](const test::TreeSnapshot& left) {
         EXPECT_FALSE(left.contains(L"Zelkora.exe"));
         EXPECT_TRUE(has_suffix(left, L".zelkora-old"));
         EXPECT_TRUE(has_suffix(left, L".zelkora-new"));
     },
     5, 0},
    // One read of Zelkora.exe is in its temporary file.
    {"partial-temporary",
     [](const test::TreeSnapshot& left) {
         bool partial = false;
         for (const auto& [name, bytes] : left) {
             partial |= name.ends_with(L".zelkora-new") && !bytes.empty() && bytes.size() < 2621440;
         }
         EXPECT_TRUE(partial);
     },
     5, 0},
    // Every new file is in place; the five backups were never deleted.
    {"last-rename",
     [](const test::TreeSnapshot& left) {
         std::size_t backups = 0;
         for (const auto& [name, bytes] : left) backups += name.ends_with(L".zelkora-old");
         EXPECT_EQ(backups, 5u);
     },
     0, 5},
};

class PlacementKilled : public InterruptedWork, public testing::WithParamInterface<KillPoint> {};

INSTANTIATE_TEST_SUITE_P(AtEachPoint, PlacementKilled, testing::ValuesIn(kKillPoints),
                         [](const testing::TestParamInfo<KillPoint>& info) {
                             std::string name = info.param.name;
                             std::erase(name, '-');
                             return name;
                         });

TEST_P(PlacementKilled, TheNextRunClearsWhatItLeft) {
    const KillPoint& point = GetParam();
    const std::wstring pause(point.name, point.name + std::strlen(point.name));
    test::ConsoleSession killed(arguments(L"--pause-at " + pause));
    ASSERT_TRUE(killed.started());
    const std::string paused = ask_all(killed, requests);
    killed.kill();
    ASSERT_TRUE(paused.ends_with("paused at " + std::string(point.name) + "\n")) << paused;
    point.check_left(test::snapshot_tree(destination));

    test::ConsoleSession again(arguments());
    std::string expected;
    for (std::size_t i = 1; i < requests.size(); ++i) expected += "-\n";
    expected += "payload-v1|ok|" + std::to_string(point.written) + "|" + std::to_string(point.unchanged) + "\n";
    EXPECT_EQ(ask_all(again, requests), expected);
    EXPECT_EQ(fingerprint(test::snapshot_tree(destination)), fingerprint(test::snapshot_tree(bin)));
    EXPECT_EQ(work_names_in(test::snapshot_tree(scratch.path())), std::vector<std::wstring>{});
}

std::string metadata(const std::string& version) {
    return "{\"product\": \"Zelkora\", \"version\": \"" + version + "\"}";
}

// old-remove-v1 renames 0.8.0 aside and is killed before it deletes it; the
// next removal deletes the leftover and counts it as removed.
TEST_F(InterruptedWork, ARemovalKilledBetweenRenameAndDeleteIsFinishedByTheNext) {
    for (const std::string version : {"1.0.0", "0.9.0", "0.8.0"}) {
        const std::wstring folder = client + L"\\" + std::wstring(version.begin(), version.end());
        test::write_file(folder + L"\\zelkora-client.json", metadata(version));
        test::write_file(folder + L"\\Zelkora.exe", "MZ " + version);
        test::write_file(folder + L"\\lib\\core.dll", "core " + version);
    }
    const std::string remove_old = "-6|old-remove-v1|client|1.0.0|0.9.0";

    test::ConsoleSession killed(arguments(L"--pause-at removal-moved-aside"));
    const std::string paused = killed.ask(remove_old);
    killed.kill();
    ASSERT_EQ(paused, "paused at removal-moved-aside\n");
    const auto left = test::snapshot_tree(client);
    EXPECT_FALSE(left.contains(L"0.8.0"));
    ASSERT_FALSE(work_names_in(left).empty()) << "0.8.0 is under its leftover name";

    test::ConsoleSession again(arguments());
    EXPECT_EQ(again.ask(remove_old), "payload-v1|ok|1|0\n");
    const auto after = test::snapshot_tree(client);
    EXPECT_EQ(work_names_in(after), std::vector<std::wstring>{});
    EXPECT_TRUE(after.contains(L"1.0.0\\Zelkora.exe"));
    EXPECT_TRUE(after.contains(L"0.9.0\\Zelkora.exe"));
}


// The installer script's side, with the stand-in PowerShell: once the setup
// has died the pipe is broken, so the request the script is waiting on and
// its next write fail at once, and the script runs to its end instead of
// waiting for ever.
TEST(SetupKilled, TheScriptsPendingRequestAndNextWritesFailAtOnce) {
    test::ScratchFolder folder;
    const std::wstring setup = core::join_path(folder.path(), to_wide(kSetupFileName));
    ASSERT_TRUE(::CopyFileW(test::setup_exe_path().c_str(), setup.c_str(), FALSE)) << ::GetLastError();
    // A progress line gets no reply, so the request holds the script there
    // until the pipe breaks.
    test::write_file(folder / L"Install-Client.ps1",
                     "transcript transcript.txt\n"
                     "send 0|준비\n"
                     "request 1|파일 확인\n"
                     "send 2|배치\n"
                     "request -6|commit\n"
                     "exit 0\n");
    const auto transcript = [&] { return test::read_file(folder / L"transcript.txt").value_or(""); };
    auto started = test::start_process(setup, L"");
    ASSERT_TRUE(started) << ::GetLastError();
    const HWND window = test::wait_for_window(started->id, L"ZelkoraProductSetup028", 15s);
    ASSERT_NE(window, nullptr);
    test::press_button(window, 1);
    const HWND dialog = test::wait_for_window(started->id, L"ZelkoraSetupConfirmation", 10s);
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(test::wait_until([&] { return transcript().find("sent 1|파일 확인\n") != std::string::npos; }, 30s))
        << transcript();

    ::TerminateProcess(started->process.get(), 1);
    ASSERT_TRUE(test::wait_until([&] { return transcript().ends_with("exit 0\n"); }, 20s)) << transcript();
    // The read sees ERROR_BROKEN_PIPE, the writes after it ERROR_NO_DATA (the
    // pipe is being closed), as on Windows; PowerShell raises both as "pipe
    // is broken".
    const std::string after_kill = transcript().substr(transcript().find("sent 1|파일 확인\n"));
    EXPECT_EQ(after_kill,
              "sent 1|파일 확인\n"
              "no-reply broken-pipe\n"
              "send-failed pipe-closing: sent 2|배치\n"
              "send-failed pipe-closing: sent -6|commit\n"
              "exit 0\n");
}

}  // namespace
