#pragma once
// GDI fonts of the user interface: the embedded face once the text engine
// has registered it with GDI, otherwise the system's Hangul face.

#include <windows.h>

#include "core/owners_win32.h"

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

}  // namespace zelkora::ui
