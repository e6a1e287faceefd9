#pragma once
// Verified file placement: copies the files of a plan from the setup's bin
// folder into the destination, proves each copy by size and SHA-256 before
// it becomes visible, replaces existing files only through a backup, and
// undoes everything it did when any step fails.

#include <windows.h>

#include <functional>
#include <string>

#include "payload/file_primitives_win32.h"
#include "payload/placement_plan.h"
#include "payload/request_protocol.h"
#include "payload/trust_checks_win32.h"

namespace zelkora::payload {

// Failure injection for tests; the product leaves both empty.
struct PlacementHooks {
    // Replaces the drawn random tag.
    std::function<std::wstring()> random_tag;
    // Runs after every successful read from a source, and may change what
    // was read (count can grow up to the buffer's size).
    std::function<void(CopyBuffer& buffer, DWORD& count)> after_source_read;
    // Given the name a rename by handle asks for, gives where it lands, as a
    // junction swapped in on the way would.
    std::function<std::wstring(const std::wstring& asked)> rename_lands_at;
};

// Never raises: every failure, coded or not, rolls back and is reported in
// the result.
PlacementResult place_files(const PlacementPlan& plan, const TrustedOwners& owners,
                            const PlacementHooks& hooks = {});

}  // namespace zelkora::payload
