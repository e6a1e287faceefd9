#pragma once
// The three embedded Pretendard faces, made available to GDI for this
// process only (the system may have no Hangul font at all).

#include <windows.h>

#include <vector>

#include "core/owners.h"

namespace zelkora::ui {

class EmbeddedFonts {
public:
    // True when all three faces were registered.
    bool register_with_gdi(HINSTANCE instance);

private:
    std::vector<UniqueFontResource> fonts_;
};

}  // namespace zelkora::ui
