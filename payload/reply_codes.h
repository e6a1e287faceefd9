#pragma once
// The error codes of the payload engine, as the reply line spells them on the
// wire. Every code is named here once, so a misspelt code cannot compile.
// Portable: no <windows.h>.

#include <string_view>

namespace zelkora::payload {

// The request boundary.
inline constexpr std::string_view kRequestInvalid = "payload_request_invalid";
inline constexpr std::string_view kVersionInvalid = "payload_version_invalid";
inline constexpr std::string_view kPayloadUnavailable = "payload_unavailable";
// Whatever fails at the request boundary without a usable code of its own.
inline constexpr std::string_view kPayloadFailed = "payload_failed";

// Placement and the file primitives beneath it.
inline constexpr std::string_view kDestinationMissing = "payload_destination_missing";
inline constexpr std::string_view kDestinationNotEmpty = "payload_destination_not_empty";
inline constexpr std::string_view kDestinationUnowned = "payload_destination_unowned";
inline constexpr std::string_view kDestinationUnprotected = "payload_destination_unprotected";
inline constexpr std::string_view kDirectoryFailed = "payload_directory_failed";
inline constexpr std::string_view kHashMismatch = "payload_hash_mismatch";
inline constexpr std::string_view kHashUnavailable = "payload_hash_unavailable";
inline constexpr std::string_view kIdentityUnavailable = "payload_identity_unavailable";
inline constexpr std::string_view kLinkRefused = "payload_link_refused";
inline constexpr std::string_view kPathUnverified = "payload_path_unverified";
inline constexpr std::string_view kSizeMismatch = "payload_size_mismatch";
inline constexpr std::string_view kSourceBusy = "payload_source_busy";
inline constexpr std::string_view kSourceInvalid = "payload_source_invalid";
inline constexpr std::string_view kSourceMissing = "payload_source_missing";
inline constexpr std::string_view kSourceUnreadable = "payload_source_unreadable";
inline constexpr std::string_view kTargetBusy = "payload_target_busy";
inline constexpr std::string_view kTargetUnsafe = "payload_target_unsafe";
inline constexpr std::string_view kVerifyFailed = "payload_verify_failed";
inline constexpr std::string_view kWriteFailed = "payload_write_failed";

// Shortcuts.
inline constexpr std::string_view kShortcutFolderMissing = "shortcut_folder_missing";
inline constexpr std::string_view kShortcutForeign = "shortcut_foreign";
inline constexpr std::string_view kShortcutRestoreUnavailable = "shortcut_restore_unavailable";
inline constexpr std::string_view kShortcutTargetMissing = "shortcut_target_missing";
inline constexpr std::string_view kShortcutUnavailable = "shortcut_unavailable";
inline constexpr std::string_view kShortcutUnreadable = "shortcut_unreadable";
inline constexpr std::string_view kShortcutUnsafe = "shortcut_unsafe";
inline constexpr std::string_view kShortcutWriteFailed = "shortcut_write_failed";

// Removal of older versions and of the setup's own source folder.
inline constexpr std::string_view kLegacyFailed = "legacy_failed";
inline constexpr std::string_view kLegacyListFailed = "legacy_list_failed";
inline constexpr std::string_view kLegacyNewInstallUnverified = "legacy_new_install_unverified";
inline constexpr std::string_view kLegacyUnavailable = "legacy_unavailable";
inline constexpr std::string_view kSourceNotTemporary = "source_not_temporary";
inline constexpr std::string_view kSourceRemoveFailed = "source_remove_failed";
inline constexpr std::string_view kSourceRemoveIncomplete = "source_remove_incomplete";

}  // namespace zelkora::payload
