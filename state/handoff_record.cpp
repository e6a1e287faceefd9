#include "state/handoff_record.h"

#include <algorithm>
#include <cstring>

#include "core/outcome_codes.h"
#include "state/version.h"

namespace zelkora::state {
namespace {

constexpr std::array<std::string_view, 5> kOutcomes = {"", "ready", "completed", "failed", "blocked"};
constexpr std::uint32_t kSchema = 1;
constexpr std::size_t kPlacementBytes = 44;
// RegGetValueW reads a string into 130 bytes, its terminator included.
constexpr std::size_t kStringBufferBytes = 2 * (kMaxHandoffTextLength + 1);

const std::optional<RawValue>& raw(const RawHandoffValues& values, HandoffValue which) {
    return values[static_cast<std::size_t>(which)];
}

std::optional<RawValue>& raw(RawHandoffValues& values, HandoffValue which) {
    return values[static_cast<std::size_t>(which)];
}

template <typename Number>
std::optional<Number> read_number(const std::optional<RawValue>& value, std::uint32_t type) {
    if (!value || value->type != type || value->data.size() != sizeof(Number)) return std::nullopt;
    Number number = 0;
    for (std::size_t i = 0; i < sizeof(Number); ++i) number |= static_cast<Number>(value->data[i]) << (8 * i);
    return number;
}

template <typename Number>
RawValue number_value(Number number, std::uint32_t type) {
    RawValue value{type, std::vector<std::uint8_t>(sizeof(Number))};
    for (std::size_t i = 0; i < sizeof(Number); ++i) value.data[i] = static_cast<std::uint8_t>(number >> (8 * i));
    return value;
}

// The text up to the first null, as RegGetValueW hands it over; a value that
// does not fit its buffer with a terminator fails there.
std::optional<std::u16string> read_text(const std::optional<RawValue>& value) {
    if (!value || value->type != kRegistryString || value->data.size() % 2 != 0) return std::nullopt;
    std::u16string text(value->data.size() / 2, u'\0');
    std::memcpy(text.data(), value->data.data(), value->data.size());
    const bool terminated = !text.empty() && text.back() == u'\0';
    if (value->data.size() + (terminated ? 0 : 2) > kStringBufferBytes) return std::nullopt;
    text.resize(std::min(text.find(u'\0'), text.size()));
    return text;
}

std::optional<std::string> read_ascii(const std::optional<RawValue>& value) {
    const auto text = read_text(value);
    if (!text) return std::nullopt;
    std::string ascii;
    for (const char16_t unit : *text) {
        if (unit < 32 || unit > 126) return std::nullopt;
        ascii.push_back(static_cast<char>(unit));
    }
    return ascii;
}

RawValue text_value(std::u16string_view text) {
    RawValue value{kRegistryString, std::vector<std::uint8_t>(2 * (text.size() + 1))};
    std::memcpy(value.data.data(), text.data(), 2 * text.size());
    return value;
}

RawValue text_value(std::string_view ascii) { return text_value(std::u16string(ascii.begin(), ascii.end())); }

template <std::size_t N>
bool read_blob(const std::optional<RawValue>& value, std::array<std::uint8_t, N>& out) {
    if (!value || value->type != kRegistryBinary || value->data.size() != N) return false;
    std::copy(value->data.begin(), value->data.end(), out.begin());
    return true;
}

template <std::size_t N>
RawValue blob_value(const std::array<std::uint8_t, N>& bytes) {
    return RawValue{kRegistryBinary, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

bool placement_length_fits(const std::array<std::uint8_t, 44>& placement) {
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(placement[i]) << (8 * i);
    return length == kPlacementBytes;
}

std::optional<bool> read_flag(const std::optional<RawValue>& value) {
    const auto number = read_number<std::uint32_t>(value, kRegistryDword);
    if (!number || *number > 1) return std::nullopt;
    return *number == 1;
}

bool is_lower_hex(char16_t unit) { return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f'); }

}  // namespace

std::u16string_view caller_subkey(HandoffCaller caller) {
    return caller == HandoffCaller::host_settings ? u"HostSettings" : u"Client";
}

std::u16string isolated_handoff_base_path(std::uint32_t process_id) {
    std::u16string path = u"Software\\Zelkora\\QA\\UpdateHandoff.";
    for (const char digit : std::to_string(process_id)) path.push_back(static_cast<char16_t>(digit));
    return path;
}

std::u16string update_event_name(std::u16string_view token) {
    return u"Local\\Zelkora.Update." + std::u16string(token);
}

bool is_valid_outcome(std::string_view outcome) {
    return std::find(kOutcomes.begin(), kOutcomes.end(), outcome) != kOutcomes.end();
}

bool is_valid_record_code(std::string_view code) { return core::is_valid_code(code); }

bool has_valid_token(std::u16string_view token) {
    return token.size() == kHandoffTokenLength && std::all_of(token.begin(), token.end(), is_lower_hex);
}

std::int32_t clamp_stage(std::int64_t stage) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(stage, 0, kHighestStage));
}

bool is_writable_record(const HandoffRecord& record) {
    return is_well_formed_version(record.from_version) && is_well_formed_version(record.to_version) &&
           has_valid_token(record.token) && is_valid_outcome(record.outcome) && is_valid_record_code(record.code);
}

bool is_valid_record(const HandoffRecord& record) {
    return is_writable_record(record) && static_cast<std::uint32_t>(record.stage) <= kHighestStage;
}

std::optional<HandoffRecord> validate_raw_record(const RawHandoffValues& values) {
    if (read_number<std::uint32_t>(raw(values, HandoffValue::schema), kRegistryDword) != kSchema) return std::nullopt;
    auto from_version = read_ascii(raw(values, HandoffValue::from_version));
    auto to_version = read_ascii(raw(values, HandoffValue::to_version));
    auto token = read_text(raw(values, HandoffValue::token));
    const auto dark = read_flag(raw(values, HandoffValue::dark));
    const auto process_id = read_number<std::uint32_t>(raw(values, HandoffValue::process_id), kRegistryDword);
    const auto created = read_number<std::uint64_t>(raw(values, HandoffValue::created), kRegistryQword);
    auto outcome = read_ascii(raw(values, HandoffValue::outcome));
    auto code = read_ascii(raw(values, HandoffValue::code));
    const auto stage = read_number<std::uint32_t>(raw(values, HandoffValue::stage), kRegistryDword);
    const auto attention = read_flag(raw(values, HandoffValue::attention));
    const auto restart_required = read_flag(raw(values, HandoffValue::restart_required));
    if (!from_version || !to_version || !token || !dark || !process_id || !created || !outcome || !code || !stage ||
        *stage > static_cast<std::uint32_t>(kHighestStage) || !attention || !restart_required) {
        return std::nullopt;
    }

    HandoffRecord record;
    record.from_version = std::move(*from_version);
    record.to_version = std::move(*to_version);
    record.token = std::move(*token);
    record.dark = *dark;
    record.process_id = *process_id;
    record.created = *created;
    record.outcome = std::move(*outcome);
    record.code = std::move(*code);
    record.stage = static_cast<std::int32_t>(*stage);
    record.attention = *attention;
    record.restart_required = *restart_required;
    record.has_placement = read_blob(raw(values, HandoffValue::placement), record.placement) &&
                           placement_length_fits(record.placement);
    if (!record.has_placement) record.placement = {};
    record.has_bounds = read_blob(raw(values, HandoffValue::bounds), record.bounds);
    if (!is_valid_record(record)) return std::nullopt;
    return record;
}

RawHandoffValues encode_outcome(const PublishedOutcome& outcome) {
    RawHandoffValues values;
    raw(values, HandoffValue::outcome) = text_value(outcome.outcome);
    raw(values, HandoffValue::code) = text_value(outcome.code);
    raw(values, HandoffValue::stage) =
        number_value(static_cast<std::uint32_t>(clamp_stage(outcome.stage)), kRegistryDword);
    raw(values, HandoffValue::attention) = number_value<std::uint32_t>(outcome.attention ? 1 : 0, kRegistryDword);
    raw(values, HandoffValue::restart_required) =
        number_value<std::uint32_t>(outcome.restart_required ? 1 : 0, kRegistryDword);
    return values;
}

RawHandoffValues encode_record(const HandoffRecord& record) {
    RawHandoffValues values =
        encode_outcome({record.outcome, record.code, record.stage, record.attention, record.restart_required});
    raw(values, HandoffValue::schema) = number_value(kSchema, kRegistryDword);
    raw(values, HandoffValue::from_version) = text_value(record.from_version);
    raw(values, HandoffValue::to_version) = text_value(record.to_version);
    raw(values, HandoffValue::token) = text_value(std::u16string_view(record.token));
    raw(values, HandoffValue::dark) = number_value<std::uint32_t>(record.dark ? 1 : 0, kRegistryDword);
    raw(values, HandoffValue::process_id) = number_value(record.process_id, kRegistryDword);
    raw(values, HandoffValue::created) = number_value(record.created, kRegistryQword);
    if (record.has_placement) raw(values, HandoffValue::placement) = blob_value(record.placement);
    if (record.has_bounds) raw(values, HandoffValue::bounds) = blob_value(record.bounds);
    return values;
}

}  // namespace zelkora::state
