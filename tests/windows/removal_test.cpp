// Removal of older Client versions and of the setup's bin folder, against real
// files in the Wine prefix. The Wine user is trusted, as in the placement
// tests; the link fixture comes from tests/wine/make-link-fixtures.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "allocation_meter.h"
#include "core/owners_win32.h"
#include "core/wide.h"
#include "file_tree.h"
#include "payload/failure.h"
#include "payload/file_primitives_win32.h"
#include "payload/removal_win32.h"
#include "state/version_folders.h"

namespace {

using namespace zelkora;
using namespace zelkora::payload;

std::string metadata(const std::string& version) {
    return "{\"product\": \"Zelkora\", \"version\": \"" + version + "\"}";
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names directly below folder.
std::vector<std::wstring> names_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const auto& [name, bytes] : test::snapshot_tree(folder)) {
        if (name.find(L'\\') == std::wstring::npos) names.push_back(name);
    }
    return names;
}

class Removal : public testing::Test {
public:
    test::ScratchFolder scratch;
    std::wstring program_files = scratch / L"pf";
    std::wstring per_user = scratch / L"local";
    std::wstring new_install = program_files + L"\\Zelkora\\Client\\1.0.0";
    TrustedOwners owners = test::owners_with_current_user();

    void SetUp() override {
        test::make_folders(program_files);
        test::make_folders(per_user);
    }

    void install(const std::wstring& root, const std::string& version) const {
        const std::wstring folder = root + L"\\Zelkora\\Client\\" + std::wstring(version.begin(), version.end());
        test::write_file(folder + L"\\zelkora-client.json", metadata(version));
        test::write_file(folder + L"\\Zelkora.exe", "MZ " + version);
        test::write_file(folder + L"\\lib\\core.dll", "core " + version);
    }

    RemovalResult remove(const std::wstring& root, std::vector<std::string> keep = {},
                         const RemovalHooks& hooks = {}) const {
        return remove_versions({from_wide(root), from_wide(new_install), "1.0.0", std::move(keep)}, owners, hooks);
    }
};

void expect_counts(const RemovalResult& result, std::uint64_t removed, std::uint64_t not_removed) {
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.removed, removed);
    EXPECT_EQ(result.not_removed, not_removed);
}

void expect_failure(const RemovalResult& result, const std::string& code) {
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, code);
    EXPECT_EQ(result.removed + result.not_removed, 0u);
}

TEST_F(Removal, WithoutAClientFolderThereIsNothingToDo) {
    install(program_files, "1.0.0");
    expect_counts(remove(per_user), 0, 0);
}

TEST_F(Removal, NothingGoesBeforeTheNewInstallIsProven) {
    install(per_user, "0.8.0");
    const auto before = test::snapshot_tree(scratch.path());
    // Missing, without Zelkora.exe, with another version's metadata, a file.
    const auto unverified = [&] { EXPECT_EQ(remove(per_user).error, "legacy_new_install_unverified"); };
    unverified();
    test::write_file(new_install + L"\\zelkora-client.json", metadata("1.0.0"));
    unverified();
    test::write_file(new_install + L"\\Zelkora.exe", "MZ");
    test::write_file(new_install + L"\\zelkora-client.json", metadata("1.0.1"));
    unverified();
    test::write_file(new_install + L"\\zelkora-client.json", metadata("1.0.0"));
    test::remove_tree(L"\\\\?\\" + new_install + L"\\Zelkora.exe");
    test::make_folders(new_install + L"\\Zelkora.exe");
    unverified();
    EXPECT_EQ(test::snapshot_tree(per_user), [&] {
        test::TreeSnapshot kept;
        for (const auto& [name, bytes] : before) {
            if (name.starts_with(L"local\\")) kept[name.substr(6)] = bytes;
        }
        return kept;
    }());
}

TEST_F(Removal, AnUnprotectedNewInstallIsRefused) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    const RemovalResult result =
        remove_versions({from_wide(per_user), from_wide(new_install), "1.0.0", {}}, product_trusted_owners());
    EXPECT_EQ(result.error, "payload_destination_unprotected");
    EXPECT_TRUE(exists(per_user + L"\\Zelkora\\Client\\0.8.0\\Zelkora.exe"));
}

TEST_F(Removal, OldVersionsGoExceptTheNewAndThePreviousOne) {
    for (const char* version : {"1.0.0", "0.9.0", "0.8.0"}) install(program_files, version);
    expect_counts(remove(program_files, {"1.0.0", "0.9.0"}), 1, 0);
    EXPECT_EQ(names_in(program_files + L"\\Zelkora\\Client"), (std::vector<std::wstring>{L"0.9.0", L"1.0.0"}));
    EXPECT_EQ(test::read_file(new_install + L"\\lib\\core.dll"), "core 1.0.0");
}

TEST_F(Removal, LegacyRemovalTakesEveryPerUserVersion) {
    install(program_files, "1.0.0");
    for (const char* version : {"1.0.0", "0.9.0"}) install(per_user, version);
    test::write_file(per_user + L"\\Zelkora\\Client\\notes.txt", "a file, not a version");
    expect_counts(remove(per_user), 2, 0);
    EXPECT_EQ(names_in(per_user + L"\\Zelkora\\Client"), (std::vector<std::wstring>{L"notes.txt"}));
}

TEST_F(Removal, FoldersThatDoNotProveTheirVersionStay) {
    install(program_files, "1.0.0");
    const std::wstring client = per_user + L"\\Zelkora\\Client";
    test::make_folders(client + L"\\0.8.0");
    test::write_file(client + L"\\0.7.0\\zelkora-client.json", metadata("0.7.1"));
    test::write_file(client + L"\\0.6.0\\zelkora-client.json", "{\"product\": \"ZelkoraHost\", \"version\": \"0.6.0\"}");
    test::make_folders(client + L"\\0.5.0\\zelkora-client.json");
    test::write_file(client + L"\\tools\\zelkora-client.json", metadata("tools"));
    // White space that JSON does not know is not white space here.
    test::write_file(client + L"\\0.4.0\\zelkora-client.json", "{\"product\"\v:\"Zelkora\", \"version\": \"0.4.0\"}");
    test::write_file(client + L"\\0.3.0\\zelkora-client.json", "{\"product\": \"Zelkora\", \"version\":\f\"0.3.0\"}");
    const auto before = test::snapshot_tree(client);
    expect_counts(remove(per_user), 0, 0);
    EXPECT_EQ(test::snapshot_tree(client), before);
}

TEST_F(Removal, LeftoversOfAnEarlierRemovalAreFinished) {
    install(program_files, "1.0.0");
    const std::wstring client = per_user + L"\\Zelkora\\Client";
    // Names differing only in case are one folder, so the upper-case tag
    // comes first, alone.
    const std::vector<std::wstring> not_leftovers = {L"0.8.0.zelkora-old-0123456789AB", L"0.8.0.zelkora-old-0123456789a",
                                                     L"0.8.zelkora-old-0123456789ab"};
    for (const auto& name : not_leftovers) test::write_file(client + L"\\" + name + L"\\lib\\core.dll", "old");
    expect_counts(remove(per_user), 0, 0);
    test::remove_tree(L"\\\\?\\" + client + L"\\" + not_leftovers[0]);
    test::write_file(client + L"\\0.8.0.zelkora-old-0123456789ab\\lib\\core.dll", "old");
    expect_counts(remove(per_user), 1, 0);
    EXPECT_EQ(names_in(client), (std::vector<std::wstring>{not_leftovers[1], not_leftovers[2]}));
}

TEST_F(Removal, AFolderThatResistsStaysAsALeftoverForTheNextRemoval) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    const std::wstring client = per_user + L"\\Zelkora\\Client";
    {
        const UniqueFile held(::CreateFileW((client + L"\\0.8.0\\lib\\core.dll").c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        expect_counts(remove(per_user), 0, 1);
        const auto names = names_in(client);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_TRUE(names[0].starts_with(L"0.8.0.zelkora-old-")) << names[0];
        EXPECT_EQ(names[0].size(), 30u);
        EXPECT_EQ(test::read_file(client + L"\\" + names[0] + L"\\lib\\core.dll"), "core 0.8.0");
    }
    expect_counts(remove(per_user), 1, 0);
    EXPECT_TRUE(names_in(client).empty());
}

TEST_F(Removal, ReadOnlyFilesAndFoldersAreDeleted) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    const std::wstring version = per_user + L"\\Zelkora\\Client\\0.8.0";
    ASSERT_TRUE(::SetFileAttributesW((version + L"\\Zelkora.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::SetFileAttributesW((version + L"\\lib").c_str(), FILE_ATTRIBUTE_READONLY));
    expect_counts(remove(per_user), 1, 0);
    EXPECT_TRUE(names_in(per_user + L"\\Zelkora\\Client").empty());
}

TEST_F(Removal, ATreeDeeperThanSixtyFourLevelsIsNotRemoved) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    std::wstring deep = per_user + L"\\Zelkora\\Client\\0.8.0";
    for (int level = 0; level < kMaxDeleteDepth + 1; ++level) deep += L"\\d";
    test::write_file(deep + L"\\bottom.txt", "deep");
    expect_counts(remove(per_user), 0, 1);
    const auto names = names_in(per_user + L"\\Zelkora\\Client");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with(L"0.8.0.zelkora-old-")) << names[0];

    // Sixty-four levels below the version folder still go.
    test::remove_tree(L"\\\\?\\" + per_user + L"\\Zelkora\\Client\\" + names[0]);
    install(per_user, "0.8.0");
    deep = per_user + L"\\Zelkora\\Client\\0.8.0";
    for (int level = 0; level < kMaxDeleteDepth - 1; ++level) deep += L"\\d";
    test::write_file(deep + L"\\bottom.txt", "deep");
    expect_counts(remove(per_user), 1, 0);
}

// Wine follows the fixture's Unix link without showing a reparse point, so
// the link cannot be deleted as a link here: the final-path check refuses to
// enter or delete it, the version folder stays under its leftover name and is
// counted as not removed, and the data it points to stays. (On Windows the
// link shows as a reparse point and is deleted itself.) Every run of the
// group gives the same answer: the first moves 0.8.0 aside, later ones find
// the leftover and fail on the same link.
TEST_F(Removal, ALinkInsideAVersionFolderIsNeverFollowed) {
    install(program_files, "1.0.0");
    const std::wstring root = L"C:\\zelkora-links\\removal";
    const auto data_before = test::snapshot_tree(L"C:\\zelkora-links\\real");
    ASSERT_FALSE(data_before.empty());
    expect_counts(remove(root), 0, 1);
    const auto names = names_in(root + L"\\Zelkora\\Client");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(state::is_leftover_folder_name(from_wide(names[0]))) << names[0];
    EXPECT_EQ(test::read_file(root + L"\\Zelkora\\Client\\" + names[0] + L"\\zelkora-client.json"),
              "{\"product\":\"Zelkora\",\"version\":\"0.8.0\"}");
    EXPECT_EQ(test::snapshot_tree(L"C:\\zelkora-links\\real"), data_before);
}

// A root whose product folder is a link to the tree above: refused before
// anything below it is listed.
TEST_F(Removal, AProductFolderThatIsALinkIsRefused) {
    install(program_files, "1.0.0");
    const std::wstring client = L"C:\\zelkora-links\\removal\\Zelkora\\Client";
    const auto before = test::snapshot_tree(client);
    expect_failure(remove(L"C:\\zelkora-links\\removal-linked-root"), "payload_link_refused");
    EXPECT_EQ(test::snapshot_tree(client), before);
}

TEST_F(Removal, ARandomTagThatCannotBeDrawnFailsWithItsCode) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    const auto before = test::snapshot_tree(per_user);
    RemovalHooks hooks;
    hooks.random_tag = []() -> std::wstring { fail("payload_hash_unavailable"); };
    expect_failure(remove(per_user, {}, hooks), "payload_hash_unavailable");
    EXPECT_EQ(test::snapshot_tree(per_user), before);
}

// A removal holds one listing buffer per open level, never a whole folder's
// names: with buffers of 2 KiB, a tree of 600 long names on two levels (about
// 150 KB of names) goes with a fraction of that held at once.
TEST_F(Removal, AWideTreeIsDeletedOneListingBufferPerLevelAtATime) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    const std::wstring version = per_user + L"\\Zelkora\\Client\\0.8.0";
    std::wstring level = version;
    for (const wchar_t* folder : {L"\\a", L"\\b"}) {
        level += folder;
        for (int i = 0; i < 300; ++i) test::write_file(level + L"\\" + std::to_wstring(i) + std::wstring(120, L'f'), "");
    }
    RemovalHooks hooks;
    hooks.list_buffer_size = 2048;
    const std::size_t before = test::allocated_bytes();
    test::restart_allocation_peak();
    const RemovalResult result = remove(per_user, {}, hooks);
    const std::size_t held = test::allocation_peak() - before;
    expect_counts(result, 1, 0);
    EXPECT_TRUE(names_in(per_user + L"\\Zelkora\\Client").empty());
    // At least the buffers were seen; four levels of 2 KiB buffers and paths
    // stay far below what the names alone take.
    EXPECT_GE(held, 2u * hooks.list_buffer_size);
    EXPECT_LT(held, 48u * 1024) << "held at the peak: " << held;
    std::cout << "removal held at most " << held << " bytes\n";
}

// A listing whose entries point outside its buffer: the first entry names a
// real file, the second is broken in one way. The whole buffer is refused
// before any entry is used, so the folder stays whole under its leftover
// name and is counted as not removed.
constexpr std::size_t kEntryHeader = offsetof(FILE_FULL_DIR_INFO, FileName);

struct Listing {
    std::vector<std::byte> bytes;
    std::vector<std::size_t> offsets;
    FILE_FULL_DIR_INFO& entry(std::size_t index) {
        return *reinterpret_cast<FILE_FULL_DIR_INFO*>(bytes.data() + offsets[index]);
    }
};

// Entries laid out as the system lays them out: each at an 8-byte boundary.
Listing sound_listing(std::size_t size, const std::vector<std::wstring>& names) {
    Listing listing{std::vector<std::byte>(size), {}};
    std::size_t offset = 0;
    for (const auto& name : names) {
        listing.offsets.push_back(offset);
        auto& info = listing.entry(listing.offsets.size() - 1);
        info.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
        info.FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        std::memcpy(info.FileName, name.data(), info.FileNameLength);
        const std::size_t next = (kEntryHeader + info.FileNameLength + 7) & ~std::size_t{7};
        if (&name != &names.back()) info.NextEntryOffset = static_cast<DWORD>(next);
        offset += next;
    }
    return listing;
}

struct ListingCase {
    const char* name;
    std::function<void(Listing&)> damage;  // empty: the listing is sound
    friend void PrintTo(const ListingCase& value, std::ostream* out) { *out << value.name; }
};

class RemovalListing : public Removal, public testing::WithParamInterface<ListingCase> {};

TEST_P(RemovalListing, AnEntryOutsideTheBufferFailsThatFoldersRemoval) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    const std::wstring version = per_user + L"\\Zelkora\\Client\\0.8.0";
    test::remove_tree(L"\\\\?\\" + version + L"\\lib");
    test::remove_tree(L"\\\\?\\" + version + L"\\Zelkora.exe");
    test::write_file(version + L"\\a.txt", "kept");
    constexpr std::size_t kSize = 1024;
    RemovalHooks hooks;
    hooks.list_buffer_size = kSize;
    bool listed = false;
    hooks.list_batch = [&](HANDLE folder, FILE_INFO_BY_HANDLE_CLASS batch, void* buffer, DWORD size) -> BOOL {
        const std::wstring path = final_path(folder);
        if (path.find(L"\\0.8.0.zelkora-old-") == std::wstring::npos) {
            return ::GetFileInformationByHandleEx(folder, batch, buffer, size);
        }
        if (listed) {
            ::SetLastError(ERROR_NO_MORE_FILES);
            return FALSE;
        }
        listed = true;
        Listing listing = sound_listing(kSize, {L"a.txt", L"zelkora-client.json"});
        if (GetParam().damage) GetParam().damage(listing);
        std::memcpy(buffer, listing.bytes.data(), kSize);
        return TRUE;
    };
    const RemovalResult result = remove(per_user, {}, hooks);
    EXPECT_TRUE(listed);
    const auto names = names_in(per_user + L"\\Zelkora\\Client");
    if (!GetParam().damage) {
        expect_counts(result, 1, 0);
        EXPECT_TRUE(names.empty());
        return;
    }
    expect_counts(result, 0, 1);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(test::read_file(per_user + L"\\Zelkora\\Client\\" + names[0] + L"\\a.txt"), "kept");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemovalListing,
    testing::Values(
        ListingCase{"sound", {}},
        ListingCase{"next_entry_past_the_end", [](Listing& l) { l.entry(0).NextEntryOffset = 1024 + 8; }},
        ListingCase{"next_entry_without_room_for_its_header",
                    [](Listing& l) { l.entry(0).NextEntryOffset = 1024 - 16; }},
        ListingCase{"name_past_the_end", [](Listing& l) { l.entry(1).FileNameLength = 1024; }},
        ListingCase{"name_far_past_the_end", [](Listing& l) { l.entry(1).FileNameLength = 0xFFFFFFF0; }},
        ListingCase{"odd_name_length", [](Listing& l) { l.entry(1).FileNameLength = 3; }},
        ListingCase{"next_entry_inside_this_one", [](Listing& l) { l.entry(0).NextEntryOffset = 8; }},
        ListingCase{"next_entry_misaligned", [](Listing& l) { l.entry(0).NextEntryOffset += 4; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Removal, AClientFolderListingOutsideItsBufferFailsTheRemoval) {
    install(program_files, "1.0.0");
    install(per_user, "0.8.0");
    const auto before = test::snapshot_tree(per_user);
    RemovalHooks hooks;
    bool listed = false;
    hooks.list_batch = [&](HANDLE, FILE_INFO_BY_HANDLE_CLASS, void* buffer, DWORD size) -> BOOL {
        if (listed) {
            ::SetLastError(ERROR_NO_MORE_FILES);
            return FALSE;
        }
        listed = true;
        Listing listing = sound_listing(size, {L"0.8.0", L"0.9.0"});
        listing.entry(0).FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        listing.entry(1).FileNameLength = size;
        std::memcpy(buffer, listing.bytes.data(), size);
        return TRUE;
    };
    expect_failure(remove(per_user, {}, hooks), "legacy_list_failed");
    EXPECT_EQ(test::snapshot_tree(per_user), before);
}

TEST(SourceRemoval, OnlyAFolderInsideTheTemporaryFolderGoes) {
    test::ScratchFolder scratch;  // under the temporary folder
    const std::wstring bin = scratch / L"bin";
    test::write_file(bin + L"\\lib\\core.dll", "core");
    test::write_file(bin + L"\\Zelkora.exe", "MZ");
    ASSERT_TRUE(::SetFileAttributesW((bin + L"\\Zelkora.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    test::write_file(scratch / L"Zelkora-1.0.0-windows-x64.exe", "setup");
    EXPECT_EQ(remove_source(from_wide(bin)), "");
    EXPECT_FALSE(exists(bin));
    EXPECT_TRUE(exists(scratch / L"Zelkora-1.0.0-windows-x64.exe"));

    wchar_t temporary[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temporary), 0u);
    std::wstring temp_folder = temporary;
    temp_folder.pop_back();
    EXPECT_EQ(remove_source(from_wide(temp_folder)), "source_not_temporary");
    EXPECT_TRUE(exists(temp_folder));
    const std::wstring outside = L"C:\\zelkora-source-outside\\bin";
    test::write_file(outside + L"\\a.txt", "kept");
    EXPECT_EQ(remove_source(from_wide(outside)), "source_not_temporary");
    EXPECT_EQ(test::read_file(outside + L"\\a.txt"), "kept");
    test::remove_tree(L"\\\\?\\C:\\zelkora-source-outside");
    EXPECT_EQ(remove_source(u"C:\\bin\\."), "payload_unavailable");
    EXPECT_EQ(remove_source(u""), "payload_unavailable");
}

TEST(SourceRemoval, AFileHeldOpenMakesItIncomplete) {
    test::ScratchFolder scratch;
    const std::wstring bin = scratch / L"bin";
    test::write_file(bin + L"\\a.txt", "held");
    const UniqueFile held(
        ::CreateFileW((bin + L"\\a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(remove_source(from_wide(bin)), "source_remove_incomplete");
    EXPECT_TRUE(exists(bin + L"\\a.txt"));
}

}  // namespace
