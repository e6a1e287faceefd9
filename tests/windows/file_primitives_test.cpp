// The file primitives on real files in the Wine prefix.
#include <gtest/gtest.h>

#include <set>

#include "core/owners_win32.h"
#include "file_tree.h"
#include "payload/failure.h"
#include "payload/file_primitives_win32.h"

namespace {

using namespace zelkora;
using namespace zelkora::payload;

std::string hex(const Sha256Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (auto byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0xF]);
    }
    return text;
}

template <typename Call>
std::string failure_code(Call call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.code();
    }
    return "no failure";
}

UniqueFile open_plain(const std::wstring& path, DWORD access, DWORD sharing = FILE_SHARE_READ | FILE_SHARE_DELETE) {
    return UniqueFile(::CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class FilePrimitives : public testing::Test {
protected:
    test::ScratchFolder scratch;
    std::wstring long_form(std::wstring_view relative) const { return L"\\\\?\\" + (scratch / relative); }
};

TEST_F(FilePrimitives, Sha256MatchesKnownDigestsAndFileDigestChecksTheLength) {
    EXPECT_EQ(hex(test::sha256_of("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(test::sha256_of("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // Longer than one 1 MiB piece, so the loop runs more than once.
    const std::string bytes(kCopyBufferSize + 3, 'z');
    test::write_file(scratch / L"big.bin", bytes);
    const UniqueFile file = open_plain(scratch / L"big.bin", GENERIC_READ);
    ASSERT_TRUE(file);
    EXPECT_EQ(file_digest(file.get(), bytes.size()), test::sha256_of(bytes));
    EXPECT_EQ(file_digest(file.get(), bytes.size() - 1), Sha256Digest{});
    EXPECT_EQ(file_digest(file.get(), bytes.size() + 1), Sha256Digest{});
}

TEST_F(FilePrimitives, RandomTagIsTwelveLowerCaseHexDigitsAndFresh) {
    std::set<std::wstring> tags;
    for (int i = 0; i < 20; ++i) {
        const std::wstring tag = random_tag();
        EXPECT_EQ(tag.size(), 12u);
        EXPECT_EQ(tag.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << testing::PrintToString(tag);
        tags.insert(tag);
    }
    EXPECT_EQ(tags.size(), 20u);
}

// The parent of a file at a volume root is the root itself, never "E:",
// which would name the drive's current folder instead.
TEST_F(FilePrimitives, ParentFolderStopsAtTheDriveRoot) {
    const struct {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"E:\\Zelkora-1.0.0-windows-x64.exe", L"E:\\"},
        {L"E:\\", L"E:\\"},
        {L"C:\\Program Files\\Zelkora", L"C:\\Program Files"},
        {L"\\\\?\\C:\\Zelkora", L"\\\\?\\C:\\"},
        {L"\\\\?\\C:\\", L"\\\\?\\C:\\"},
        {L"\\\\?\\C:\\a\\b", L"\\\\?\\C:\\a"},
        {L"name", L"name"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parent_folder(c.path), c.parent) << testing::PrintToString(std::wstring(c.path));
    }
    EXPECT_EQ(zelkora::core::join_path(parent_folder(L"E:\\setup.exe"), L"bin"), L"E:\\bin");
}

// A handle released on a failure path must not change the error the caller
// is about to report, even when closing it fails too (a stale handle here).
TEST(Owners, ResetKeepsTheLastError) {
    const HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    ASSERT_TRUE(::CloseHandle(raw));
    zelkora::UniqueHandle stale(raw);
    ::SetLastError(ERROR_SHARING_VIOLATION);
    stale.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(FilePrimitives, PathsCompareOrdinallyIgnoringCase) {
    EXPECT_TRUE(paths_equal(L"C:\\Program Files\\Zelkora", L"c:\\PROGRAM FILES\\zelkora"));
    EXPECT_TRUE(paths_equal(L"C:\\Ärger\\Ω", L"c:\\äRGER\\ω"));
    EXPECT_FALSE(paths_equal(L"C:\\a", L"C:\\a\\"));
    EXPECT_FALSE(paths_equal(L"C:\\a", L"C:\\b"));
    EXPECT_TRUE(paths_equal(L"", L""));
    PathSet set{L"C:\\A"};
    EXPECT_TRUE(set.contains(L"c:\\a"));
    EXPECT_FALSE(set.contains(L"c:\\ab"));
}

TEST_F(FilePrimitives, FinalPathAndLongPathAgreeAndResolveShortNames) {
    test::write_file(scratch / L"A Long Folder Name\\file.txt", "x");
    const UniqueFile file = open_plain(scratch / L"A Long Folder Name\\file.txt", GENERIC_READ);
    ASSERT_TRUE(file);
    const std::wstring expected = long_form(L"A Long Folder Name\\file.txt");
    EXPECT_TRUE(paths_equal(final_path(file.get()), expected)) << testing::PrintToString(final_path(file.get()));

    wchar_t short_path[MAX_PATH];
    ASSERT_GT(::GetShortPathNameW((scratch / L"A Long Folder Name\\file.txt").c_str(), short_path, MAX_PATH), 0u);
    EXPECT_TRUE(paths_equal(long_path(short_path), expected)) << testing::PrintToString(long_path(short_path));
    EXPECT_EQ(failure_code([&] { static_cast<void>(long_path(scratch / L"missing")); }), "payload_path_unverified");
}

// Windows grows the buffer past 512 units; Wine refuses such names outright
// (error 234 whatever the buffer), which must fail closed, never truncate.
TEST_F(FilePrimitives, FinalPathPastTheFirstBufferIsWholeOrRefused) {
    std::wstring deep = long_form(L"");
    deep.pop_back();
    while (deep.size() < 700) {
        deep += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
    }
    const UniqueFile folder = open_folder(deep, 0);
    std::string code = "no failure";
    std::wstring final_form;
    try {
        final_form = final_path(folder.get());
    } catch (const Failure& failure) {
        code = failure.code();
    }
    if (code == "no failure") {
        EXPECT_TRUE(paths_equal(final_form, deep)) << testing::PrintToString(final_form);
    } else {
        EXPECT_EQ(code, "payload_path_unverified");
    }
}

TEST_F(FilePrimitives, IdentityIsStablePerFileAndDiffersBetweenFiles) {
    test::write_file(scratch / L"one", "1");
    test::write_file(scratch / L"two", "2");
    const UniqueFile one = open_plain(scratch / L"one", GENERIC_READ);
    const UniqueFile one_again = open_plain(scratch / L"one", FILE_READ_ATTRIBUTES);
    const UniqueFile two = open_plain(scratch / L"two", GENERIC_READ);
    EXPECT_EQ(file_identity(one.get()), file_identity(one_again.get()));
    EXPECT_NE(file_identity(one.get()), file_identity(two.get()));

    // The volume's identities, read once for the folder, agree for files and
    // folders on that volume (NTFS here too).
    const UniqueFile folder = open_folder(scratch.path(), 0);
    const VolumeIdentities on_volume(folder.get());
    for (HANDLE object : {one.get(), two.get(), folder.get()}) {
        EXPECT_EQ(on_volume.of(object), file_identity(object));
        EXPECT_EQ(VolumeIdentities().of(object), file_identity(object));
    }
}

TEST_F(FilePrimitives, RenameByHandleNeedsALongNameAndNeverReplaces) {
    test::write_file(scratch / L"from", "from");
    test::write_file(scratch / L"taken", "taken");
    const UniqueFile file = open_plain(scratch / L"from", GENERIC_READ | DELETE);
    ASSERT_TRUE(file);
    EXPECT_FALSE(rename_by_handle(file.get(), scratch / L"to"));
    EXPECT_FALSE(rename_by_handle(file.get(), long_form(L"taken")));
    EXPECT_EQ(test::read_file(scratch / L"taken"), "taken");
    EXPECT_TRUE(rename_by_handle(file.get(), long_form(L"to")));
    EXPECT_FALSE(exists(scratch / L"from"));
    EXPECT_TRUE(paths_equal(final_path(file.get()), long_form(L"to")));
}

TEST_F(FilePrimitives, DeleteByIdentityDeletesOnlyTheRecordedObject) {
    test::write_file(scratch / L"kept", "kept");
    test::write_file(scratch / L"other", "other");
    test::make_folders(scratch / L"full\\inner");
    FileIdentity kept_identity, other_identity, full_identity;
    {
        const UniqueFile kept = open_plain(scratch / L"kept", GENERIC_READ);
        const UniqueFile other = open_plain(scratch / L"other", GENERIC_READ);
        const UniqueFile full = open_plain(scratch / L"full", GENERIC_READ);
        kept_identity = file_identity(kept.get());
        other_identity = file_identity(other.get());
        full_identity = file_identity(full.get());
    }
    EXPECT_FALSE(delete_by_identity(scratch / L"kept", other_identity));
    EXPECT_TRUE(exists(scratch / L"kept"));
    EXPECT_TRUE(delete_by_identity(scratch / L"kept", kept_identity));
    EXPECT_FALSE(exists(scratch / L"kept"));
    EXPECT_TRUE(delete_by_identity(scratch / L"kept", kept_identity)) << "an object already gone counts as done";
    EXPECT_FALSE(delete_by_identity(scratch / L"full", full_identity)) << "a folder with contents stays";
    EXPECT_TRUE(exists(scratch / L"full\\inner"));
}

TEST_F(FilePrimitives, OpenFolderAndWalkUpRefuseWhatIsNotAFolder) {
    test::write_file(scratch / L"file", "x");
    test::make_folders(scratch / L"a\\b");
    EXPECT_EQ(failure_code([&] { static_cast<void>(open_folder(scratch / L"file", 0)); }), "payload_destination_missing");
    EXPECT_EQ(failure_code([&] { static_cast<void>(open_folder(scratch / L"missing", 0)); }), "payload_destination_missing");
    EXPECT_EQ(failure_code([&] { static_cast<void>(open_folder(scratch / L"a\\b", 0)); }), "no failure");
    EXPECT_EQ(failure_code([&] { ensure_walk_up(scratch / L"a\\b", scratch.path()); }), "no failure");
    EXPECT_EQ(failure_code([&] { ensure_walk_up(scratch / L"a\\b", L""); }), "no failure");
    EXPECT_EQ(failure_code([&] { ensure_walk_up(scratch / L"a\\missing", scratch.path()); }),
              "payload_destination_missing");
    EXPECT_EQ(failure_code([&] { ensure_walk_up(scratch / L"file", scratch.path()); }),
              "payload_destination_missing");
}

TEST_F(FilePrimitives, EnsureFolderCreatesOnceAndReportsWhatItCreated) {
    test::write_file(scratch / L"file", "x");
    test::make_folders(scratch / L"existing");
    PathSet ensured;
    std::vector<std::wstring> created;
    const auto record = [&](const std::wstring& path, const FileIdentity&) { created.push_back(path); };

    // Only a folder that was there already comes back open, for listing.
    EXPECT_TRUE(ensure_folder(long_form(L"existing"), ensured, record));
    EXPECT_FALSE(ensure_folder(long_form(L"EXISTING"), ensured, record));
    EXPECT_FALSE(ensure_folder(long_form(L"new"), ensured, record));
    EXPECT_FALSE(ensure_folder(long_form(L"NEW"), ensured, record));
    EXPECT_EQ(created, std::vector<std::wstring>{long_form(L"new")});
    EXPECT_TRUE(exists(scratch / L"new"));
    EXPECT_EQ(failure_code([&] { static_cast<void>(ensure_folder(long_form(L"file"), ensured, record)); }),
              "payload_target_unsafe");
}

}  // namespace
