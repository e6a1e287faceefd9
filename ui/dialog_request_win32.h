#pragma once
// What a confirmation dialog shows: filled by the caller, owned by it for the
// duration of the call.

#include <windows.h>

#include <string>
#include <vector>

#include "ui/control_ids.h"

namespace zelkora::ui {

struct DetailRow {
    std::wstring label;
    std::wstring value;
    bool monospace = false;
};

struct DialogRequest {
    HWND owner = nullptr;  // disabled while the dialog is open
    std::wstring title;
    std::wstring heading;
    std::wstring body;          // paragraphs separated by '\n'
    std::wstring caution_text;  // empty: no caution box
    std::wstring primary_label;
    bool cancel_is_default = false;
    bool information_only = false;  // one "확인" button, the answer means nothing
    std::vector<DetailRow> detail_rows;
};

}  // namespace zelkora::ui
