#include "ui/display_painting_win32.h"

namespace zelkora::ui {

void queue_model_texts(PaintSurface& surface, const DisplayModel& model, const InkColours& inks) {
    for (const DisplayElement& element : model.elements) {
        if (!element.paint) continue;
        const DisplayPaint& paint = *element.paint;
        surface.queue_text({element.name, element.box.x, element.box.y, element.box.width, element.box.height,
                            paint.size, paint.line_height, inks[static_cast<std::size_t>(paint.ink)], paint.style});
    }
}

}  // namespace zelkora::ui
