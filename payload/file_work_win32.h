#pragma once
// The file work behind the payload requests: verified placement, shortcuts
// and removals, with the trusted owners of the executable that runs them.

#include "payload/placement_win32.h"
#include "payload/request_protocol.h"
#include "payload/trust_checks_win32.h"

namespace zelkora::payload {

// The product constructs it with product_trusted_owners().
class FileWork final : public PayloadExecutor {
public:
    explicit FileWork(TrustedOwners owners, PlacementHooks hooks = {})
        : owners_(std::move(owners)), hooks_(std::move(hooks)) {}

    PlacementResult place(const PlacementPlan& plan) override;
    ShortcutResult create_shortcut(const ShortcutPlan& plan) override;
    std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes) override;
    RemovalResult remove_versions(const RemovalRequest& request) override;
    std::string remove_source(const std::u16string& setup_bin) override;

private:
    TrustedOwners owners_;
    PlacementHooks hooks_;
};

}  // namespace zelkora::payload
