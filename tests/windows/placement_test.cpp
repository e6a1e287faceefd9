// Verified placement against real files in the Wine prefix. The Wine user is
// trusted here, since Wine reports it as the owner of every file. Links come
// from tests/wine/make-link-fixtures under C:\zelkora-links.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <vector>

#include "core/owners_win32.h"
#include "core/wide.h"
#include "file_tree.h"
#include "payload/file_primitives_win32.h"
#include "payload/placement_win32.h"

namespace {

using namespace zelkora;
using namespace zelkora::payload;

const std::wstring kLinks = L"C:\\zelkora-links";

bool mentions(const test::TreeSnapshot& tree, std::wstring_view text) {
    for (const auto& [name, bytes] : tree) {
        if (name.find(text) != std::wstring::npos) return true;
    }
    return false;
}

FileIdentity identity_of(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file ? file_identity(file.get()) : FileIdentity{};
}

FILETIME last_write_of(const std::wstring& path) {
    FILETIME time{};
    const UniqueFile file(
        ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file) ::GetFileTime(file.get(), nullptr, nullptr, &time);
    return time;
}

UniqueFile hold_open(const std::wstring& path, DWORD sharing) {
    return UniqueFile(
        ::CreateFileW(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

class Placement : public testing::Test {
public:
    test::ScratchFolder scratch;
    std::wstring bin = scratch / L"bin";
    std::wstring destination = scratch / L"dest";
    std::wstring containment = scratch.path();
    TrustedOwners owners = test::owners_with_current_user();
    PlacementHooks hooks;

    void SetUp() override {
        test::make_folders(bin);
        test::make_folders(destination);
    }

    FileEntry source(const std::wstring& relative, const std::string& bytes) const {
        test::write_file(bin + L"\\" + relative, bytes);
        return FileEntry{from_wide(relative), bytes.size(), test::sha256_of(bytes)};
    }

    PlacementPlan plan_of(std::vector<FileEntry> entries) const {
        PlacementPlan plan;
        plan.source_root = from_wide(bin);
        plan.destination = from_wide(destination);
        plan.containment_root = from_wide(containment);
        plan.entries = std::move(entries);
        return plan;
    }

    PlacementResult place(const PlacementPlan& plan) const { return place_files(plan, owners, hooks); }
};

TEST_F(Placement, CreatesFoldersAndFilesWithTheSourceBytesAndTime) {
    const auto plan = plan_of({source(L"Zelkora.exe", "program"), source(L"lib\\deep\\data.bin", std::string(5000, 'd')),
                               source(L"empty.txt", "")});
    const auto result = place(plan);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.written, 3u);
    EXPECT_EQ(result.unchanged, 0u);
    EXPECT_EQ(test::snapshot_tree(destination),
              (test::TreeSnapshot{{L"Zelkora.exe", "program"},
                                  {L"empty.txt", ""},
                                  {L"lib", "<folder>"},
                                  {L"lib\\deep", "<folder>"},
                                  {L"lib\\deep\\data.bin", std::string(5000, 'd')}}));
    const FILETIME source_time = last_write_of(bin + L"\\lib\\deep\\data.bin");
    const FILETIME target_time = last_write_of(destination + L"\\lib\\deep\\data.bin");
    EXPECT_EQ(::CompareFileTime(&source_time, &target_time), 0);
}

TEST_F(Placement, TheSamePlanAgainLeavesEveryFileUntouched) {
    const auto plan = plan_of({source(L"a.txt", "alpha"), source(L"sub\\b.txt", "beta")});
    ASSERT_TRUE(place(plan).ok);
    const auto before = test::snapshot_tree(scratch.path());
    const FileIdentity a_before = identity_of(destination + L"\\a.txt");

    const auto again = place(plan);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.written, 0u);
    EXPECT_EQ(again.unchanged, 2u);
    EXPECT_EQ(test::snapshot_tree(scratch.path()), before);
    EXPECT_EQ(identity_of(destination + L"\\a.txt"), a_before) << "an unchanged file is not rewritten";
}

TEST_F(Placement, ADifferingTargetIsReplacedWithoutLeavingABackup) {
    test::write_file(destination + L"\\same-size.txt", "OLD!");
    test::write_file(destination + L"\\longer.txt", "old and longer content");
    const auto plan = plan_of({source(L"same-size.txt", "new!"), source(L"longer.txt", "new")});
    const auto result = place(plan);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.written, 2u);
    EXPECT_EQ(test::snapshot_tree(destination),
              (test::TreeSnapshot{{L"same-size.txt", "new!"}, {L"longer.txt", "new"}}));
}

// One plan that creates folders, creates files, replaces a file and leaves
// one unchanged, and then fails on its last file in each way a file can fail.
// Afterwards everything must be as it was, byte for byte and name for name.
struct Scenario {
    Placement* fixture;
    std::wstring destination;
    PlacementPlan plan;
    std::vector<UniqueFile> held;

    FileEntry& last() { return plan.entries.back(); }
    std::wstring target(std::wstring_view relative) const { return destination + L"\\" + std::wstring(relative); }
};

struct FailurePoint {
    const char* name;
    const char* code;
    bool in_link_tree;
    std::function<void(Scenario&)> arrange;  // before the snapshot
    std::function<void(Scenario&)> hold;     // after the snapshot
};

constexpr char kLastBytes[] = "the last file";

void PrintTo(const FailurePoint& point, std::ostream* out) { *out << point.name; }

class PlacementRollback : public Placement, public testing::WithParamInterface<FailurePoint> {
protected:
    void TearDown() override {
        // The link tree is shared by every run: leave only what the fixture made.
        if (GetParam().in_link_tree) {
            for (const auto& [name, bytes] : test::snapshot_tree(kLinks + L"\\tree")) {
                if (name.find(L'\\') == std::wstring::npos && name != L"linked") test::remove_tree(kLinks + L"\\tree\\" + name);
            }
        }
    }

    Scenario build(const std::wstring& where) {
        Scenario scenario{this, where, {}, {}};
        destination = where;
        test::write_file(where + L"\\keep\\old.txt", "kept as it is");
        test::write_file(where + L"\\replace.txt", "old content");
        test::write_file(where + L"\\same.txt", "same");
        scenario.plan = plan_of({source(L"new\\deep\\created.txt", "created"),
                                 source(L"replace.txt", "new content, longer"), source(L"same.txt", "same"),
                                 source(L"keep\\added.bin", "added"), source(L"fresh\\last.txt", kLastBytes)});
        return scenario;
    }
};

INSTANTIATE_TEST_SUITE_P(
    EachFailure, PlacementRollback,
    testing::Values(
        FailurePoint{"SizeMismatch", "payload_size_mismatch", false, [](Scenario& s) { s.last().size += 1; }, {}},
        FailurePoint{"DigestMismatch", "payload_hash_mismatch", false, [](Scenario& s) { s.last().digest[0] ^= 1; },
                     {}},
        FailurePoint{"SourceMissing", "payload_source_missing", false,
                     [](Scenario& s) {
                         s.last() = s.fixture->source(L"fresh\\never-written.txt", "x");
                         ::DeleteFileW((s.fixture->bin + L"\\fresh\\never-written.txt").c_str());
                     },
                     {}},
        FailurePoint{"SourceLocked", "payload_source_busy", false, {},
                     [](Scenario& s) { s.held.push_back(hold_open(s.fixture->bin + L"\\fresh\\last.txt", 0)); }},
        FailurePoint{"SourceGrowsDuringCopy", "payload_size_mismatch", false,
                     [](Scenario& s) {
                         s.fixture->hooks.after_source_read = [](CopyBuffer& buffer, DWORD& count) {
                             if (count == sizeof(kLastBytes) - 1 &&
                                 std::string_view(reinterpret_cast<char*>(buffer.bytes), count) == kLastBytes) {
                                 buffer.bytes[count++] = std::byte{'+'};
                             }
                         };
                     },
                     {}},
        FailurePoint{"TargetBusy", "payload_target_busy", false,
                     [](Scenario& s) {
                         test::write_file(s.target(L"fresh\\last.txt"), "held open");
                     },
                     [](Scenario& s) { s.held.push_back(hold_open(s.target(L"fresh\\last.txt"), FILE_SHARE_READ)); }},
        FailurePoint{"TargetIsAFolder", "payload_target_unsafe", false,
                     [](Scenario& s) { test::write_file(s.target(L"fresh\\last.txt\\inside.txt"), "inside"); }, {}},
        FailurePoint{"TemporaryNameTaken", "payload_write_failed", false,
                     [](Scenario& s) {
                         s.fixture->hooks.random_tag = [] { return std::wstring(L"0123456789ab"); };
                         test::write_file(s.target(L"fresh\\last.txt.0123456789ab.zelkora-new"), "squatter");
                     },
                     {}},
        FailurePoint{"SourceDiffersFromAnUnchangedTarget", "payload_hash_mismatch", false,
                     [](Scenario& s) {
                         test::write_file(s.target(L"fresh\\last.txt"), kLastBytes);
                         test::write_file(s.fixture->bin + L"\\fresh\\last.txt", "THE LAST FILE");
                     },
                     {}},
        // The source is proven before the target is judged, so a package
        // fault is reported before a target fault.
        FailurePoint{"TargetIsAFolderAndDigestMismatch", "payload_hash_mismatch", false,
                     [](Scenario& s) {
                         test::write_file(s.target(L"fresh\\last.txt\\inside.txt"), "inside");
                         s.last().digest[0] ^= 1;
                     },
                     {}},
        FailurePoint{"BackupLandsElsewhere", "payload_link_refused", false,
                     [](Scenario& s) {
                         test::write_file(s.target(L"fresh\\last.txt"), "replaced by the last file");
                         s.fixture->hooks.rename_lands_at = [](const std::wstring& asked) {
                             return asked.ends_with(L".zelkora-old") ? asked + L"-elsewhere" : asked;
                         };
                     },
                     {}},
        FailurePoint{"NewFileLandsElsewhere", "payload_link_refused", false,
                     [](Scenario& s) {
                         test::write_file(s.target(L"fresh\\last.txt"), "replaced by the last file");
                         s.fixture->hooks.rename_lands_at = [](const std::wstring& asked) {
                             return asked.ends_with(L"last.txt") ? asked + L"-elsewhere" : asked;
                         };
                     },
                     {}},
        FailurePoint{"UncodedFailure", "payload_failed", false,
                     [](Scenario& s) {
                         s.fixture->hooks.after_source_read = [](CopyBuffer& buffer, DWORD& count) {
                             if (std::string_view(reinterpret_cast<char*>(buffer.bytes), count) == kLastBytes) {
                                 throw std::bad_alloc();
                             }
                         };
                     },
                     {}},
        FailurePoint{"LinkOnTheWay", "payload_link_refused", true,
                     [](Scenario& s) {
                         s.last() = s.fixture->source(L"linked\\last.txt", kLastBytes);
                     },
                     {}}),
    [](const testing::TestParamInfo<FailurePoint>& info) { return std::string(info.param.name); });

TEST_P(PlacementRollback, LeavesTheDestinationAndEverythingElseAsItWas) {
    const FailurePoint& point = GetParam();
    Scenario scenario = build(point.in_link_tree ? kLinks + L"\\tree" : scratch / L"dest");
    if (point.in_link_tree) containment = kLinks;
    scenario.plan.containment_root = from_wide(containment);
    if (point.arrange) point.arrange(scenario);
    const auto scratch_before = test::snapshot_tree(scratch.path());
    const auto links_before = test::snapshot_tree(kLinks);
    ASSERT_FALSE(links_before.empty()) << "C:\\zelkora-links is missing: run tests/wine/make-link-fixtures";
    const FileIdentity replaced_before = identity_of(scenario.target(L"replace.txt"));
    if (point.hold) point.hold(scenario);

    const auto result = place(scenario.plan);
    scenario.held.clear();

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, point.code);
    EXPECT_EQ(test::snapshot_tree(scratch.path()), scratch_before);
    EXPECT_EQ(test::snapshot_tree(kLinks), links_before);
    EXPECT_EQ(identity_of(scenario.target(L"replace.txt")), replaced_before) << "the original file is back";
}

// A deliberate choice: a target that already matches needs no temporary
// name, so a repair only reads, and a taken temporary name cannot fail a
// placement that has nothing to write.
TEST_F(Placement, AMatchingTargetNeedsNoTemporaryName) {
    const auto entry = source(L"same.txt", "same");
    test::write_file(destination + L"\\same.txt", "same");
    hooks.random_tag = [] { return std::wstring(L"0123456789ab"); };
    test::write_file(destination + L"\\same.txt.0123456789ab.zelkora-new", "squatter");
    const auto result = place(plan_of({entry}));
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.written, 0u);
    EXPECT_EQ(result.unchanged, 1u);
    EXPECT_EQ(test::snapshot_tree(destination),
              (test::TreeSnapshot{{L"same.txt", "same"}, {L"same.txt.0123456789ab.zelkora-new", "squatter"}}));
}

// What an interrupted placement left in the folders this one places into
// goes first: temporaries and backups, by their exact names. A backup whose
// target is missing goes back to its name (and is then replaced if the plan
// has the file); anything else with a similar name, and any folder the plan
// does not place into, stays as it is.
TEST_F(Placement, WorkNamesOfAnEarlierRunAreClearedWhereItPlaces) {
    const test::TreeSnapshot untouched{
        {L"folder.666666666666.zelkora-new", "<folder>"},
        {L"folder.666666666666.zelkora-new\\inside.txt", "inside"},
        {L"other", "<folder>"},
        {L"other\\x.txt.777777777777.zelkora-new", "not placed into"},
        {L"A.TXT.888888888888.ZELKORA-OLD", "not our spelling"},
        {L"sub\\e.txt.12345678901.zelkora-new", "eleven digits"},
    };
    for (const auto& [name, bytes] : untouched) {
        if (bytes == "<folder>") {
            test::make_folders(destination + L"\\" + name);
        } else {
            test::write_file(destination + L"\\" + name, bytes);
        }
    }
    test::write_file(destination + L"\\a.txt", "old a");
    test::write_file(destination + L"\\a.txt.111111111111.zelkora-old", "older a");
    test::write_file(destination + L"\\a.txt.222222222222.zelkora-new", "part of a");
    test::write_file(destination + L"\\b.txt.333333333333.zelkora-old", "old b");
    test::write_file(destination + L"\\c.txt.444444444444.zelkora-old", "old c");
    test::write_file(destination + L"\\sub\\d.txt.555555555555.zelkora-new", "part of d");

    const auto result = place(plan_of({source(L"a.txt", "new a"), source(L"b.txt", "new b"), source(L"sub\\d.txt", "d")}));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.written, 3u);
    EXPECT_EQ(result.unchanged, 0u);
    test::TreeSnapshot expected = untouched;
    expected.insert({{L"a.txt", "new a"}, {L"b.txt", "new b"}, {L"c.txt", "old c"}, {L"sub", "<folder>"},
                     {L"sub\\d.txt", "d"}});
    EXPECT_EQ(test::snapshot_tree(destination), expected);
}

// Links under work names, one to a file and one to a folder (from
// make-link-fixtures): neither the links nor what they reach are touched.
TEST_F(Placement, WorkNamedLinksAreLeftAlone) {
    destination = kLinks + L"\\stale";
    containment = kLinks;
    const auto before = test::snapshot_tree(kLinks);
    ASSERT_TRUE(before.contains(L"stale\\a.txt.0123456789ab.zelkora-old"))
        << "C:\\zelkora-links is missing: run tests/wine/make-link-fixtures";
    const auto result = place(plan_of({source(L"b.txt", "b")}));
    ::DeleteFileW((destination + L"\\b.txt").c_str());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(test::snapshot_tree(kLinks), before);
}

TEST_F(Placement, ADestinationReachedThroughALinkIsRefusedBeforeAnythingIsTouched) {
    struct Case {
        std::wstring destination;
        std::wstring containment;
    };
    const auto plan_entries = std::vector<FileEntry>{source(L"a.txt", "a"), source(L"sub\\b.txt", "b")};
    for (const Case& c : {Case{kLinks + L"\\folder-link", kLinks}, Case{kLinks + L"\\folder-link\\inner", kLinks},
                          Case{kLinks + L"\\folder-link\\inner", kLinks + L"\\folder-link\\inner"}}) {
        const auto before = test::snapshot_tree(kLinks);
        ASSERT_FALSE(before.empty()) << "C:\\zelkora-links is missing: run tests/wine/make-link-fixtures";
        destination = c.destination;
        containment = c.containment;
        const auto result = place(plan_of(plan_entries));
        EXPECT_EQ(result.error, "payload_link_refused") << testing::PrintToString(c.destination);
        EXPECT_EQ(test::snapshot_tree(kLinks), before);
    }
}

TEST_F(Placement, ASourceThatIsALinkIsRefused) {
    const std::string linked_bytes = test::read_file(kLinks + L"\\real\\file.txt").value_or("");
    ASSERT_FALSE(linked_bytes.empty()) << "C:\\zelkora-links is missing: run tests/wine/make-link-fixtures";
    bin = kLinks;
    auto plan = plan_of({FileEntry{u"file-link.txt", linked_bytes.size(), test::sha256_of(linked_bytes)}});
    const auto result = place(plan);
    EXPECT_EQ(result.error, "payload_source_invalid");
    EXPECT_TRUE(test::snapshot_tree(destination).empty());
}

TEST_F(Placement, TheProductOwnersRefuseEveryWineFolder) {
    owners = product_trusted_owners();
    const auto result = place(plan_of({source(L"a.txt", "a")}));
    EXPECT_EQ(result.error, "payload_destination_unprotected");
    EXPECT_TRUE(test::snapshot_tree(destination).empty());
}

TEST_F(Placement, AMustBeEmptyDestinationAcceptsNothingAlreadyThere) {
    auto plan = plan_of({source(L"a.txt", "a")});
    plan.destination_must_be_empty = true;
    ASSERT_TRUE(place(plan).ok);
    // Now a.txt is there, identical to the entry: still refused.
    const auto again = place(plan);
    EXPECT_EQ(again.error, "payload_destination_not_empty");
    EXPECT_EQ(test::snapshot_tree(destination), (test::TreeSnapshot{{L"a.txt", "a"}}));
}

TEST_F(Placement, TheOwnershipMarkerMustBeAPlainFile) {
    auto plan = plan_of({source(L"a.txt", "a")});
    plan.ownership_marker = u"zelkora-client.json";
    const std::wstring marker = destination + L"\\zelkora-client.json";

    EXPECT_EQ(place(plan).error, "payload_destination_unowned");
    test::make_folders(marker);
    EXPECT_EQ(place(plan).error, "payload_destination_unowned");
    ::RemoveDirectoryW(marker.c_str());
    test::write_file(marker, "{}");
    EXPECT_TRUE(place(plan).ok);
}

TEST_F(Placement, RefusesBadPlansAndMissingFoldersBeforeWriting) {
    test::write_file(scratch / L"plain-file", "x");
    struct Case {
        const char* name;
        std::function<void(PlacementPlan&)> change;
        const char* code;
    };
    const FileEntry entry = source(L"a.txt", "a");
    const std::vector<Case> cases{
        {"empty plan", [](PlacementPlan& p) { p.entries.clear(); }, "payload_request_invalid"},
        {"size above 4 GiB", [](PlacementPlan& p) { p.entries[0].size = kMaxFileSize + 1; }, "payload_request_invalid"},
        {"4 GiB exactly passes the plan check",
         [](PlacementPlan& p) { p.entries[0].size = kMaxFileSize; }, "payload_size_mismatch"},
        {"duplicate ignoring case", [&](PlacementPlan& p) { p.entries.push_back(entry); p.entries[1].relative_path = u"A.TXT"; },
         "payload_request_invalid"},
        {"relative path leaving the destination", [](PlacementPlan& p) { p.entries[0].relative_path = u"..\\a.txt"; },
         "payload_request_invalid"},
        {"relative path not normalized", [](PlacementPlan& p) { p.entries[0].relative_path = u"sub/a.txt"; },
         "payload_request_invalid"},
        {"destination with a trailing separator", [](PlacementPlan& p) { p.destination += u"\\"; }, "payload_unavailable"},
        {"destination with a dot segment", [](PlacementPlan& p) { p.destination += u"\\.\\x"; }, "payload_unavailable"},
        {"relative source root", [](PlacementPlan& p) { p.source_root = u"bin"; }, "payload_unavailable"},
        {"containment root with forward slashes",
         [](PlacementPlan& p) { p.containment_root = u"C:/users"; }, "payload_unavailable"},
        {"destination missing", [](PlacementPlan& p) { p.destination += u"\\missing"; }, "payload_destination_missing"},
        {"destination is a file",
         [&](PlacementPlan& p) { p.destination = from_wide(scratch / L"plain-file"); }, "payload_destination_missing"},
        {"source root missing", [](PlacementPlan& p) { p.source_root += u"\\missing"; }, "payload_destination_missing"},
    };
    const auto before = test::snapshot_tree(scratch.path());
    for (const Case& c : cases) {
        auto plan = plan_of({entry});
        c.change(plan);
        EXPECT_EQ(place(plan).error, c.code) << c.name;
        EXPECT_EQ(test::snapshot_tree(scratch.path()), before) << c.name;
    }
}

}  // namespace
