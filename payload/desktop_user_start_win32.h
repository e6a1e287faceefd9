#pragma once
// Starts a program with the rights of the user who owns the desktop shell,
// not with the setup's elevated token, by asking the running shell to start
// it. Used to open the Client after an update.

#include <string>

namespace zelkora::payload {

// True only when the shell accepted the request.
[[nodiscard]] bool start_as_desktop_user(const std::wstring& program, const std::wstring& arguments,
                                         const std::wstring& working_folder);

}  // namespace zelkora::payload
