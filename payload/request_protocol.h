#pragma once
// The payload request protocol: "-6|" lines that the installer script writes
// into the progress pipe, the state of one pipe connection, and the one reply
// line per request. Portable: no <windows.h>.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/flavour.h"
#include "payload/path_rules.h"
#include "payload/placement_plan.h"
#include "payload/reply_codes.h"
#include "state/locations.h"

namespace zelkora::pnp {
class Backend;
}
namespace zelkora::winfsp {
class Backend;
}

namespace zelkora::payload {

// The Host's device and driver backends: process-wide instances that the
// context holds for the host flavour. No request of the setup reaches them.
struct DriverBackends {
    const pnp::Backend* display = nullptr;
    const winfsp::Backend* winfsp = nullptr;
};

inline constexpr std::size_t kMaxRequestFields = 7;
inline constexpr std::size_t kMaxRelativePathBytes = 65536;

inline constexpr std::size_t kMaxShortcutBytes = 1048576;

std::string ok_reply();
std::string counts_reply(std::uint64_t first, std::uint64_t second);
// A code that is not a lower-case identifier becomes kPayloadFailed, so the
// reply line always keeps its form.
std::string error_reply(std::string_view code);

using core::Flavour;

// A shell shortcut to create or update. Paths are wide; an empty
// alternative root means none.
struct ShortcutPlan {
    std::u16string link_path;
    std::u16string product_root;  // an existing shortcut may be replaced only if it points below this
    std::u16string target;
    std::u16string arguments;
    bool has_arguments = false;  // otherwise the loaded shortcut keeps its own
    std::u16string working_folder;
    std::u16string description;
    std::u16string icon;
    std::u16string alternative_root;
};

struct ShortcutResult {
    bool ok = false;
    std::string error;  // empty on success
    bool replaced_existing = false;
    std::string previous_bytes;  // the replaced shortcut file
};

struct RemovalResult {
    bool ok = false;
    std::string error;  // empty on success
    std::uint64_t removed = 0;
    std::uint64_t not_removed = 0;
};

// What a removal below one root may do. Versions are ASCII and already
// checked against the package version by the protocol.
struct RemovalRequest {
    std::u16string root;
    std::u16string new_install;  // {program files}\Zelkora\Client\{version}
    std::string version;
    std::vector<std::string> keep;  // version folders that stay
};

// The file work behind the requests. Each operation reports its failures in
// its result (an error code, empty on success); one that raises Failure
// instead is answered with that code.
class PayloadExecutor {
public:
    virtual ~PayloadExecutor() = default;
    virtual PlacementResult place(const PlacementPlan& plan) = 0;
    virtual ShortcutResult create_shortcut(const ShortcutPlan& plan) = 0;
    virtual std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes) = 0;
    // Legacy and old-version removal: verify the new install, then remove
    // client versions below the root except those kept.
    virtual RemovalResult remove_versions(const RemovalRequest& request) = 0;
    virtual std::string remove_source(const std::u16string& setup_bin) = 0;
};

// Consulted for requests that match no verb. True when it has put its own
// reply (possibly empty) into reply.
class RequestExtension {
public:
    virtual ~RequestExtension() = default;
    virtual bool handle(std::span<const std::string_view> fields, std::string& reply) = 0;
};

struct ShortcutBackup {
    std::string bytes;
    bool present = false;
};

// One per pipe connection, used only by the thread that reads the pipe.
class PayloadContext {
public:
    PayloadContext(state::WellKnownLocations locations, Flavour flavour, std::string package_version,
                   FullPathFunction full_path, PayloadExecutor& executor);

    // line: one line from the pipe without its "\n". False when it is not a
    // payload request (reply empty). True when it was consumed; reply is then
    // empty (nothing to write back) or one complete line ending in "\n".
    bool handle_line(std::string_view line, std::string& reply);

    void set_request_extension(std::unique_ptr<RequestExtension> extension);
    void set_driver_backends(DriverBackends backends) { driver_backends_ = backends; }
    const DriverBackends& driver_backends() const { return driver_backends_; }
    bool placement_open() const { return placement_open_; }

private:
    struct Fields {
        std::array<std::string_view, kMaxRequestFields> items{};
        std::size_t count = 0;
        std::string_view operator[](std::size_t i) const { return i < count ? items[i] : std::string_view(); }
        std::string_view verb() const { return (*this)[1]; }
        std::span<const std::string_view> all() const { return {items.data(), count}; }
    };
    struct StandaloneVerb;
    static const std::array<StandaloneVerb, 5> kStandaloneVerbs;

    static Fields split_fields(std::string_view line);
    bool answers_silently(std::string_view verb) const;
    void dispatch(const Fields& fields, std::string& reply);
    void fail(bool silently, std::string_view code, std::string& reply);
    void hold_error(std::string_view code);

    void file_line(const Fields& fields, std::string& reply);
    std::string_view add_file_entry(const Fields& fields);
    void commit(std::string& reply);
    std::string_view open_placement(const Fields& fields);
    bool standalone_request(const Fields& fields, std::string& reply);
    void shortcut(const Fields& fields, std::string& reply);
    void restore_shortcut(const Fields& fields, std::string& reply);
    void legacy_remove(const Fields& fields, std::string& reply);
    void old_remove(const Fields& fields, std::string& reply);
    void source_remove(const Fields& fields, std::string& reply);
    std::string remove_versions(std::u16string root, std::string_view version, std::vector<std::string> keep);
    std::optional<ShortcutPlan> shortcut_plan(std::string_view kind, std::string_view version) const;

    bool is_package_version(std::string_view version) const;
    bool passes_absolute_path_rule(std::u16string_view path) const;
    void fill_client_plan(std::string_view version);
    void fill_host_plan(std::string_view version, std::string_view token);

    const state::WellKnownLocations locations_;
    const Flavour flavour_;
    const std::string package_version_;
    const FullPathFunction full_path_;
    PayloadExecutor& executor_;
    std::unique_ptr<RequestExtension> extension_;
    DriverBackends driver_backends_;

    bool placement_open_ = false;
    std::string pending_error_;
    PlacementPlan plan_;
    std::unordered_set<std::u16string> path_set_;  // case-folded relative paths of the plan
    // The desktop shortcut as it was before the first successful client
    // shortcut request of this connection; later requests leave it alone.
    ShortcutBackup shortcut_backup_;
    bool first_shortcut_done_ = false;
};

}  // namespace zelkora::payload
