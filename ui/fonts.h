#pragma once
// The three embedded Pretendard faces, made available to GDI for this
// process only (the system may have no Hangul font at all).

#include <windows.h>

#include <vector>

#include "core/owners.h"

namespace zelkora::ui {

// The embedded face once GDI knows it; otherwise the system's Hangul face.
inline const wchar_t* ui_face(bool embedded_fonts_in_gdi) {
    return embedded_fonts_in_gdi ? L"Pretendard" : L"Malgun Gothic";
}

inline UniqueFont make_font(const wchar_t* face, int height_px, int weight) {
    return UniqueFont(::CreateFontW(-height_px, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                         DEFAULT_PITCH, face));
}

class EmbeddedFonts {
public:
    // True when all three faces were registered.
    bool register_with_gdi(HINSTANCE instance);

private:
    std::vector<UniqueFontResource> fonts_;
};

}  // namespace zelkora::ui
