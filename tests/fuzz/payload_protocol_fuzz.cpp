// Feeds arbitrary lines into one payload context and checks what must always
// hold: replies keep their form, lines that are no requests are declined, and
// every plan that reaches the executor is one the rules allow.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "core/progress_line.h"
#include "payload/failure.h"
#include "payload/path_rules.h"
#include "payload/request_protocol.h"

namespace {

using namespace zelkora::payload;

void check(bool condition) {
    if (!condition) std::abort();
}

bool is_code(std::string_view code) {
    if (code.empty()) return false;
    for (const char c : code) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

bool is_count(std::string_view text) {
    if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool is_reply_line(std::string_view reply) {
    if (!reply.starts_with("payload-v1|") || !reply.ends_with('\n')) return false;
    std::string_view body = reply.substr(11, reply.size() - 12);
    if (body == "ok") return true;
    if (body.starts_with("error|")) return is_code(body.substr(6));
    if (!body.starts_with("ok|")) return false;
    body.remove_prefix(3);
    const auto bar = body.find('|');
    return bar != std::string_view::npos && is_count(body.substr(0, bar)) && is_count(body.substr(bar + 1));
}

// Checks each plan it gets; answers from the plan's size, sometimes by
// raising, so that every reply path is exercised.
class CheckingExecutor : public PayloadExecutor {
public:
    PlacementResult place(const PlacementPlan& plan) override {
        check(plan.source_root == u"C:\\setup\\bin");
        check(plan.entries.size() <= kMaxPlanEntries);
        std::unordered_set<std::u16string> seen;
        for (const auto& entry : plan.entries) {
            check(entry.size <= kMaxFileSize);
            check(normalize_relative_path(entry.relative_path) == entry.relative_path);
            check(seen.insert(fold_case(entry.relative_path)).second);
        }
        switch (plan.entries.size() % 4) {
            case 0: return {true, "", plan.entries.size(), 0};
            case 1: return {false, "payload_copy_failed", 0, 0};
            case 2: throw Failure("payload_link_refused");
            default: throw Failure("");
        }
    }

    // Every folder handed on has passed the absolute path rule of the context.
    ShortcutResult create_shortcut(const ShortcutPlan& plan) override {
        check(plan.product_root.starts_with(u"C:\\Program Files\\Zelkora\\"));
        return {plan.target.size() % 2 == 0, "shortcut_foreign", true, "old"};
    }
    std::string restore_shortcut(const std::u16string& link_path, const std::string& bytes) override {
        check(link_path.ends_with(u"\\Zelkora.lnk") && bytes == "old");
        return {};
    }
    RemovalResult remove_versions(const RemovalRequest& request) override {
        check(request.version == "1.0.0" && request.new_install == u"C:\\Program Files\\Zelkora\\Client\\1.0.0");
        return {true, "", request.keep.size(), 0};
    }
    std::string remove_source(const std::u16string& setup_bin) override {
        check(setup_bin == u"C:\\setup\\bin");
        return "source_not_temporary";
    }
};

std::optional<std::u16string> fake_full_path(std::u16string_view path) {
    if (path.ends_with(u'.')) return std::nullopt;
    return std::u16string(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.empty()) return 0;
    const Flavour flavour = (input[0] & 1) ? Flavour::host : Flavour::client;
    input.remove_prefix(1);
    CheckingExecutor executor;
    zelkora::state::WellKnownLocations locations{u"C:\\setup\\bin", u"C:\\Program Files", u"C:\\Local", u"", u"", u"C:\\Desktop"};
    PayloadContext context(locations, flavour, "1.0.0", fake_full_path, executor);
    for (;;) {
        const auto feed = input.find('\n');
        const std::string_view line = input.substr(0, feed);
        const bool was_open = context.placement_open();
        std::string reply = "stale";
        const bool consumed = context.handle_line(line, reply);
        check(consumed == zelkora::core::is_payload_request(line));
        if (!consumed || reply.empty()) {
            check(reply.empty());
        } else {
            check(is_reply_line(reply));
        }
        // Inside a placement only a commit is ever answered.
        if (was_open && !reply.empty()) {
            std::string_view verb = line.substr(3);
            check(verb.starts_with("commit"));
        }
        if (feed == std::string_view::npos) break;
        input.remove_prefix(feed + 1);
    }
    return 0;
}
