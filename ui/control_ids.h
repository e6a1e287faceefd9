#pragma once
// Control ids shared by the setup window and the confirmation dialogs: the
// primary button is 1 and the cancel button 2 in both, as IDOK and IDCANCEL.

namespace zelkora::ui {

enum ControlId : int {
    kPrimaryButton = 1,
    kCancelButton = 2,
    kCopyButton = 3,
    kDetailsButton = 4,
    kDetailsField = 5,
};

}  // namespace zelkora::ui
