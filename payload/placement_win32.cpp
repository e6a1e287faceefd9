#include "payload/placement_win32.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/scope_exit.h"
#include "core/wide.h"
#include "payload/failure.h"
#include "payload/reply_codes.h"
#include "payload/full_path_win32.h"
#include "payload/path_rules.h"
#include "payload/removal_win32.h"

namespace zelkora::payload {

namespace {

enum class JournalKind { created_folder, created_file, replaced_file };

struct JournalEntry {
    JournalKind kind = JournalKind::created_file;
    std::wstring path;
    std::wstring backup_path;
    FileIdentity new_identity;
    FileIdentity old_identity;
    bool new_in_place = false;
};

struct PendingFile {
    std::wstring path;
    FileIdentity identity;
};

// Everything one placement did, in order, so it can be undone or made final.
class Journal {
public:
    std::optional<PendingFile> pending;
    // How every identity in the journal is read, when recorded and when
    // compared.
    VolumeIdentities identities;

    void add(JournalEntry entry) { entries_.push_back(std::move(entry)); }
    JournalEntry& last() { return entries_.back(); }

    // Success: the backups of replaced files go.
    void finish() noexcept {
        for (const auto& entry : entries_) {
            if (entry.kind == JournalKind::replaced_file) try_step([&] { return delete_backup(entry); });
        }
        clear();
    }

    // Failure: best effort, every step tried even after others failed.
    void roll_back() noexcept {
        if (pending) try_step([&] { return delete_by_identity(pending->path, pending->identity, identities); });
        for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
            try_step([&] { return undo(*entry); });
        }
        clear();
    }

private:
    std::vector<JournalEntry> entries_;

    // A step that fails leaves its object where it is (a backup under its
    // ".zelkora-old" name, for one); the steps after it are still tried.
    template <typename Step>
    static void try_step(Step step) noexcept {
        try {
            [[maybe_unused]] const bool done = step();
        } catch (...) {
        }
    }

    void clear() noexcept {
        entries_.clear();
        pending.reset();
    }

    bool delete_backup(const JournalEntry& entry) const {
        const UniqueFile backup = open_for_delete(entry.backup_path);
        return backup && identities.of(backup.get()) == entry.old_identity && delete_by_handle(backup.get());
    }

    bool undo(const JournalEntry& entry) const {
        if (entry.kind != JournalKind::replaced_file) return delete_by_identity(entry.path, entry.new_identity, identities);
        // The old file only goes back once the new one has left its name.
        if (entry.new_in_place && !delete_by_identity(entry.path, entry.new_identity, identities)) return false;
        const UniqueFile backup = open_for_delete(entry.backup_path);
        return backup && identities.of(backup.get()) == entry.old_identity &&
               rename_by_handle(backup.get(), entry.path);
    }
};

struct FileNames {
    std::wstring source;
    std::wstring target;
    std::wstring temporary;
    std::wstring backup;
};

class Placement {
public:
    Placement(const PlacementPlan& plan, const TrustedOwners& owners, const PlacementHooks& hooks)
        : plan_(plan), owners_(owners), hooks_(hooks) {}

    PlacementResult run() noexcept {
        PlacementResult result;
        try {
            prepare();
            buffer_ = make_copy_buffer();
            clear_earlier_work(destination_folder_.get(), destination_);
            for (const auto& entry : plan_.entries) place_one_file(entry);
            reached(WorkPoint::last_file_placed);
            journal_.finish();
            result.ok = true;
            result.written = written_;
            result.unchanged = unchanged_;
            return result;
        } catch (const Failure& failure) {
            result.error = failure.code();
        } catch (...) {
            result.error = kPayloadFailed;
        }
        journal_.roll_back();
        return result;
    }

private:
    const PlacementPlan& plan_;
    const TrustedOwners& owners_;
    const PlacementHooks& hooks_;
    Journal journal_;
    std::wstring source_root_;  // final paths
    std::wstring destination_;
    UniqueFile destination_folder_;
    std::wstring tag_;
    PathSet ensured_folders_;
    std::unique_ptr<CopyBuffer> buffer_;
    std::uint64_t written_ = 0;
    std::uint64_t unchanged_ = 0;

    void prepare() {
        check_plan();
        const std::wstring destination = to_wide(plan_.destination);
        const UniqueFile source_root = open_folder(to_wide(plan_.source_root), FILE_LIST_DIRECTORY);
        source_root_ = final_path(source_root.get());
        ensure_walk_up(destination, to_wide(plan_.containment_root));
        destination_folder_ = open_folder(destination, READ_CONTROL | FILE_LIST_DIRECTORY);
        destination_ = final_path(destination_folder_.get());
        // Refuses any junction, link or short-name alias on the way.
        if (!paths_equal(destination_, long_path(destination))) fail(kLinkRefused);
        // Everything the placement records lies below the destination, so on
        // the destination's volume.
        journal_.identities = VolumeIdentities(destination_folder_.get());
        if (plan_.protection_checks) check_protection(destination_folder_.get(), destination);
        if (!plan_.ownership_marker.empty()) check_ownership_marker();
        if (plan_.destination_must_be_empty) check_destination_empty();
        tag_ = hooks_.random_tag ? hooks_.random_tag() : random_tag();
    }

    void check_plan() const {
        const auto& entries = plan_.entries;
        if (entries.empty() || entries.size() > kMaxPlanEntries) fail(kRequestInvalid);
        PathSet seen;
        for (const auto& entry : entries) {
            if (entry.size > kMaxFileSize) fail(kRequestInvalid);
            // The protocol normalizes paths already; a plan from anywhere else
            // must not reach outside the destination either.
            const auto normalized = normalize_relative_path(entry.relative_path);
            if (!normalized || *normalized != entry.relative_path) fail(kRequestInvalid);
            if (!seen.insert(to_wide(entry.relative_path)).second) fail(kRequestInvalid);
        }
        if (!passes_absolute_rule(plan_.source_root) || !passes_absolute_rule(plan_.destination) ||
            (!plan_.containment_root.empty() && !passes_absolute_rule(plan_.containment_root))) {
            fail(kPayloadUnavailable);
        }
    }

    void check_protection(HANDLE folder, const std::wstring& destination) const {
        require_protected_location(folder, owners_);
        const UniqueFile parent = open_folder(parent_folder(destination), READ_CONTROL | FILE_LIST_DIRECTORY);
        require_protected_location(parent.get(), owners_);
    }

    void check_ownership_marker() const {
        const std::wstring marker = join_path(destination_, to_wide(plan_.ownership_marker));
        if (!open_unlinked(marker, ObjectKind::file)) fail(kDestinationUnowned);
    }

    void check_destination_empty() const {
        const std::wstring pattern = join_path(destination_, L"*");
        WIN32_FIND_DATAW found{};
        const UniqueFind search(
            ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
        if (!search) fail(kDestinationNotEmpty);
        do {
            const std::wstring_view name = found.cFileName;
            if (name != L"." && name != L"..") fail(kDestinationNotEmpty);
        } while (::FindNextFileW(search.get(), &found));
        if (::GetLastError() != ERROR_NO_MORE_FILES) fail(kDestinationNotEmpty);
    }

    FileNames names_for(const FileEntry& entry) const {
        const std::wstring relative = to_wide(entry.relative_path);
        FileNames names;
        names.source = join_path(source_root_, relative);
        names.target = join_path(destination_, relative);
        names.temporary = names.target + L"." + tag_ + L".zelkora-new";
        names.backup = names.target + L"." + tag_ + L".zelkora-old";
        return names;
    }

    void ensure_folders_of(const std::wstring& relative) {
        const auto record = [this](const std::wstring& path, const FileIdentity& identity) {
            journal_.add({.kind = JournalKind::created_folder,
                          .path = path,
                          .backup_path = {},
                          .new_identity = identity,
                          .old_identity = {},
                          .new_in_place = false});
        };
        for (std::size_t cut = relative.find(L'\\'); cut != std::wstring::npos; cut = relative.find(L'\\', cut + 1)) {
            const std::wstring folder = join_path(destination_, relative.substr(0, cut));
            if (const UniqueFile existing = ensure_folder(folder, ensured_folders_, record, journal_.identities)) {
                clear_earlier_work(existing.get(), folder);
            }
        }
    }

    // A placement that was interrupted (the process ended from outside, a
    // crash, a power cut) leaves its temporary files and backups beside their
    // targets; the next placement into the same folder clears them before it
    // places anything there. Only plain files with exactly those names go,
    // each by handle. A backup whose target is missing goes back to its name,
    // as the rollback of that placement would have done: the folder then never
    // lacks a file that was there before, even if this placement fails too,
    // and the plan replaces it like any other differing target.
    void clear_earlier_work(HANDLE folder, const std::wstring& path) const {
        // Collected first and cleared after the listing, which must not meet
        // names that change under it.
        std::vector<std::pair<std::wstring, WorkName>> found;
        try {
            visit_folder(folder, {}, [&](const FolderEntry& entry) {
                if (is_folder(entry.attributes) || is_reparse_point(entry.attributes)) return true;
                auto work = parse_work_name(from_wide(entry.name));
                // A name with this placement's own tag is not from an earlier run.
                if (work && to_wide(work->tag) != tag_) found.emplace_back(entry.name, std::move(*work));
                return true;
            });
        } catch (const Failure&) {
            fail(kDirectoryFailed);
        }
        for (const auto& [name, work] : found) clear_work_file(path, name, work);
    }

    // Best effort: a file that cannot go (held open by someone) stays for the
    // next placement, and this one goes on.
    static void clear_work_file(const std::wstring& folder, const std::wstring& name, const WorkName& work) noexcept {
        try {
            const std::wstring path = join_path(folder, name);
            const UniqueFile file = open_for_delete(path);
            if (!file) return;
            const DWORD attributes = file_attributes(file.get());
            if (is_folder(attributes) || is_reparse_point(attributes) || !paths_equal(final_path(file.get()), path)) {
                return;
            }
            // The rename never replaces: a target that is there keeps its name.
            if (work.kind == WorkNameKind::backup && rename_by_handle(file.get(), join_path(folder, to_wide(work.original)))) {
                return;
            }
            [[maybe_unused]] const bool deleted = delete_by_handle(file.get());
        } catch (...) {
        }
    }

    // An existing target that already matches is checked before anything is
    // written, so placing the same plan again only reads: the source is still
    // read and proven against the entry, but no temporary file is made. A
    // target that cannot be used is refused only after the source has been
    // copied and proven, so a package fault is reported before a target fault.
    void place_one_file(const FileEntry& entry) {
        ensure_folders_of(to_wide(entry.relative_path));
        const FileNames names = names_for(entry);
        const UniqueFile source = open_source(names.source, entry.size);
        const ExistingTarget target = open_existing_target(names.target);
        if (target.file && target.refusal.empty() && matches_entry(target.file.get(), entry)) {
            copy_with_digest(source.get(), nullptr, entry);
            ++unchanged_;
            return;
        }
        // Only a file that is written takes the source's time; the source is
        // open without write sharing, so its time cannot change meanwhile.
        FILETIME last_write{};
        const bool have_last_write = ::GetFileTime(source.get(), nullptr, nullptr, &last_write) != FALSE;
        const UniqueFile temporary = create_temporary(names.temporary);
        copy_with_digest(source.get(), temporary.get(), entry);
        if (have_last_write) ::SetFileTime(temporary.get(), nullptr, nullptr, &last_write);
        if (!::FlushFileBuffers(temporary.get())) fail(kWriteFailed);
        if (file_digest(temporary.get(), entry.size, *buffer_) != entry.digest) fail(kVerifyFailed);
        if (!target.refusal.empty()) fail(target.refusal);
        if (target.file) {
            replace_target(target.file.get(), temporary.get(), names);
        } else {
            move_temporary_onto(temporary.get(), names.target);
            journal_.add({.kind = JournalKind::created_file,
                          .path = names.target,
                          .backup_path = {},
                          .new_identity = journal_.pending->identity,
                          .old_identity = {},
                          .new_in_place = false});
            journal_.pending.reset();
            ++written_;
        }
    }

    static UniqueFile open_source(const std::wstring& name, std::uint64_t expected_size) {
        UniqueFile source(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!source) {
            fail(::GetLastError() == ERROR_SHARING_VIOLATION ? kSourceBusy : kSourceMissing);
        }
        const DWORD attributes = file_attributes(source.get());
        if (is_folder(attributes) || is_reparse_point(attributes) || !paths_equal(final_path(source.get()), name)) {
            fail(kSourceInvalid);
        }
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(source.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != expected_size) {
            fail(kSizeMismatch);
        }
        return source;
    }

    UniqueFile create_temporary(const std::wstring& name) {
        UniqueFile temporary(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!temporary) fail(kWriteFailed);
        // Until its identity is recorded and its path proven, only this handle
        // can find the new file again.
        ScopeExit delete_unproven([&] { forget_pending_if_deleted(temporary.get()); });
        journal_.pending = PendingFile{name, journal_.identities.of(temporary.get())};
        if (!paths_equal(final_path(temporary.get()), name)) fail(kLinkRefused);
        delete_unproven.release();
        return temporary;
    }

    // Without a temporary file it only proves the source against the entry.
    void copy_with_digest(HANDLE source, HANDLE temporary, const FileEntry& entry) {
        Sha256 hash;
        std::uint64_t total = 0;
        for (;;) {
            DWORD count = 0;
            if (!::ReadFile(source, buffer_->bytes, static_cast<DWORD>(kCopyBufferSize), &count, nullptr)) {
                fail(kSourceUnreadable);
            }
            if (hooks_.after_source_read) hooks_.after_source_read(*buffer_, count);
            if (count == 0) break;
            total += count;
            if (total > entry.size) fail(kSizeMismatch);
            hash.add(buffer_->bytes, count);
            if (!temporary) continue;
            DWORD written = 0;
            if (!::WriteFile(temporary, buffer_->bytes, count, &written, nullptr) || written != count) {
                fail(kWriteFailed);
            }
            if (total < entry.size) reached(WorkPoint::temporary_partly_written);
        }
        if (total != entry.size) fail(kSizeMismatch);
        if (hash.finish() != entry.digest) fail(kHashMismatch);
    }

    struct ExistingTarget {
        UniqueFile file;  // invalid when there is no target yet
        std::string_view refusal;  // why the target cannot be used; empty when it can
    };

    // Held open (without write sharing) until the file is placed, so the
    // target cannot change meanwhile.
    ExistingTarget open_existing_target(const std::wstring& name) const {
        ExistingTarget target;
        target.file.reset(::CreateFileW(name.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
        if (!target.file) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND) {
                target.refusal = error == ERROR_SHARING_VIOLATION ? kTargetBusy : kTargetUnsafe;
            }
            return target;
        }
        if (plan_.destination_must_be_empty) {
            target.refusal = kDestinationNotEmpty;
            return target;
        }
        const DWORD attributes = file_attributes(target.file.get());
        if (is_folder(attributes) || is_reparse_point(attributes) ||
            !paths_equal(final_path(target.file.get()), name)) {
            target.refusal = kTargetUnsafe;
        }
        return target;
    }

    bool matches_entry(HANDLE target, const FileEntry& entry) {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(target, &size) || static_cast<std::uint64_t>(size.QuadPart) != entry.size) return false;
        return file_digest(target, entry.size, *buffer_) == entry.digest;
    }

    void replace_target(HANDLE target, HANDLE temporary, const FileNames& names) {
        // Journaled before the move, so that a move which lands somewhere
        // unexpected is still put back.
        journal_.add({.kind = JournalKind::replaced_file,
                      .path = names.target,
                      .backup_path = names.backup,
                      .new_identity = {},
                      .old_identity = journal_.identities.of(target),
                      .new_in_place = false});
        if (!move_aside(target, names)) fail(kTargetBusy);
        reached(WorkPoint::backup_made);
        move_temporary_onto(temporary, names.target);
        JournalEntry& replaced = journal_.last();
        replaced.new_identity = journal_.pending->identity;
        replaced.new_in_place = true;
        journal_.pending.reset();
        ++written_;
    }

    // A backup that lands anywhere but its name goes straight back through
    // the handle that moved it: the rollback finds backups by name only.
    bool move_aside(HANDLE target, const FileNames& names) const {
        try {
            return rename_to(target, names.backup);
        } catch (...) {
            // One that cannot come back stays where it landed; the failure
            // raised here is what the script sees either way.
            [[maybe_unused]] const bool back = put_back(target, names.target);
            throw;
        }
    }

    static bool put_back(HANDLE file, const std::wstring& name) noexcept {
        try {
            return rename_by_handle(file, name);
        } catch (...) {
            return false;
        }
    }

    bool rename_to(HANDLE file, const std::wstring& asked) const {
        if (!hooks_.rename_lands_at) return rename_by_handle(file, asked);
        if (!rename_by_handle(file, hooks_.rename_lands_at(asked))) return false;
        if (!paths_equal(final_path(file), asked)) fail(kLinkRefused);
        return true;
    }

    // A move that ends up elsewhere than asked deletes the file it moved, as
    // the pending entry can no longer find it by name.
    void move_temporary_onto(HANDLE temporary, const std::wstring& target) {
        ScopeExit delete_misplaced([&] { forget_pending_if_deleted(temporary); });
        const bool moved = rename_to(temporary, target);
        delete_misplaced.release();
        if (!moved) fail(kWriteFailed);
    }

    // A temporary file that cannot be deleted stays pending, under the name
    // where it really is, so the rollback tries again.
    void forget_pending_if_deleted(HANDLE temporary) noexcept {
        if (delete_by_handle(temporary)) {
            journal_.pending.reset();
            return;
        }
        try {
            if (const auto where = core::final_path(temporary); where && journal_.pending) journal_.pending->path = *where;
        } catch (...) {
        }
    }
};

}  // namespace

PlacementResult place_files(const PlacementPlan& plan, const TrustedOwners& owners, const PlacementHooks& hooks) {
    return Placement(plan, owners, hooks).run();
}

}  // namespace zelkora::payload
