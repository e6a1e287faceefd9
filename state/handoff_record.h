#pragma once
// The update hand-off record that the running Client leaves in the registry
// before a seamless update, its validation and its registry encoding, and the
// names derived from it. Portable: no <windows.h>; the registry side is
// state/handoff_registry_win32.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelkora::state {

struct HandoffRecord {
    std::string from_version;
    std::string to_version;
    std::u16string token;
    std::array<std::uint8_t, 44> placement{};
    bool has_placement = false;
    std::array<std::uint8_t, 16> bounds{};
    bool has_bounds = false;
    bool dark = false;
    std::uint32_t process_id = 0;
    std::uint64_t created = 0;  // FILETIME units; 0 = unset
    std::string outcome;
    std::string code;
    std::int32_t stage = 0;
    bool attention = false;
    bool restart_required = false;

    friend bool operator==(const HandoffRecord&, const HandoffRecord&) = default;
};

// The setup's answer in the record's Outcome, Code, Stage, Attention and
// RestartRequired values.
struct PublishedOutcome {
    std::string outcome;
    std::string code;
    std::int64_t stage = 0;  // clamped to 0..6 when written
    bool attention = false;
    bool restart_required = false;
};

enum class HandoffCaller { client, host_settings };

inline constexpr char16_t kHandoffBasePath[] = u"Software\\Zelkora\\UpdateHandoff";
inline constexpr std::size_t kHandoffTokenLength = 32;
inline constexpr std::size_t kMaxHandoffTextLength = 64;
inline constexpr std::int32_t kHighestStage = 6;

// "Client" or "HostSettings", the subkey below the base path.
std::u16string_view caller_subkey(HandoffCaller caller);

// Self-test runs keep their record under a key of their own process.
std::u16string isolated_handoff_base_path(std::uint32_t process_id);

// "Local\Zelkora.Update." and the token, unchanged.
std::u16string update_event_name(std::u16string_view token);

// Empty, "ready", "completed", "failed" or "blocked", exactly.
bool is_valid_outcome(std::string_view outcome);
// Empty or one of the eleven outcome codes, exactly.
bool is_valid_record_code(std::string_view code);
// 32 characters from 0-9 and a-f.
bool has_valid_token(std::u16string_view token);
std::int32_t clamp_stage(std::int64_t stage);

// What a record read from the registry must satisfy.
bool is_valid_record(const HandoffRecord& record);
// What a record must satisfy before it is written.
bool is_writable_record(const HandoffRecord& record);

// Registry value types, as Windows numbers them.
inline constexpr std::uint32_t kRegistryString = 1;
inline constexpr std::uint32_t kRegistryBinary = 3;
inline constexpr std::uint32_t kRegistryDword = 4;
inline constexpr std::uint32_t kRegistryQword = 11;

// The largest value the reader asks for; anything longer is invalid for
// every value of the record, so it counts as missing.
inline constexpr std::size_t kMaxRawValueBytes = 256;

struct RawValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;

    friend bool operator==(const RawValue&, const RawValue&) = default;
};

// The record's values in the order they are written.
enum class HandoffValue : std::uint8_t {
    schema,
    from_version,
    to_version,
    token,
    dark,
    process_id,
    created,
    placement,
    bounds,
    outcome,
    code,
    stage,
    attention,
    restart_required,
};
inline constexpr std::size_t kHandoffValueCount = 14;
inline constexpr std::array<std::u16string_view, kHandoffValueCount> kHandoffValueNames = {
    u"Schema", u"FromVersion", u"ToVersion", u"Token", u"Dark", u"ProcessId", u"Created",
    u"Placement", u"Bounds", u"Outcome", u"Code", u"Stage", u"Attention", u"RestartRequired",
};

// The values as found in the registry; a missing (or oversize) value is
// empty.
using RawHandoffValues = std::array<std::optional<RawValue>, kHandoffValueCount>;

// The whole record or nothing: any missing, mistyped, oversize or invalid
// value makes it absent. A placement or bounds value of the wrong type or
// size is dropped, and so is a placement whose length field is not 44.
std::optional<HandoffRecord> validate_raw_record(const RawHandoffValues& values);

// The values write_handoff_record sets, Placement and Bounds only when the
// record has them.
RawHandoffValues encode_record(const HandoffRecord& record);

// Outcome, Code, Stage (clamped), Attention and RestartRequired; the other
// values stay empty.
RawHandoffValues encode_outcome(const PublishedOutcome& outcome);

}  // namespace zelkora::state
