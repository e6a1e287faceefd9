#include "payload/request_protocol.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/progress_line.h"
#include "core/text_encoding.h"
#include "payload/failure.h"
#include "state/version.h"
#include "state/version_folders.h"

namespace zelkora::payload {
namespace {

constexpr std::string_view kReplyPrefix = "payload-v1|";
constexpr std::size_t kMaxSizeDigits = 12;
constexpr std::size_t kDigestDigits = 64;
constexpr std::size_t kTokenDigits = 32;
constexpr std::size_t kMaxErrorCodeLength = 64;

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }
bool is_lower_hex_digit(char c) { return is_decimal_digit(c) || (c >= 'a' && c <= 'f'); }
int hex_value(char c) { return is_decimal_digit(c) ? c - '0' : c - 'a' + 10; }

bool is_lower_hex(std::string_view text, std::size_t length) {
    return text.size() == length && std::all_of(text.begin(), text.end(), is_lower_hex_digit);
}

bool is_error_code(std::string_view code) {
    return !code.empty() && code.size() <= kMaxErrorCodeLength &&
           std::all_of(code.begin(), code.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || is_decimal_digit(c) || c == '_';
           });
}

std::optional<std::uint64_t> parse_size(std::string_view text) {
    if (text.empty() || text.size() > kMaxSizeDigits) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), is_decimal_digit)) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > kMaxFileSize) return std::nullopt;
    return value;
}

std::optional<Sha256Digest> parse_digest(std::string_view text) {
    if (!is_lower_hex(text, kDigestDigits)) return std::nullopt;
    Sha256Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(hex_value(text[2 * i]) << 4 | hex_value(text[2 * i + 1]));
    }
    return digest;
}

// {program files}\Zelkora\Client\{version}
std::u16string client_version_folder(std::u16string_view program_files, std::string_view version) {
    return join_path(program_files, u"Zelkora\\Client\\" + ascii_to_utf16(version));
}

std::optional<std::u16string> parse_relative_path(std::string_view utf8) {
    if (utf8.size() > kMaxRelativePathBytes) return std::nullopt;
    const auto wide = utf8_to_utf16_strict(utf8);
    if (!wide) return std::nullopt;
    return normalize_relative_path(*wide);
}

}  // namespace

std::string ok_reply() { return std::string(kReplyPrefix) + "ok\n"; }

std::string counts_reply(std::uint64_t first, std::uint64_t second) {
    return std::string(kReplyPrefix) + "ok|" + std::to_string(first) + "|" + std::to_string(second) + "\n";
}

std::string error_reply(std::string_view code) {
    const std::string_view usable = is_error_code(code) ? code : kPayloadFailed;
    return std::string(kReplyPrefix) + "error|" + std::string(usable) + "\n";
}

// Requests that stand alone and are answered at once. A request that matches
// no row (verb, field count, product word and flavour) goes the way of an
// unknown verb.
struct PayloadContext::StandaloneVerb {
    std::string_view verb;
    std::size_t field_count;
    bool client_only;  // field 2 must be "client" in a client-flavour context
    void (PayloadContext::*handle)(const Fields&, std::string&);
};

const std::array<PayloadContext::StandaloneVerb, 5> PayloadContext::kStandaloneVerbs = {{
    {"shortcut-v1", 4, false, &PayloadContext::shortcut},
    {"legacy-remove-v1", 4, true, &PayloadContext::legacy_remove},
    {"old-remove-v1", 5, true, &PayloadContext::old_remove},
    {"source-remove-v1", 3, true, &PayloadContext::source_remove},
    {"shortcut-restore-v1", 3, true, &PayloadContext::restore_shortcut},
}};

PayloadContext::PayloadContext(state::WellKnownLocations locations, Flavour flavour,
                               std::string package_version, FullPathFunction full_path,
                               PayloadExecutor& executor)
    : locations_(std::move(locations)),
      flavour_(flavour),
      package_version_(std::move(package_version)),
      full_path_(std::move(full_path)),
      executor_(executor) {}

void PayloadContext::set_request_extension(std::unique_ptr<RequestExtension> extension) {
    extension_ = std::move(extension);
}

bool PayloadContext::handle_line(std::string_view line, std::string& reply) {
    reply.clear();
    if (!core::is_payload_request(line)) return false;
    if (line.ends_with('\r')) line.remove_suffix(1);
    const Fields fields = split_fields(line);
    // Decided before the work: a line the script expects no answer to must
    // never get one, even when it fails, or the pipe falls out of step.
    const bool silently = answers_silently(fields.verb());
    try {
        dispatch(fields, reply);
    } catch (const Failure& failure) {
        fail(silently, failure.code(), reply);
    } catch (...) {
        fail(silently, kPayloadFailed, reply);
    }
    return true;
}

PayloadContext::Fields PayloadContext::split_fields(std::string_view line) {
    Fields fields;
    std::size_t start = 0;
    while (fields.count < kMaxRequestFields) {
        const auto bar = line.find('|', start);
        fields.items[fields.count++] = line.substr(start, bar == std::string_view::npos ? bar : bar - start);
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    return fields;
}

bool PayloadContext::answers_silently(std::string_view verb) const {
    return placement_open_ ? verb != "commit" : verb == "place-v1";
}

void PayloadContext::fail(bool silently, std::string_view code, std::string& reply) {
    if (silently) {
        hold_error(is_error_code(code) ? code : kPayloadFailed);
        reply.clear();
    } else {
        reply = error_reply(code);
    }
}

void PayloadContext::hold_error(std::string_view code) {
    if (pending_error_.empty()) pending_error_ = code;
}

void PayloadContext::dispatch(const Fields& fields, std::string& reply) {
    const auto verb = fields.verb();
    if (verb == "file") return file_line(fields, reply);
    if (verb == "commit") {
        if (placement_open_ && fields.count == 2) return commit(reply);
        reply = error_reply(kRequestInvalid);  // an open placement stays open
        return;
    }
    if (placement_open_) return hold_error(kRequestInvalid);
    if (verb == "place-v1") {
        placement_open_ = true;
        pending_error_ = open_placement(fields);
        return;
    }
    if (standalone_request(fields, reply)) return;
    if (extension_) {
        std::string own_reply;
        if (extension_->handle(fields.all(), own_reply)) {
            reply = std::move(own_reply);
            return;
        }
    }
    reply = error_reply(kRequestInvalid);
}

void PayloadContext::file_line(const Fields& fields, std::string& reply) {
    if (!placement_open_) {
        reply = error_reply(kRequestInvalid);
        return;
    }
    if (pending_error_.empty()) pending_error_ = add_file_entry(fields);
}

std::string_view PayloadContext::add_file_entry(const Fields& fields) {
    if (fields.count != 5 || plan_.entries.size() >= kMaxPlanEntries) return kRequestInvalid;
    const auto size = parse_size(fields[2]);
    const auto digest = parse_digest(fields[3]);
    auto path = parse_relative_path(fields[4]);
    if (!size || !digest || !path) return kRequestInvalid;
    if (!path_set_.insert(fold_case(*path)).second) return kRequestInvalid;
    plan_.entries.push_back(FileEntry{std::move(*path), *size, *digest});
    return {};
}

void PayloadContext::commit(std::string& reply) {
    placement_open_ = false;
    const PlacementPlan plan = std::exchange(plan_, PlacementPlan{});
    path_set_.clear();
    const std::string held = std::exchange(pending_error_, std::string());
    if (!held.empty()) {
        reply = error_reply(held);
        return;
    }
    const PlacementResult result = executor_.place(plan);
    reply = result.ok ? counts_reply(result.written, result.unchanged) : error_reply(result.error);
}

// Gives the header's error, empty when the plan is ready for file lines.
std::string_view PayloadContext::open_placement(const Fields& fields) {
    plan_ = PlacementPlan{};
    path_set_.clear();
    if (fields.count != 5) return kRequestInvalid;
    const auto product = fields[2];
    const auto version = fields[3];
    const auto token = fields[4];
    if (!is_package_version(version)) return kVersionInvalid;
    if (!passes_absolute_path_rule(locations_.setup_bin) ||
        !passes_absolute_path_rule(locations_.program_files)) {
        return kPayloadUnavailable;
    }
    plan_.source_root = locations_.setup_bin;
    if (product == "host-stage" && flavour_ == Flavour::host) {
        if (!is_lower_hex(token, kTokenDigits)) return kRequestInvalid;
        fill_host_plan(version, token);
        return {};
    }
    if (product == "client" && flavour_ == Flavour::client) {
        if (token != "-") return kRequestInvalid;
        fill_client_plan(version);
        return {};
    }
    return kRequestInvalid;
}

bool PayloadContext::standalone_request(const Fields& fields, std::string& reply) {
    for (const auto& entry : kStandaloneVerbs) {
        if (fields.verb() != entry.verb || fields.count != entry.field_count) continue;
        if (entry.client_only && (fields[2] != "client" || flavour_ != Flavour::client)) continue;
        (this->*entry.handle)(fields, reply);
        return true;
    }
    return false;
}

void PayloadContext::shortcut(const Fields& fields, std::string& reply) {
    if (!is_package_version(fields[3])) {
        reply = error_reply(kVersionInvalid);
        return;
    }
    const auto plan = shortcut_plan(fields[2], fields[3]);
    if (!plan) {
        reply = error_reply(kRequestInvalid);
        return;
    }
    if (!passes_absolute_path_rule(locations_.program_files)) {
        reply = error_reply(kPayloadUnavailable);
        return;
    }
    ShortcutResult result = executor_.create_shortcut(*plan);
    if (!result.ok) {
        reply = error_reply(result.error);
        return;
    }
    if (flavour_ == Flavour::client && !first_shortcut_done_) {
        first_shortcut_done_ = true;
        if (result.replaced_existing) shortcut_backup_ = {std::move(result.previous_bytes), true};
    }
    reply = ok_reply();
}

// Nothing when the kind does not belong to this context's flavour.
std::optional<ShortcutPlan> PayloadContext::shortcut_plan(std::string_view kind, std::string_view version) const {
    const std::u16string wide_version = ascii_to_utf16(version);
    const std::u16string& files = locations_.program_files;
    ShortcutPlan plan;
    if (kind == "client" && flavour_ == Flavour::client) {
        const std::u16string version_folder = client_version_folder(files, version);
        plan.link_path = join_path(locations_.desktop, u"Zelkora.lnk");
        plan.product_root = join_path(files, u"Zelkora\\Client");
        plan.target = join_path(version_folder, u"Zelkora.exe");
        plan.working_folder = version_folder;
        plan.description = u"Zelkora \uD074\uB77C\uC6B0\uB4DC \uB370\uC2A4\uD06C\uD1B1";
        plan.icon = plan.target;
        const std::u16string per_user_root = join_path(locations_.local_app_data, u"Zelkora\\Client");
        if (passes_absolute_path_rule(per_user_root)) plan.alternative_root = per_user_root;
        return plan;
    }
    if ((kind != "host-settings" && kind != "host-tray") || flavour_ != Flavour::host) return std::nullopt;
    const std::u16string bin = join_path(files, u"Zelkora\\Host\\" + wide_version + u"\\bin");
    const std::u16string settings = join_path(bin, u"ZelkoraHostSettings.exe");
    plan.product_root = join_path(files, u"Zelkora\\Host");
    plan.has_arguments = true;
    plan.working_folder = bin;
    plan.icon = settings;
    if (kind == "host-settings") {
        plan.link_path = join_path(locations_.public_desktop, u"Zelkora Host \uC124\uC815.lnk");
        plan.target = settings;
        plan.arguments = u"--host-settings";
        plan.description = u"Zelkora host service settings";
    } else {
        plan.link_path = join_path(locations_.common_startup, u"Zelkora Host Tray.lnk");
        plan.target = join_path(bin, u"ZelkoraHost.exe");
        plan.arguments = u"--tray";
        plan.description = u"Zelkora Host status";
    }
    return plan;
}

// Without a backup the answer needs no file work.
void PayloadContext::restore_shortcut(const Fields&, std::string& reply) {
    if (!shortcut_backup_.present) {
        reply = error_reply(kShortcutRestoreUnavailable);
        return;
    }
    const std::string error =
        executor_.restore_shortcut(join_path(locations_.desktop, u"Zelkora.lnk"), shortcut_backup_.bytes);
    reply = error.empty() ? ok_reply() : error_reply(error);
}

void PayloadContext::legacy_remove(const Fields& fields, std::string& reply) {
    if (!is_package_version(fields[3])) {
        reply = error_reply(kVersionInvalid);
        return;
    }
    reply = remove_versions(locations_.local_app_data, fields[3], {});
}

void PayloadContext::old_remove(const Fields& fields, std::string& reply) {
    if (!is_package_version(fields[3]) || !state::is_well_formed_version(fields[4])) {
        reply = error_reply(kVersionInvalid);
        return;
    }
    reply = remove_versions(locations_.program_files, fields[3], {std::string(fields[3]), std::string(fields[4])});
}

// Both removals first prove the new install under program files, so both
// need that folder as well as their own root.
std::string PayloadContext::remove_versions(std::u16string root, std::string_view version,
                                            std::vector<std::string> keep) {
    if (!passes_absolute_path_rule(locations_.program_files) || !passes_absolute_path_rule(root)) {
        return error_reply(kPayloadUnavailable);
    }
    RemovalRequest request;
    request.root = std::move(root);
    request.new_install = client_version_folder(locations_.program_files, version);
    request.version = std::string(version);
    request.keep = std::move(keep);
    const RemovalResult result = executor_.remove_versions(request);
    return result.ok ? counts_reply(result.removed, result.not_removed) : error_reply(result.error);
}

void PayloadContext::source_remove(const Fields&, std::string& reply) {
    const std::string error = executor_.remove_source(locations_.setup_bin);
    reply = error.empty() ? ok_reply() : error_reply(error);
}

bool PayloadContext::is_package_version(std::string_view version) const {
    return state::is_well_formed_version(version) && version == package_version_;
}

bool PayloadContext::passes_absolute_path_rule(std::u16string_view path) const {
    return payload::passes_absolute_path_rule(path, full_path_);
}

void PayloadContext::fill_client_plan(std::string_view version) {
    plan_.destination = client_version_folder(locations_.program_files, version);
    plan_.containment_root = locations_.program_files;
    plan_.ownership_marker = state::kClientMetadataFile;
    plan_.destination_must_be_empty = false;
    plan_.protection_checks = true;
}

void PayloadContext::fill_host_plan(std::string_view version, std::string_view token) {
    plan_.destination = join_path(locations_.program_files, u"Zelkora\\Host\\.stage-" +
                                                                ascii_to_utf16(version) + u"-" +
                                                                ascii_to_utf16(token) + u"\\bin");
    plan_.containment_root.clear();
    plan_.ownership_marker.clear();
    plan_.destination_must_be_empty = true;
    plan_.protection_checks = true;
}

}  // namespace zelkora::payload
