#pragma once
// The summary of a whole line sequence and the one-line JSON result record
// rendered from it. Portable: no <windows.h>.

#include <cstdint>
#include <string>
#include <vector>

#include "core/progress_line.h"

namespace zelkora::core {

// Read from "diagnostic-v1|..." texts of -5 lines; never written to the record.
struct DiagnosticRecord {
    bool error_recorded = false;
    std::string phase;
    std::int32_t error_code = 0;
    std::uint32_t error_detail = 0;
    bool operator==(const DiagnosticRecord&) const = default;
};

struct LineSummary {
    int step = 0;
    bool restart = false;
    bool attention = false;
    bool failure = false;
    std::string code;
    DiagnosticRecord diagnostic;
};

void add_to_summary(LineSummary& summary, const ProgressLine& line);
LineSummary summarize_lines(const std::vector<ProgressLine>& lines);

// Applies a -5 text to the diagnostic record; false when the text is not a
// well-formed diagnostic text (the record is then unchanged).
bool read_diagnostic_text(DiagnosticRecord& record, std::u16string_view text);

std::string render_result_record(const LineSummary& summary, bool completed, bool update_mode);

}  // namespace zelkora::core
