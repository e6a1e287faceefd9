#pragma once
// The -Command text of the setup's self-tests: a NamedPipeClientStream to the
// progress pipe, a UTF-8 StreamWriter, WriteLine statements and an optional
// exit. Any other statement is refused before anything runs.

#include <string_view>

namespace zelkora::standin {

// Runs the text and returns the process exit code.
int run_command_script(std::wstring_view text);

}  // namespace zelkora::standin
