#pragma once
// payload-console beside the test program, fed line by line through its
// standard input, as one session on the setup's pipe.

#include <windows.h>

#include <string>

#include "core/owners_win32.h"

namespace zelkora::test {

// The running test program's own path.
std::wstring this_program();

class ConsoleSession {
public:
    explicit ConsoleSession(const std::wstring& arguments);
    ~ConsoleSession() { finish(); }
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    bool started() const { return static_cast<bool>(process_); }

    // The console's answer line to one request line, line feed included;
    // empty when the console has ended.
    std::string ask(const std::string& line);

    // Ends the input, so the console ends its session.
    void finish();

    // Ends the console at once, as Task Manager or a crash would, and waits
    // until its handles are closed.
    void kill();

private:
    UniqueHandle input_;
    UniqueHandle output_;
    UniqueHandle process_;
};

}  // namespace zelkora::test
