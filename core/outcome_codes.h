#pragma once
// The outcome codes shared by the whole setup, the two allow-lists and the
// failure code of a run. Portable: no <windows.h>.

#include <string>
#include <string_view>

namespace zelkora::core {

// Codes the installer script may report with a -4 line.
bool is_trusted_code(std::u16string_view code);
bool is_trusted_code(std::string_view code);

// The empty code or one of the eleven codes a hand-off record may carry.
bool is_valid_code(std::string_view code);

// The failure code of a finished run, as published to the waiting Client.
std::string failure_code(std::u16string_view reported_code, std::string_view setup_code,
                         std::u16string_view status_text);

// Result-record form of a code in update mode; empty when the code has none.
std::string_view update_mode_code(std::string_view code);

}  // namespace zelkora::core
