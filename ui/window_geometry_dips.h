#pragma once
// The arithmetic of the setup window's layout in DIPs: the client size, the
// footer, the compact switch, the progress card and the children's boxes.
// Portable: no <windows.h>.

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

// A box in DIPs and a box in pixels (right and bottom exclusive).
struct DipBox {
    double x = 0, y = 0, width = 0, height = 0;
};

struct PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
    bool intersects(const PixelBox& other) const;
    bool operator==(const PixelBox&) const = default;
};

// Every pixel that a shape drawn inside box may touch at the scale: the box
// grown by margin DIPs on each side, rounded outwards, and one pixel more for
// the antialiased edge.
PixelBox pixels_touched(const DipBox& box, double scale, double margin_dips = 0);

// What a text item may ink beyond its box: glyphs hang out of a tight box by a
// fraction of their size.
double text_ink_margin(double size_dips);

// The marker that spins for the current step (none when every step is done),
// and the track the progress bar fills; the animation repaints only these.
bool spinner_box(const ProgressCard& card, int highest_step, DipBox& box);
DipBox progress_track_box(const ProgressCard& card, int width_dips);

// Where each child window of the setup window sits. The footer buttons hang
// from the footer; the details button and field live in the result panel.
struct ChildBoxes {
    DipBox primary_button;
    DipBox cancel_button;
    DipBox copy_button;
    DipBox details_button;
    DipBox progress_bar;
    DipBox details_field;
};

ChildBoxes child_boxes(const WindowDips& window, int panel_top, int panel_height);

}  // namespace zelkora::ui
