// progress-lines: feeds a byte stream through the same line splitting, parser
// and summary as the setup's progress pipe and prints what the setup makes of it.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/line_summary.h"
#include "core/progress_line.h"
#include "core/text_encoding.h"
#include "tools/common/stdin_lines.h"

namespace {

constexpr const char* kHelp =
    "usage: progress-lines [--help] < BYTES\n"
    "\n"
    "Reads bytes from standard input and cuts them into lines at line feeds\n"
    "(0x0A), exactly as the setup's progress-pipe reader does, then prints one\n"
    "line per input line:\n"
    "  ok N TEXT    the line parsed as a progress line of kind N (-5..6);\n"
    "               TEXT is the parsed text as UTF-8\n"
    "  rejected     the line is not a progress line (payload requests \"-6|...\"\n"
    "               included); it is ignored\n"
    "Bytes after the last line feed are dropped. A line of more than 16383\n"
    "bytes (16384 with its line feed) ends the channel: nothing is printed for\n"
    "it or for anything after it.\n"
    "\n"
    "Then four lines with the result records of the whole sequence:\n"
    "  completed normal: RECORD\n"
    "  failed normal: RECORD\n"
    "  completed update: RECORD\n"
    "  failed update: RECORD\n"
    "where RECORD is the one-line JSON result record for a run that completed\n"
    "or failed, outside or inside update mode.\n"
    "\n"
    "Exit code 0, or 2 for a usage error.\n";

void print_line_verdict(std::string_view line, zelkora::core::LineSummary& summary) {
    const auto parsed = zelkora::core::parse_progress_line(line);
    if (!parsed) {
        std::fputs("rejected\n", stdout);
        return;
    }
    zelkora::core::add_to_summary(summary, *parsed);
    const std::string text = zelkora::utf16_to_utf8(parsed->text);
    std::printf("ok %d ", static_cast<int>(parsed->code));
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

void print_records(const zelkora::core::LineSummary& summary) {
    using zelkora::core::render_result_record;
    std::printf("completed normal: %s\n", render_result_record(summary, true, false).c_str());
    std::printf("failed normal: %s\n", render_result_record(summary, false, false).c_str());
    std::printf("completed update: %s\n", render_result_record(summary, true, true).c_str());
    std::printf("failed update: %s\n", render_result_record(summary, false, true).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc != 1) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    zelkora::core::LineSummary summary;
    zelkora::tools::for_each_stdin_line([&](std::string_view line) { print_line_verdict(line, summary); });
    print_records(summary);
    return 0;
}
