#pragma once
// Shell shortcuts built in memory through the shell's link object and
// written by the temporary-name-and-swap technique of the placed files. A
// shortcut of the same name that points elsewhere is never overwritten.

#include <windows.h>

#include <optional>
#include <string>

#include "payload/request_protocol.h"

namespace zelkora::payload {

inline constexpr std::size_t kShortcutPathUnits = 32768;

// Never raises: coded failures keep their code, anything else is
// "shortcut_write_failed".
[[nodiscard]] ShortcutResult create_shortcut(const ShortcutPlan& plan);

// Writes bytes back as the shortcut at link_path; empty on success. Never raises.
[[nodiscard]] std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes);

// The file's bytes, or nothing when there is no file. Raises "shortcut_unsafe"
// (a folder, a link, or not openable), "shortcut_unreadable" (over 1 MiB or a
// failed read) or "payload_identity_unavailable".
[[nodiscard]] std::optional<std::string> read_shortcut_file(const std::wstring& link_path);

// Writes under a temporary name beside the link and moves it into place, so
// the old shortcut stays whole until the move. Raises "shortcut_write_failed"
// or "payload_hash_unavailable".
void write_shortcut_file(const std::wstring& link_path, const std::string& bytes);

}  // namespace zelkora::payload
