#pragma once
// Standard input of the test drivers, split into lines exactly as the
// setup's progress pipe splits them (same splitter, same line bound).

#include <cstdio>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "core/line_splitter.h"

namespace zelkora::tools {

// Both streams binary, so that carriage returns and raw bytes pass as they
// are; ends at end of input or when the splitter ends the stream. Each read
// takes what has arrived, so a line is answered as soon as it is complete,
// also when another program writes the lines one at a time.
template <typename OnLine>
void for_each_stdin_line(OnLine on_line) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    core::LineSplitter splitter;
    std::vector<char> chunk(4096);
    bool open = true;
    while (open) {
#ifdef _WIN32
        const int count = _read(_fileno(stdin), chunk.data(), static_cast<unsigned>(chunk.size()));
#else
        const ssize_t count = ::read(STDIN_FILENO, chunk.data(), chunk.size());
#endif
        if (count <= 0) break;
        open = splitter.append(std::string_view(chunk.data(), static_cast<std::size_t>(count)), on_line);
    }
}

}  // namespace zelkora::tools
