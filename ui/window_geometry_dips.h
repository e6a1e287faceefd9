#pragma once
// The arithmetic of the setup window's layout in DIPs: the client size, the
// footer, the compact switch and the progress card. Portable: no <windows.h>.

namespace zelkora::ui {

struct WindowDips {
    int width = 0;
    int height = 0;
    int footer_top = 0;  // the buttons' row and the progress bar hang from it
    bool compact = false;
};

// Client pixels over the scale, truncated.
WindowDips window_dips(int client_width_px, int client_height_px, double scale);

struct ProgressCard {
    double top = 0;
    double height = 0;
    int status_lines_max = 0;
    double status_bottom = 0;
    double bar_top = 0;
    double pitch = 0;   // of the step rows
    double radius = 0;  // of the step markers
};

ProgressCard progress_card(int footer_top, bool compact);

}  // namespace zelkora::ui
