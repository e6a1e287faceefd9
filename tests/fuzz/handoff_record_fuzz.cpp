// Edits a well-formed hand-off record value by value with arbitrary types and
// bytes, and checks that whatever the validation accepts is a record the setup
// may act on, and that it writes back to the very same values.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "state/handoff_record.h"
#include "state/version.h"

namespace {

using namespace zelkora::state;

void check(bool condition) {
    if (!condition) std::abort();
}

RawHandoffValues starting_values() {
    HandoffRecord record;
    record.from_version = "0.9.0";
    record.to_version = "1.0.0";
    record.token = u"0123456789abcdef0123456789abcdef";
    record.placement[0] = 44;
    record.has_placement = true;
    record.has_bounds = true;
    record.process_id = 1;
    record.created = 1;
    return encode_record(record);
}

// Each edit: value index, type (0xFF removes the value), size, then the bytes.
void apply_edits(RawHandoffValues& values, const std::uint8_t* data, std::size_t size) {
    while (size >= 3) {
        auto& value = values[data[0] % kHandoffValueCount];
        const std::uint8_t type = data[1];
        const std::size_t length = std::min<std::size_t>(data[2], size - 3);
        if (type == 0xFF) {
            value.reset();
        } else {
            value = RawValue{static_cast<std::uint32_t>(type & 0x0F), std::vector<std::uint8_t>(data + 3, data + 3 + length)};
        }
        data += 3 + length;
        size -= 3 + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RawHandoffValues values = starting_values();
    apply_edits(values, data, size);
    const auto record = validate_raw_record(values);
    if (!record) return 0;

    check(is_valid_record(*record));
    check(is_well_formed_version(record->from_version) && is_well_formed_version(record->to_version));
    check(has_valid_token(record->token) && update_event_name(record->token).size() == 53);
    check(record->stage >= 0 && record->stage <= kHighestStage);
    check(!record->has_placement || (record->placement[0] == 44 && record->placement[1] == 0 &&
                                     record->placement[2] == 0 && record->placement[3] == 0));
    check(validate_raw_record(encode_record(*record)) == record);
    return 0;
}
