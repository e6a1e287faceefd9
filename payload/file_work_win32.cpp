#include "payload/file_work_win32.h"

#include "payload/removal_win32.h"
#include "payload/shortcuts_win32.h"

namespace zelkora::payload {

PlacementResult FileWork::place(const PlacementPlan& plan) { return place_files(plan, owners_, hooks_); }

ShortcutResult FileWork::create_shortcut(const ShortcutPlan& plan) { return payload::create_shortcut(plan); }

std::string FileWork::restore_shortcut(const std::u16string& link_path, const std::string& bytes) {
    return payload::restore_shortcut(link_path, bytes);
}

RemovalResult FileWork::remove_versions(const RemovalRequest& request) {
    return payload::remove_versions(request, owners_);
}

std::string FileWork::remove_source(const std::u16string& setup_bin) { return payload::remove_source(setup_bin); }

}  // namespace zelkora::payload
