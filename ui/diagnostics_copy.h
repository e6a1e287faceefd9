#pragma once
// What stands behind the diagnostics field and the "진단 복사" button of the
// result views. Portable: no <windows.h>; the clipboard itself is in
// ui/clipboard_win32.h.

#include <string>
#include <string_view>
#include <vector>

#include "core/outcome_messages.h"
#include "ui/text_wrap.h"

namespace zelkora::ui {

// Drops white space and punctuation; only ever compared, never shown.
std::u16string strip_for_comparison(std::u16string_view text);

std::u16string notes_text(const std::vector<core::Note>& notes);

// True in the result views when the details say more than the notes,
// punctuation and spacing aside; decides the details button.
bool more_details_available(const core::RunReport& report);

// The details when they are expanded and say more, the notes otherwise.
std::u16string field_text(const core::RunReport& report);

// The field text wrapped to the field's client width with the GDI measurer,
// lines joined by CR LF; unwrapped when the field has no usable width.
std::u16string wrapped_field_text(const core::RunReport& report, int field_client_width_px,
                                  double scale, const TextMeasurer& measure);
std::u16string wrapped_field_text(const std::u16string& text, int field_client_width_px, double scale,
                                  const TextMeasurer& measure);

// The diagnostics text with the two restart lines the copy appends.
std::u16string clipboard_report(const core::RunReport& report);

}  // namespace zelkora::ui
