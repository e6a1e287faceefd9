#pragma once
// Shell shortcuts built in memory through the shell's link object and
// written by the temporary-name-and-swap technique of the placed files. A
// shortcut of the same name that points elsewhere is never overwritten.
//
// The folder that holds the link (a desktop belongs to the user, who can
// change it while we work) is opened once, without following a link and
// without delete sharing, so neither it nor a parent can be renamed while it
// is held; it must stand at its own long path. Everything after that, the
// existing link, the temporary file, the swap and the clean-up, goes through
// that handle and never by name again.

#include <windows.h>

#include <functional>
#include <string>

#include "payload/request_protocol.h"

namespace zelkora::payload {

inline constexpr std::size_t kShortcutPathUnits = 32768;

// Failure injection for tests; the product passes none.
struct ShortcutHooks {
    // Runs once the link folder is pinned, before anything in it is read.
    std::function<void()> folder_pinned;
    // Runs with the new link complete under its temporary name, just before
    // it is swapped in.
    std::function<void()> before_swap;
};

// Never raises: coded failures keep their code, anything else is
// "shortcut_write_failed".
[[nodiscard]] ShortcutResult create_shortcut(const ShortcutPlan& plan, const ShortcutHooks& hooks = {});

// Writes bytes back as the shortcut at link_path; empty on success. Never raises.
[[nodiscard]] std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes,
                                           const ShortcutHooks& hooks = {});

// True for "{link_name}.{12 lower-case hex}.zelkora-new", the temporary name
// a shortcut write that never finished leaves beside the link.
[[nodiscard]] bool is_shortcut_work_name(std::wstring_view name, std::wstring_view link_name);

}  // namespace zelkora::payload
