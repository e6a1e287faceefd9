#include "ui/fonts.h"

#include "resources/resource_ids.h"

namespace zelkora::ui {
namespace {

HANDLE add_font_resource(HINSTANCE instance, int id) {
    HRSRC resource = ::FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource) return nullptr;
    HGLOBAL loaded = ::LoadResource(instance, resource);
    const DWORD size = ::SizeofResource(instance, resource);
    void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;
    DWORD installed = 0;
    return ::AddFontMemResourceEx(bytes, size, nullptr, &installed);
}

}  // namespace

bool EmbeddedFonts::register_with_gdi(HINSTANCE instance) {
    for (const int id : {IDR_FONT_REGULAR, IDR_FONT_SEMIBOLD, IDR_FONT_BOLD}) {
        UniqueFontResource font(add_font_resource(instance, id));
        if (!font) return false;
        fonts_.push_back(std::move(font));
    }
    return true;
}

}  // namespace zelkora::ui
