#include "app/run_modes.h"

#include <array>
#include <utility>

namespace zelkora::app {
namespace {

using PreviewRow = std::pair<std::u16string_view, std::int8_t>;

// Recognised so that they are never mistaken for anything else, but they
// select nothing: the run proceeds as with an unknown argument. Their checks
// would need a payload fixture on the machine, which a user's has not.
constexpr std::array<std::u16string_view, 2> kReservedSelfTestSwitches = {
    u"--selftest-payload",
    u"--selftest-payload-protocol",
};

constexpr std::array<PreviewRow, 11> kPreviewSwitches = {{
    {u"--preview", 0},
    {u"--preview-progress", 1},
    {u"--preview-complete", 2},
    {u"--preview-failure", 3},
    {u"--preview-confirm", 4},
    {u"--preview-attention", 5},
    {u"--preview-restart", 6},
    {u"--preview-restart-confirm", 7},
    {u"--preview-notice", 8},
    {u"--preview-update-splash", 9},
    {u"--preview-update-splash-light", 10},
}};

constexpr std::uint64_t kRecordMaxAge = 36'000'000'000ULL;   // one hour in FILETIME units
constexpr std::uint64_t kRecordMaxAhead = 3'000'000'000ULL;  // five minutes

bool is_reserved_switch(std::u16string_view argument) {
    for (const auto reserved : kReservedSelfTestSwitches) {
        if (reserved == argument) return true;
    }
    return false;
}

template <typename Table>
auto find_switch(const Table& table, std::u16string_view argument) {
    for (const auto& row : table) {
        if (row.first == argument) return std::optional(row.second);
    }
    return decltype(std::optional(table[0].second)){};
}

}  // namespace

Switches read_switches(const std::vector<std::u16string>& args) {
    Switches switches;
    switches.no_argument = args.size() <= 1;
    if (args.size() != 2) return switches;
    const std::u16string_view argument = args[1];
    if (argument == u"--update") {
        switches.update_requested = true;
    } else if (const auto* selftest = core::find_selftest_switch(argument)) {
        switches.selftest_case = selftest->id;
    } else if (const auto preview = find_switch(kPreviewSwitches, argument)) {
        switches.preview_case = *preview;
    } else if (is_reserved_switch(argument)) {
        // Known, but wired to no check yet: the run goes on as an ordinary one.
    }
    return switches;
}

bool handoff_pickup_runs(const Switches& switches) {
    return switches.update_requested || switches.no_argument;
}

bool accept_handoff_record(const state::HandoffRecord& record, std::uint64_t now) {
    if (record.to_version != kSetupVersion) return false;
    if (!record.outcome.empty()) return false;
    if (record.created == 0) return false;
    const std::uint64_t earliest = now > kRecordMaxAge ? now - kRecordMaxAge : 0;
    const std::uint64_t latest = now + kRecordMaxAhead;
    return record.created >= earliest && record.created <= latest;
}

WindowKind window_kind(const RunRequest& request) {
    if (request.preview_case != kNoPreview) return WindowKind::Preview;
    if (request.selftest_case != SelfTestCase::none) return WindowKind::SelfTest;
    if (request.update_flag) {
        return request.handoff ? WindowKind::SeamlessUpdate : WindowKind::AutomaticUpdate;
    }
    return WindowKind::Ordinary;
}

std::u16string_view window_title(WindowKind kind) {
    switch (kind) {
        case WindowKind::SeamlessUpdate: return u"Zelkora 업데이트";
        case WindowKind::Preview: return u"Zelkora 설치 화면 미리보기";
        case WindowKind::SelfTest: return u"Zelkora 설치 화면 검사";
        case WindowKind::AutomaticUpdate:
        case WindowKind::Ordinary: break;
    }
    return u"Zelkora Client 설치";
}

}  // namespace zelkora::app
