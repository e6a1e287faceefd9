#pragma once
// The Korean texts of an installer run: why it could not start, and once it
// has finished the result header, notes, step labels, the interrupted-installer
// message, the details and diagnostics texts, and the cleaning of raw script
// texts before they are shown.
// Portable: no <windows.h>.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/flavour.h"
#include "core/progress_line.h"

namespace zelkora::core {

// Why an installer run did not start.
enum class LaunchProblem {
    installer_missing,
    channel_name_failed,
    channel_failed,
    update_not_newer,
    start_failed,
};

struct LaunchFailure {
    std::u16string status_text;
    std::string setup_code;
};

// The status text shown for the problem and its setup code.
LaunchFailure launch_failure(LaunchProblem problem);

// An automatic update never replaces a newer installed version: such a run
// starts nothing and fails with "update_not_newer".
std::optional<LaunchFailure> refuse_older_update(bool installed_version_newer);

// Same numbering as the setup window's views.
enum RunState : std::int32_t {
    kRunReady = 0,
    kRunInstalling = 1,
    kRunCompleted = 2,
    kRunFailed = 3,
};

enum NoteLevel : int { kLevelFine = 0, kLevelCaution = 1, kLevelError = 2 };

struct Note {
    NoteLevel level = kLevelFine;
    std::u16string title;
    std::u16string body;
    bool operator==(const Note&) const = default;
};

struct ResultHeader {
    NoteLevel level = kLevelFine;
    std::u16string title;
    std::u16string subtitle;
    bool operator==(const ResultHeader&) const = default;
};

// What the outcome texts read from the window state. The window fills it, so
// every function below stays a pure function of this record.
struct RunReport {
    RunState state = kRunReady;
    bool update_run = false;
    int highest_step = 0;
    bool attention_seen = false;
    std::u16string status_text;     // raw, as the script sent it
    std::u16string attention_text;  // raw, as the script sent it
    bool product_reopen_failed = false;
    bool restart_in_progress = false;
    std::u16string follow_up_text;  // lines separated by CR LF
    bool details_expanded = false;
    bool restart_accepted = false;
};

// Copies the progress fields; the caller sets the window's own marks.
RunReport report_from_progress(const RunProgress& progress, RunState state, bool update_run);

// Completed only with a known exit code 0, no failure line and step 6.
bool run_completed(const RunProgress& progress, bool exit_code_known,
                   std::uint32_t installer_exit_code);

// Control characters other than TAB, LF and CR become spaces; over-long
// texts are cut (never inside a surrogate pair) and end in "…".
std::u16string sanitize_text(std::u16string_view raw);

// Sanitised, brace groups removed, white space collapsed and trimmed.
std::u16string clean_note_text(std::u16string_view raw);

Note split_into_note(std::u16string_view raw, NoteLevel level);

// Empty for any state other than completed or failed.
std::vector<Note> result_notes(const RunReport& report);

// A run that has not completed never gets a success header.
ResultHeader result_header(const RunReport& report, const std::vector<Note>& notes);

// Label of step 1..6; empty outside that range.
std::u16string_view step_label(Flavour flavour, int step);

std::u16string interrupted_installer_message(Flavour flavour, int highest_step);

// Sanitised, ready to show.
std::u16string details_text(const RunReport& report);

std::u16string diagnostics_text(const RunReport& report);

std::u16string version_with_particle(std::u16string_view version);

// Status text of a seamless update whose new version could not be reopened.
std::u16string reopen_failed_status_text(std::u16string_view installed_version);

}  // namespace zelkora::core
