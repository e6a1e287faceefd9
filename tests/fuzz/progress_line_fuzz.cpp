// Feeds arbitrary pipe bytes through line splitting, the parser, the run
// progress state and the result record, and checks what must always hold.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/line_splitter.h"
#include "core/line_summary.h"
#include "core/progress_line.h"
#include "core/text_encoding.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void check_parsed(std::string_view line, const zelkora::core::ProgressLine& parsed) {
    check(parsed.code >= -5 && parsed.code <= 6);
    check(!parsed.text.empty());
    check(!zelkora::core::is_payload_request(line));
    // A parsed text is valid UTF-16 and round-trips to the bytes it came from.
    std::string_view raw = line.substr(line.find('|') + 1);
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    check(zelkora::utf16_to_utf8(parsed.text) == raw);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    zelkora::core::LineSplitter splitter;
    zelkora::core::RunProgress progress;
    zelkora::core::LineSummary summary;
    splitter.append(bytes, [&](std::string_view line) {
        check(line.find('\n') == std::string_view::npos);
        const auto parsed = zelkora::core::parse_progress_line(line);
        if (!parsed) return;
        check_parsed(line, *parsed);
        zelkora::core::apply_progress_line(progress, *parsed, true);
        zelkora::core::add_to_summary(summary, *parsed);
    });
    check(progress.highest_step >= 0 && progress.highest_step <= 6);
    for (bool completed : {false, true}) {
        for (bool update : {false, true}) {
            const auto record = zelkora::core::render_result_record(summary, completed, update);
            check(record.starts_with(R"({"schema":1,)") && record.ends_with("\"}"));
            check(record.find_first_of("\r\n ") == std::string::npos);
        }
    }
    return 0;
}
