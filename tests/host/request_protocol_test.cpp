#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "payload/failure.h"
#include "payload/request_protocol.h"

namespace {

using namespace zelkora::payload;
using zelkora::state::WellKnownLocations;

// 64 lower-case hex digits; its bytes are 0x01 0x23 ... 0xef, four times.
const std::string kDigest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::string kToken = "00112233445566778899aabbccddeeff";
const std::string kClientHeader = "-6|place-v1|client|1.0.0|-";
const std::string kCommit = "-6|commit";
const std::string kInvalid = "payload-v1|error|payload_request_invalid\n";

std::string file_line(const std::string& size, const std::string& digest, const std::string& path) {
    return "-6|file|" + size + "|" + digest + "|" + path;
}

std::string file_line(const std::string& path) { return file_line("10", kDigest, path); }

// Records each plan it is given and answers as told.
class RecordingExecutor : public PayloadExecutor {
public:
    std::vector<PlacementPlan> plans;
    PlacementResult result{true, "", 2, 1};
    std::optional<std::string> raise_code;  // raise Failure with this code
    bool raise_other = false;

    PlacementResult place(const PlacementPlan& plan) override {
        plans.push_back(plan);
        if (raise_code) throw Failure(*raise_code);
        if (raise_other) throw std::runtime_error("unexpected");
        return result;
    }

    std::vector<ShortcutPlan> shortcuts;
    std::vector<ShortcutResult> shortcut_results;  // one per request, in order; ok when run out
    ShortcutResult create_shortcut(const ShortcutPlan& plan) override {
        const std::size_t index = shortcuts.size();
        shortcuts.push_back(plan);
        return index < shortcut_results.size() ? shortcut_results[index] : ShortcutResult{true, "", false, ""};
    }

    std::vector<std::pair<std::u16string, std::string>> restores;
    std::string restore_error;
    std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes) override {
        restores.emplace_back(link_path, bytes);
        return restore_error;
    }

    std::vector<RemovalRequest> removals;
    RemovalResult removal_result{true, "", 1, 2};
    RemovalResult remove_versions(const RemovalRequest& request) override {
        removals.push_back(request);
        return removal_result;
    }

    std::vector<std::u16string> sources;
    std::string source_error;
    std::string remove_source(const std::u16string& setup_bin) override {
        sources.push_back(setup_bin);
        return source_error;
    }
};

// GetFullPathNameW stand-in: a path is its own full path unless it ends in a
// dot, which Windows strips.
std::optional<std::u16string> fake_full_path(std::u16string_view path) {
    std::u16string full(path);
    while (full.ends_with(u'.')) full.pop_back();
    return full;
}

WellKnownLocations test_locations() {
    return {u"C:\\setup\\bin", u"C:\\Program Files", u"C:\\Users\\u\\AppData\\Local",
            u"C:\\Users\\Public\\Desktop", u"C:\\ProgramData\\Startup", u"C:\\Users\\u\\Desktop"};
}

class Protocol : public testing::Test {
protected:
    RecordingExecutor executor;
    WellKnownLocations locations = test_locations();
    FullPathFunction full_path = fake_full_path;
    std::unique_ptr<PayloadContext> context;

    PayloadContext& use(Flavour flavour = Flavour::client) {
        context = std::make_unique<PayloadContext>(locations, flavour, "1.0.0", full_path, executor);
        return *context;
    }

    // Sends a line that must be consumed; gives its reply.
    std::string send(const std::string& line) {
        if (!context) use();
        std::string reply = "left over";
        EXPECT_TRUE(context->handle_line(line, reply)) << line;
        return reply;
    }

    // Sends lines that must get no reply, then a commit; gives its reply.
    std::string placement(const std::vector<std::string>& lines) {
        for (const auto& line : lines) EXPECT_EQ(send(line), "") << line;
        return send(kCommit);
    }
};

TEST_F(Protocol, ClientPlacementHandsTheWholePlanToTheExecutor) {
    const std::string reply = placement({kClientHeader, file_line("7", kDigest, "A/B\\c.txt"),
                                         file_line("4294967296", kDigest, "\xed\x95\x9c.exe")});
    EXPECT_EQ(reply, "payload-v1|ok|2|1\n");
    ASSERT_EQ(executor.plans.size(), 1u);
    const PlacementPlan& plan = executor.plans[0];
    EXPECT_EQ(plan.source_root, u"C:\\setup\\bin");
    EXPECT_EQ(plan.destination, u"C:\\Program Files\\Zelkora\\Client\\1.0.0");
    EXPECT_EQ(plan.containment_root, u"C:\\Program Files");
    EXPECT_EQ(plan.ownership_marker, u"zelkora-client.json");
    EXPECT_FALSE(plan.destination_must_be_empty);
    EXPECT_TRUE(plan.protection_checks);
    ASSERT_EQ(plan.entries.size(), 2u);
    EXPECT_EQ(plan.entries[0].relative_path, u"A\\B\\c.txt");
    EXPECT_EQ(plan.entries[0].size, 7u);
    EXPECT_EQ(plan.entries[1].relative_path, u"\uD55C.exe");
    EXPECT_EQ(plan.entries[1].size, 4294967296u);
    const Sha256Digest expected = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0x01, 0x23, 0x45,
                                   0x67, 0x89, 0xab, 0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab,
                                   0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    EXPECT_EQ(plan.entries[0].digest, expected);
    EXPECT_FALSE(context->placement_open());
}

TEST_F(Protocol, HostStagePlacementInAHostContext) {
    use(Flavour::host);
    EXPECT_EQ(placement({"-6|place-v1|host-stage|1.0.0|" + kToken, file_line("x")}), "payload-v1|ok|2|1\n");
    ASSERT_EQ(executor.plans.size(), 1u);
    const PlacementPlan& plan = executor.plans[0];
    EXPECT_EQ(plan.destination, u"C:\\Program Files\\Zelkora\\Host\\.stage-1.0.0-" +
                                    std::u16string(kToken.begin(), kToken.end()) + u"\\bin");
    EXPECT_EQ(plan.source_root, u"C:\\setup\\bin");
    EXPECT_EQ(plan.containment_root, u"");
    EXPECT_EQ(plan.ownership_marker, u"");
    EXPECT_TRUE(plan.destination_must_be_empty);
    EXPECT_TRUE(plan.protection_checks);
}

TEST_F(Protocol, DriveRootProgramFilesGivesNoDoubledSeparator) {
    locations.program_files = u"C:\\";
    EXPECT_EQ(placement({kClientHeader, file_line("x")}), "payload-v1|ok|2|1\n");
    ASSERT_EQ(executor.plans.size(), 1u);
    EXPECT_EQ(executor.plans[0].destination, u"C:\\Zelkora\\Client\\1.0.0");
}

struct HeaderCase {
    const char* name;
    Flavour flavour;
    std::string header;
    std::string code;
};

class HeaderValidation : public Protocol, public testing::WithParamInterface<HeaderCase> {};

// A bad header is answered only at the commit, and no file work is asked for.
TEST_P(HeaderValidation, RefusesAtCommit) {
    use(GetParam().flavour);
    EXPECT_EQ(placement({GetParam().header, file_line("x")}), "payload-v1|error|" + GetParam().code + "\n");
    EXPECT_TRUE(executor.plans.empty());
    EXPECT_FALSE(context->placement_open());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderValidation,
    testing::Values(
        HeaderCase{"short_version", Flavour::client, "-6|place-v1|client|1.0|-", "payload_version_invalid"},
        HeaderCase{"four_components", Flavour::client, "-6|place-v1|client|1.0.0.0|-", "payload_version_invalid"},
        HeaderCase{"equal_value_other_bytes", Flavour::client, "-6|place-v1|client|01.0.0|-", "payload_version_invalid"},
        HeaderCase{"other_version", Flavour::client, "-6|place-v1|client|1.0.1|-", "payload_version_invalid"},
        HeaderCase{"version_before_product", Flavour::client, "-6|place-v1|other|x|-", "payload_version_invalid"},
        HeaderCase{"client_token_not_dash", Flavour::client, "-6|place-v1|client|1.0.0|--", "payload_request_invalid"},
        HeaderCase{"product_word_case", Flavour::client, "-6|place-v1|Client|1.0.0|-", "payload_request_invalid"},
        HeaderCase{"host_stage_in_client", Flavour::client, "-6|place-v1|host-stage|1.0.0|" + kToken, "payload_request_invalid"},
        HeaderCase{"client_in_host", Flavour::host, "-6|place-v1|client|1.0.0|-", "payload_request_invalid"},
        HeaderCase{"token_upper_case", Flavour::host, "-6|place-v1|host-stage|1.0.0|00112233445566778899AABBCCDDEEFF", "payload_request_invalid"},
        HeaderCase{"token_too_short", Flavour::host, "-6|place-v1|host-stage|1.0.0|" + kToken.substr(1), "payload_request_invalid"},
        HeaderCase{"four_fields", Flavour::client, "-6|place-v1|client|1.0.0", "payload_request_invalid"},
        HeaderCase{"six_fields", Flavour::client, kClientHeader + "|", "payload_request_invalid"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Protocol, HeaderNeedsUsableBinAndProgramFilesFolders) {
    const std::u16string bad_folders[] = {u"", u"C:\\Program Files\\", u"Program Files", u"C:\\Program Files."};
    for (const auto& folder : bad_folders) {
        for (const bool bin : {true, false}) {
            locations = test_locations();
            (bin ? locations.setup_bin : locations.program_files) = folder;
            use();
            executor.plans.clear();
            EXPECT_EQ(placement({kClientHeader, file_line("x")}), "payload-v1|error|payload_unavailable\n")
                << std::string(folder.begin(), folder.end()) << (bin ? " as bin" : " as program files");
            EXPECT_TRUE(executor.plans.empty());
        }
    }
    // The version is checked first, and local application data is not needed.
    locations = test_locations();
    locations.program_files.clear();
    use();
    EXPECT_EQ(placement({"-6|place-v1|client|2.0.0|-"}), "payload-v1|error|payload_version_invalid\n");
    locations = test_locations();
    locations.local_app_data.clear();
    use();
    EXPECT_EQ(placement({kClientHeader, file_line("x")}), "payload-v1|ok|2|1\n");
}

struct FileCase {
    const char* name;
    std::string line;
    bool accepted;
};

class FileLines : public Protocol, public testing::WithParamInterface<FileCase> {};

TEST_P(FileLines, AcceptOrFailTheCommit) {
    const std::string reply = placement({kClientHeader, GetParam().line});
    EXPECT_EQ(reply, GetParam().accepted ? "payload-v1|ok|2|1\n" : kInvalid);
    EXPECT_EQ(executor.plans.size(), GetParam().accepted ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileLines,
    testing::Values(
        FileCase{"largest_size", file_line("4294967296", kDigest, "a"), true},
        FileCase{"zero_size", file_line("0", kDigest, "a"), true},
        FileCase{"twelve_digit_size", file_line("000000000001", kDigest, "a"), true},
        FileCase{"size_too_large", file_line("4294967297", kDigest, "a"), false},
        FileCase{"thirteen_digit_small_size", file_line("0000000000001", kDigest, "a"), false},
        FileCase{"empty_size", file_line("", kDigest, "a"), false},
        FileCase{"signed_size", file_line("+1", kDigest, "a"), false},
        FileCase{"spaced_size", file_line(" 1", kDigest, "a"), false},
        FileCase{"upper_case_digest", file_line("1", "0123456789ABCDEF" + kDigest.substr(16), "a"), false},
        FileCase{"short_digest", file_line("1", kDigest.substr(1), "a"), false},
        FileCase{"long_digest", file_line("1", kDigest + "0", "a"), false},
        FileCase{"non_hex_digest", file_line("1", "g" + kDigest.substr(1), "a"), false},
        FileCase{"unsafe_path", file_line("a/../b"), false},
        FileCase{"empty_path", file_line(""), false},
        FileCase{"invalid_utf8_path", file_line("a\xff"), false},
        FileCase{"overlong_utf8_path", file_line("a\xc0\xaf"), false},
        FileCase{"encoded_nul_path", file_line(std::string("a\0b", 3)), false},
        FileCase{"four_fields", "-6|file|1|" + kDigest, false},
        FileCase{"six_fields", file_line("a") + "|", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Protocol, PathsThatDifferOnlyInLetterCaseAreOnePath) {
    EXPECT_EQ(placement({kClientHeader, file_line("Dir/a.txt"), file_line("dir\\A.TXT")}), kInvalid);
    EXPECT_EQ(placement({kClientHeader, file_line("\xc3\x84.txt"), file_line("\xc3\xa4.txt")}), kInvalid);
    EXPECT_TRUE(executor.plans.empty());
    // The set belongs to one placement: the next may name the same path.
    EXPECT_EQ(placement({kClientHeader, file_line("Dir/a.txt")}), "payload-v1|ok|2|1\n");
}

TEST_F(Protocol, EntryLimitIsOneHundredThousand) {
    // Sent without an assertion per line, which would dominate the run time.
    const auto send_files = [&](int count) {
        send(kClientHeader);
        std::string reply;
        int replies = 0;
        for (int i = 0; i < count; ++i) {
            context->handle_line(file_line("f" + std::to_string(i)), reply);
            replies += !reply.empty();
        }
        EXPECT_EQ(replies, 0);
        return send(kCommit);
    };
    EXPECT_EQ(send_files(100000), "payload-v1|ok|2|1\n");
    ASSERT_EQ(executor.plans.size(), 1u);
    EXPECT_EQ(executor.plans[0].entries.size(), 100000u);
    EXPECT_EQ(executor.plans[0].entries.back().relative_path, u"f99999");
    EXPECT_EQ(send_files(100001), kInvalid);
    EXPECT_EQ(executor.plans.size(), 1u);
}

TEST_F(Protocol, FirstErrorInsideAPlacementIsTheOneReported) {
    EXPECT_EQ(placement({"-6|place-v1|client|9.9.9|-", file_line("a//b"), kClientHeader}),
              "payload-v1|error|payload_version_invalid\n");
    EXPECT_EQ(placement({kClientHeader, file_line("a//b"), file_line("fine")}), kInvalid);
    EXPECT_TRUE(executor.plans.empty());
    // The error was cleared by the commit that reported it.
    EXPECT_EQ(placement({kClientHeader, file_line("fine")}), "payload-v1|ok|2|1\n");
}

TEST_F(Protocol, CommitOutsideAPlacementChangesNothing) {
    EXPECT_EQ(send(kCommit), kInvalid);
    EXPECT_EQ(send(kCommit), kInvalid);
    EXPECT_EQ(placement({kClientHeader, file_line("a")}), "payload-v1|ok|2|1\n");
    EXPECT_EQ(executor.plans.size(), 1u);
}

TEST_F(Protocol, CommitWithAnotherFieldCountLeavesThePlacementOpen) {
    send(kClientHeader);
    send(file_line("a"));
    EXPECT_EQ(send("-6|commit|now"), kInvalid);
    EXPECT_EQ(send("-6|commit|a|b|c|d|e|f"), kInvalid);
    EXPECT_TRUE(context->placement_open());
    EXPECT_TRUE(executor.plans.empty());
    EXPECT_EQ(send(file_line("b")), "");
    EXPECT_EQ(send(kCommit), "payload-v1|ok|2|1\n");
    ASSERT_EQ(executor.plans.size(), 1u);
    EXPECT_EQ(executor.plans[0].entries.size(), 2u);
}

TEST_F(Protocol, AnyOtherRequestInsideAPlacementIsHeldBackAsInvalid) {
    const std::string intruders[] = {kClientHeader, "-6|shortcut-restore-v1|client", "-6|", "-6|unknown"};
    for (const auto& intruder : intruders) {
        EXPECT_EQ(placement({kClientHeader, file_line("a"), intruder, file_line("b")}), kInvalid) << intruder;
    }
    EXPECT_TRUE(executor.plans.empty());
}

TEST_F(Protocol, FileLineOutsideAPlacementIsAnsweredAtOnce) {
    EXPECT_EQ(send(file_line("a")), kInvalid);
    EXPECT_FALSE(context->placement_open());
}

TEST_F(Protocol, OneTrailingCarriageReturnIsRemoved) {
    EXPECT_EQ(placement({kClientHeader + "\r", file_line("a\r")}), "payload-v1|ok|2|1\n");
    ASSERT_EQ(executor.plans.size(), 1u);
    EXPECT_EQ(executor.plans[0].entries[0].relative_path, u"a");
    EXPECT_EQ(send("-6|\r"), kInvalid);
    send(kClientHeader);
    EXPECT_EQ(send("-6|commit\r"), "payload-v1|ok|2|1\n");
    // A second carriage return stays part of the verb.
    send(kClientHeader);
    EXPECT_EQ(send("-6|commit\r\r"), "");
    EXPECT_EQ(send(kCommit), kInvalid);
}

TEST_F(Protocol, LinesThatAreNoRequestsAreDeclined) {
    use();
    for (const std::string line : {"5|text", "", "-6", "-60|x", " -6|x", "6|-6|commit", "-5|preflight-complete-v1"}) {
        std::string reply = "left over";
        EXPECT_FALSE(context->handle_line(line, reply)) << line;
        EXPECT_EQ(reply, "") << line;
    }
    send(kClientHeader);
    std::string reply;
    EXPECT_FALSE(context->handle_line("3|progress inside a placement", reply));
    EXPECT_EQ(send(file_line("a")), "");
    EXPECT_EQ(send(kCommit), "payload-v1|ok|2|1\n");
}

TEST_F(Protocol, RequestsWithoutAVerbOrWithAnUnknownOneAreInvalid) {
    for (const std::string line : {"-6|", "-6||", "-6|place-v2|client|1.0.0|-", "-6|PLACE-V1|client|1.0.0|-",
                                   "-6|commit|", "-6|shortcut-restore-v1|client|x", "-6|shortcut-restore-v1|host"}) {
        EXPECT_EQ(send(line), kInvalid) << line;
    }
    EXPECT_FALSE(context->placement_open());
}

TEST_F(Protocol, RestoreWithoutABackupIsUnavailable) {
    EXPECT_EQ(send("-6|shortcut-restore-v1|client"), "payload-v1|error|shortcut_restore_unavailable\n");
    use(Flavour::host);
    EXPECT_EQ(send("-6|shortcut-restore-v1|client"), kInvalid);
}

TEST_F(Protocol, ShortcutChecksTheVersionBeforeTheKind) {
    for (const std::string line : {"-6|shortcut-v1|client|1.0", "-6|shortcut-v1|client|1.0.0.0",
                                   "-6|shortcut-v1|client|1.0.1", "-6|shortcut-v1|other|1.0"}) {
        EXPECT_EQ(send(line), "payload-v1|error|payload_version_invalid\n") << line;
    }
    for (const std::string line : {"-6|shortcut-v1|other|1.0.0", "-6|shortcut-v1|host-tray|1.0.0",
                                   "-6|shortcut-v1|host-settings|1.0.0", "-6|shortcut-v1|client|1.0.0|x"}) {
        EXPECT_EQ(send(line), kInvalid) << line;
    }
    use(Flavour::host);
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), kInvalid);
    EXPECT_TRUE(executor.shortcuts.empty());
}

TEST_F(Protocol, ClientShortcutPlan) {
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|ok\n");
    ASSERT_EQ(executor.shortcuts.size(), 1u);
    const ShortcutPlan& plan = executor.shortcuts[0];
    EXPECT_EQ(plan.link_path, u"C:\\Users\\u\\Desktop\\Zelkora.lnk");
    EXPECT_EQ(plan.product_root, u"C:\\Program Files\\Zelkora\\Client");
    EXPECT_EQ(plan.target, u"C:\\Program Files\\Zelkora\\Client\\1.0.0\\Zelkora.exe");
    EXPECT_FALSE(plan.has_arguments);
    EXPECT_EQ(plan.working_folder, u"C:\\Program Files\\Zelkora\\Client\\1.0.0");
    EXPECT_EQ(plan.description, u"Zelkora \uD074\uB77C\uC6B0\uB4DC \uB370\uC2A4\uD06C\uD1B1");
    EXPECT_EQ(plan.icon, plan.target);
    EXPECT_EQ(plan.alternative_root, u"C:\\Users\\u\\AppData\\Local\\Zelkora\\Client");
}

TEST_F(Protocol, HostShortcutPlans) {
    use(Flavour::host);
    EXPECT_EQ(send("-6|shortcut-v1|host-settings|1.0.0"), "payload-v1|ok\n");
    EXPECT_EQ(send("-6|shortcut-v1|host-tray|1.0.0"), "payload-v1|ok\n");
    ASSERT_EQ(executor.shortcuts.size(), 2u);
    const std::u16string bin = u"C:\\Program Files\\Zelkora\\Host\\1.0.0\\bin";
    const ShortcutPlan& settings = executor.shortcuts[0];
    EXPECT_EQ(settings.link_path, u"C:\\Users\\Public\\Desktop\\Zelkora Host \uC124\uC815.lnk");
    EXPECT_EQ(settings.target, bin + u"\\ZelkoraHostSettings.exe");
    EXPECT_EQ(settings.arguments, u"--host-settings");
    const ShortcutPlan& tray = executor.shortcuts[1];
    EXPECT_EQ(tray.link_path, u"C:\\ProgramData\\Startup\\Zelkora Host Tray.lnk");
    EXPECT_EQ(tray.target, bin + u"\\ZelkoraHost.exe");
    EXPECT_EQ(tray.icon, bin + u"\\ZelkoraHostSettings.exe");
    for (const ShortcutPlan& plan : executor.shortcuts) {
        EXPECT_EQ(plan.product_root, u"C:\\Program Files\\Zelkora\\Host");
        EXPECT_TRUE(plan.has_arguments);
        EXPECT_EQ(plan.working_folder, bin);
        EXPECT_EQ(plan.alternative_root, u"");
    }
    // No backup in a host context.
    EXPECT_EQ(send("-6|shortcut-restore-v1|client"), kInvalid);
}

TEST_F(Protocol, ShortcutNeedsProgramFilesAndUsesThePerUserRootOnlyWhenUsable) {
    locations.program_files.clear();
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|error|payload_unavailable\n");
    EXPECT_TRUE(executor.shortcuts.empty());
    locations = test_locations();
    locations.local_app_data.clear();
    use();
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|ok\n");
    ASSERT_EQ(executor.shortcuts.size(), 1u);
    EXPECT_EQ(executor.shortcuts[0].alternative_root, u"");
    // An empty desktop is the link path's problem, which the file work reports.
    locations.desktop.clear();
    use();
    send("-6|shortcut-v1|client|1.0.0");
    EXPECT_EQ(executor.shortcuts.back().link_path, u"\\Zelkora.lnk");
}

TEST_F(Protocol, RestoreBringsBackTheShortcutFromBeforeTheFirstRequest) {
    executor.shortcut_results = {{true, "", true, "first"}, {true, "", true, "second"}};
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|ok\n");
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|ok\n");
    EXPECT_EQ(send("-6|shortcut-restore-v1|client"), "payload-v1|ok\n");
    ASSERT_EQ(executor.restores.size(), 1u);
    EXPECT_EQ(executor.restores[0].first, u"C:\\Users\\u\\Desktop\\Zelkora.lnk");
    EXPECT_EQ(executor.restores[0].second, "first");
    executor.restore_error = "shortcut_write_failed";
    EXPECT_EQ(send("-6|shortcut-restore-v1|client"), "payload-v1|error|shortcut_write_failed\n");
}

TEST_F(Protocol, OnlyAFirstSuccessfulShortcutThatReplacedOneLeavesABackup) {
    // A failed request is no first shortcut; a created one (nothing replaced)
    // is, and then nothing can be restored for the rest of the connection.
    executor.shortcut_results = {{false, "shortcut_foreign", false, ""}, {true, "", false, ""}, {true, "", true, "x"}};
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|error|shortcut_foreign\n");
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|ok\n");
    EXPECT_EQ(send("-6|shortcut-v1|client|1.0.0"), "payload-v1|ok\n");
    EXPECT_EQ(send("-6|shortcut-restore-v1|client"), "payload-v1|error|shortcut_restore_unavailable\n");
    EXPECT_TRUE(executor.restores.empty());
}

TEST_F(Protocol, RemovalsCheckTheirVersionsAndFolders) {
    const std::string version_invalid = "payload-v1|error|payload_version_invalid\n";
    for (const std::string line : {"-6|legacy-remove-v1|client|1.0", "-6|legacy-remove-v1|client|1.0.1",
                                   "-6|old-remove-v1|client|1.0.1|0.9.0", "-6|old-remove-v1|client|1.0.0|0.9",
                                   "-6|old-remove-v1|client|1.0.0|"}) {
        EXPECT_EQ(send(line), version_invalid) << line;
    }
    for (const std::string line : {"-6|legacy-remove-v1|host|1.0.0", "-6|legacy-remove-v1|client|1.0.0|x",
                                   "-6|old-remove-v1|client|1.0.0", "-6|source-remove-v1|client|x",
                                   "-6|source-remove-v1|host"}) {
        EXPECT_EQ(send(line), kInvalid) << line;
    }
    use(Flavour::host);
    EXPECT_EQ(send("-6|legacy-remove-v1|client|1.0.0"), kInvalid);
    EXPECT_EQ(send("-6|source-remove-v1|client"), kInvalid);
    EXPECT_TRUE(executor.removals.empty());
    EXPECT_TRUE(executor.sources.empty());

    const std::string unavailable = "payload-v1|error|payload_unavailable\n";
    locations.local_app_data.clear();
    use();
    EXPECT_EQ(send("-6|legacy-remove-v1|client|1.0.0"), unavailable);
    EXPECT_EQ(send("-6|old-remove-v1|client|1.0.0|0.9.0"), "payload-v1|ok|1|2\n");
    locations = test_locations();
    locations.program_files = u"C:\\Program Files.";
    use();
    EXPECT_EQ(send("-6|legacy-remove-v1|client|1.0.0"), unavailable);
    EXPECT_EQ(send("-6|old-remove-v1|client|1.0.0|0.9.0"), unavailable);
    EXPECT_EQ(executor.removals.size(), 1u);
}

TEST_F(Protocol, RemovalsNameTheirRootNewInstallAndKeepList) {
    EXPECT_EQ(send("-6|legacy-remove-v1|client|1.0.0"), "payload-v1|ok|1|2\n");
    EXPECT_EQ(send("-6|old-remove-v1|client|1.0.0|000.9.0"), "payload-v1|ok|1|2\n");
    ASSERT_EQ(executor.removals.size(), 2u);
    const std::u16string new_install = u"C:\\Program Files\\Zelkora\\Client\\1.0.0";
    EXPECT_EQ(executor.removals[0].root, u"C:\\Users\\u\\AppData\\Local");
    EXPECT_EQ(executor.removals[0].new_install, new_install);
    EXPECT_EQ(executor.removals[0].version, "1.0.0");
    EXPECT_TRUE(executor.removals[0].keep.empty());
    EXPECT_EQ(executor.removals[1].root, u"C:\\Program Files");
    EXPECT_EQ(executor.removals[1].new_install, new_install);
    EXPECT_EQ(executor.removals[1].keep, (std::vector<std::string>{"1.0.0", "000.9.0"}));
    executor.removal_result = {false, "legacy_new_install_unverified", 0, 0};
    EXPECT_EQ(send("-6|legacy-remove-v1|client|1.0.0"), "payload-v1|error|legacy_new_install_unverified\n");
}

TEST_F(Protocol, SourceRemovalTakesTheSetupBinFolder) {
    EXPECT_EQ(send("-6|source-remove-v1|client"), "payload-v1|ok\n");
    executor.source_error = "source_not_temporary";
    EXPECT_EQ(send("-6|source-remove-v1|client"), "payload-v1|error|source_not_temporary\n");
    EXPECT_EQ(executor.sources, (std::vector<std::u16string>{u"C:\\setup\\bin", u"C:\\setup\\bin"}));
}

// Answers "custom" for the verb "x" and records every call.
class RecordingExtension : public RequestExtension {
public:
    explicit RecordingExtension(std::vector<std::vector<std::string>>& calls) : calls_(calls) {}
    bool handle(std::span<const std::string_view> fields, std::string& reply) override {
        calls_.emplace_back(fields.begin(), fields.end());
        if (fields[1] != "x") return false;
        reply = "custom\n";
        return true;
    }

private:
    std::vector<std::vector<std::string>>& calls_;
};

TEST_F(Protocol, ExtensionSeesUnmatchedRequestsWithAtMostSevenFields) {
    std::vector<std::vector<std::string>> calls;
    use().set_request_extension(std::make_unique<RecordingExtension>(calls));
    EXPECT_EQ(send("-6|x|2|3|4|5|6|7|8"), "custom\n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"-6", "x", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(send("-6|y"), kInvalid);
    EXPECT_EQ(send("-6|shortcut-restore-v1|host"), kInvalid);
    EXPECT_EQ(calls.size(), 3u);
    // Matched verbs and everything inside a placement never reach it.
    EXPECT_EQ(send("-6|shortcut-restore-v1|client"), "payload-v1|error|shortcut_restore_unavailable\n");
    EXPECT_EQ(placement({kClientHeader, "-6|x"}), kInvalid);
    EXPECT_EQ(send(kCommit), kInvalid);
    EXPECT_EQ(calls.size(), 3u);
}

struct ExecutorCase {
    const char* name;
    PlacementResult result;
    std::optional<std::string> raise_code;
    bool raise_other;
    std::string reply;
};

class ExecutorOutcomes : public Protocol, public testing::WithParamInterface<ExecutorCase> {};

TEST_P(ExecutorOutcomes, BecomeOneReplyLine) {
    executor.result = GetParam().result;
    executor.raise_code = GetParam().raise_code;
    executor.raise_other = GetParam().raise_other;
    EXPECT_EQ(placement({kClientHeader, file_line("a")}), GetParam().reply);
    EXPECT_FALSE(context->placement_open());
    // The context is ready for the next placement, with a fresh plan.
    executor.result = {true, "", 0, 0};
    executor.raise_code.reset();
    executor.raise_other = false;
    EXPECT_EQ(placement({kClientHeader, file_line("a")}), "payload-v1|ok|0|0\n");
    EXPECT_EQ(executor.plans.back().entries.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExecutorOutcomes,
    testing::Values(
        ExecutorCase{"large_counts", {true, "", 18446744073709551615u, 10}, {}, false,
                     "payload-v1|ok|18446744073709551615|10\n"},
        ExecutorCase{"reported_error", {false, "payload_hash_unavailable", 0, 0}, {}, false,
                     "payload-v1|error|payload_hash_unavailable\n"},
        ExecutorCase{"error_without_code", {false, "", 0, 0}, {}, false, "payload-v1|error|payload_failed\n"},
        ExecutorCase{"failure_raised", {}, "payload_link_refused", false, "payload-v1|error|payload_link_refused\n"},
        ExecutorCase{"failure_code_breaking_the_line", {}, "bad|code\n", false, "payload-v1|error|payload_failed\n"},
        ExecutorCase{"other_exception", {}, {}, true, "payload-v1|error|payload_failed\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A failure while handling a line that gets no reply must not produce one,
// or the script would read it as the answer to its next request.
TEST_F(Protocol, FailureOnASilentLineIsHeldUntilTheCommit) {
    full_path = [](std::u16string_view) -> std::optional<std::u16string> { throw std::runtime_error("x"); };
    use();
    EXPECT_EQ(placement({kClientHeader, file_line("a")}), "payload-v1|error|payload_failed\n");
    EXPECT_TRUE(executor.plans.empty());
}

}  // namespace
