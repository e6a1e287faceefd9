// Resource ids shared by setup.rc and the C++ code that loads them.
#pragma once

#define IDI_APP_ICON 1

// Fonts are embedded as RCDATA and registered privately at start-up.
#define IDR_FONT_REGULAR 201
#define IDR_FONT_SEMIBOLD 202
#define IDR_FONT_BOLD 203
#define IDR_FONT_LICENSE 204
