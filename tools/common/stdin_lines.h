#pragma once
// Standard input of the test drivers, split into lines exactly as the
// setup's progress pipe splits them (same splitter, same line bound).

#include <cstdio>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "core/line_splitter.h"

namespace zelkora::tools {

// Both streams binary, so that carriage returns and raw bytes pass as they
// are; ends at end of input or when the splitter ends the stream.
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
        const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), stdin);
        if (count == 0) break;
        open = splitter.append(std::string_view(chunk.data(), count), on_line);
    }
}

}  // namespace zelkora::tools
