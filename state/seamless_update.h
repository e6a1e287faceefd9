#pragma once
// The setup's side of a seamless update: the "ready" answer, the final
// outcome for the waiting Client, and reopening the new or the previous
// version. The registry, the event, the process check and the start of the
// Client are handed in, so the decisions stay testable. Portable: no <windows.h>.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "state/handoff_record.h"

namespace zelkora::state {

enum class ProductVersion { previous, updated };

struct SeamlessServices {
    std::function<void(const PublishedOutcome&)> publish;  // best effort
    std::function<void()> signal_event;                  // sets the update event when it is open
    // Whether the Client that wrote the record is still running (and is not us).
    std::function<bool(std::uint32_t process_id)> product_running;
    // Starts the Client of that version as the desktop user; false when it could not.
    std::function<bool(ProductVersion which, std::string_view version)> launch;
};

// What the window does once the run's end has been answered.
enum class SeamlessEnd {
    close_window,        // a version was reopened, or the Client is still there
    show_completed,      // updated, but the new version did not open
    show_failed,         // failed, and the previous version did not open
};

class SeamlessUpdate {
public:
    SeamlessUpdate(HandoffRecord record, std::string own_version, SeamlessServices services);

    const HandoffRecord& record() const { return record_; }

    // Publishes "ready" and sets the event, the first time only.
    void send_ready(int highest_step);

    // The end of the installer run, in place of the ordinary result. Every
    // final answer sets the event when "ready" did not, so the Client never
    // waits for an answer that was already written.
    SeamlessEnd finish(bool succeeded, std::string_view failure_code, int highest_step,
                       bool restart_required = false);

    // At most one successful start per run; a second request answers yes at once.
    [[nodiscard]] bool launch(ProductVersion which);

    // The window goes away before the run was finished: the Client still
    // waits, so it gets the failure now (and the event), without a launch.
    void settle_owed_result(std::string_view failure_code, int highest_step);

    bool owes_result() const { return !finished_; }
    bool ready_sent() const { return ready_sent_; }
    int stage_at_ready() const { return stage_at_ready_; }
    bool launched() const { return launched_; }
    // The final answer as published; nothing before the end.
    const std::optional<PublishedOutcome>& final_answer() const { return final_answer_; }

private:
    void publish(PublishedOutcome answer);
    void publish_final(PublishedOutcome answer);
    void publish_failure(std::string_view failure_code, int highest_step);

    HandoffRecord record_;
    std::string own_version_;
    SeamlessServices services_;
    bool ready_sent_ = false;
    int stage_at_ready_ = 0;
    bool launched_ = false;
    bool finished_ = false;
    std::optional<PublishedOutcome> final_answer_;
};

// The codes that block an update before anything changed, which the Client
// shows as such: "blocked" instead of "failed" when "ready" was not sent yet.
bool blocks_update(std::string_view failure_code);

}  // namespace zelkora::state
