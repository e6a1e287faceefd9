#pragma once
// The hand-off record in the current user's registry: read, write, the
// setup's answers, and removal. Paths are below HKEY_CURRENT_USER.

#include <optional>
#include <string_view>

#include "state/handoff_record.h"

namespace zelkora::state {

// The record under base\{caller}, validated; nothing when any value fails.
[[nodiscard]] std::optional<HandoffRecord> read_handoff_record(std::wstring_view base, HandoffCaller caller);

// Replaces base\{caller} with the record. A record that does not validate
// writes nothing; a failed write leaves no key behind.
[[nodiscard]] bool write_handoff_record(std::wstring_view base, HandoffCaller caller, const HandoffRecord& record);

// Best effort: writes the answer into an existing base\Client key only, with
// the stage clamped to 0..6; a missing key stays missing.
void publish_outcome(std::wstring_view base, const PublishedOutcome& outcome);

// True when base\{caller} is gone afterwards, or was never there.
[[nodiscard]] bool delete_caller_subkey(std::wstring_view base, HandoffCaller caller);

// Deletes the key at path with everything below it, then each parent that is
// left without subkeys and values, up to but never including "Software".
[[nodiscard]] bool delete_record_key(std::wstring_view path);

}  // namespace zelkora::state
