#include "state/seamless_update.h"

#include <utility>

namespace zelkora::state {

SeamlessUpdate::SeamlessUpdate(HandoffRecord record, std::string own_version, SeamlessServices services)
    : record_(std::move(record)), own_version_(std::move(own_version)), services_(std::move(services)) {}

bool blocks_update(std::string_view failure_code) {
    return failure_code == "existing_install_required" || failure_code == "certificate_trust_required" ||
           failure_code == "driver_install_required";
}

void SeamlessUpdate::publish(PublishedOutcome answer) {
    answer.stage = clamp_stage(answer.stage);
    if (services_.publish) services_.publish(answer);
    if (answer.outcome != "ready") final_answer_ = std::move(answer);
}

void SeamlessUpdate::send_ready(int highest_step) {
    if (ready_sent_ || finished_) return;
    ready_sent_ = true;
    stage_at_ready_ = highest_step;
    publish({"ready", "", highest_step});
    if (services_.signal_event) services_.signal_event();
}

// Before "ready" the Client still waits on the event, whatever the answer;
// after it the event is already set.
void SeamlessUpdate::publish_final(PublishedOutcome answer) {
    publish(std::move(answer));
    if (!ready_sent_ && services_.signal_event) services_.signal_event();
}

void SeamlessUpdate::publish_failure(std::string_view failure_code, int highest_step) {
    const char* outcome = !ready_sent_ && blocks_update(failure_code) ? "blocked" : "failed";
    publish_final({outcome, std::string(failure_code), highest_step});
}

SeamlessEnd SeamlessUpdate::finish(bool succeeded, std::string_view failure_code, int highest_step,
                                   bool restart_required) {
    finished_ = true;
    if (succeeded) {
        publish_final({"completed", "", 6, false, restart_required});
        return launch(ProductVersion::updated) ? SeamlessEnd::close_window : SeamlessEnd::show_completed;
    }
    const bool before_ready = !ready_sent_;
    publish_failure(failure_code, highest_step);
    if (before_ready && services_.product_running && services_.product_running(record_.process_id)) {
        return SeamlessEnd::close_window;
    }
    return launch(ProductVersion::previous) ? SeamlessEnd::close_window : SeamlessEnd::show_failed;
}

bool SeamlessUpdate::launch(ProductVersion which) {
    if (launched_) return true;
    const std::string& version = which == ProductVersion::previous ? record_.from_version : own_version_;
    if (!services_.launch || !services_.launch(which, version)) return false;
    launched_ = true;
    return true;
}

void SeamlessUpdate::settle_owed_result(std::string_view failure_code, int highest_step) {
    if (finished_) return;
    finished_ = true;
    publish_failure(failure_code, highest_step);
}

}  // namespace zelkora::state
