// Linked only into zelkora-setup-TEST-ONLY-high-contrast.exe: Wine cannot turn
// on Windows' high-contrast mode (SPI_SETHIGHCONTRAST fails there), so this
// build of the setup paints as if it were on, for the screenshots.
#include "ui/theme_win32.h"

namespace {

const bool decided = [] {
    zelkora::ui::theme::decide_high_contrast_for_tests(true);
    return true;
}();

}  // namespace
