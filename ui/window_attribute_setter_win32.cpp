// Alone in its source, so that a test program can link its own definition
// in place of this one (see ui/title_bar_win32.h).
#include "ui/title_bar_win32.h"

namespace zelkora::ui {

WindowAttributeSetter window_attribute_setter(WindowAttributeSetter loaded) { return loaded; }

}  // namespace zelkora::ui
