#include "payload/pipe_session_win32.h"

#include <string>

#include "payload/full_path_win32.h"
#include "payload/file_work_win32.h"
#include "payload/request_protocol.h"
#include "payload/trust_checks_win32.h"
#include "setup_version.h"
#include "state/known_locations_win32.h"

namespace zelkora::payload {

// Where the test variant's trust differs from the release (its other
// difference: app/start_failures_win32.cpp). Its build alone defines this
// (cmake/windows.cmake), and it never leaves the build tree.
TrustData executable_trust() {
#if defined(ZELKORA_TEST_VARIANT_TRUSTS_CURRENT_USER)
    return test_variant_trust();
#else
    return product_trust();
#endif
}

namespace {

class PipeSession final : public core::PayloadLines {
public:
    explicit PipeSession(DriverBackends backends)
        : executor_(executable_trust().location_owners),
          context_(state::current_locations(), Flavour::client, std::string(kSetupVersion), full_path_win32,
                   executor_) {
        context_.set_driver_backends(backends);
    }

    bool handle_line(std::string_view line, std::string& reply) override { return context_.handle_line(line, reply); }

private:
    FileWork executor_;
    PayloadContext context_;
};

}  // namespace

std::unique_ptr<core::PayloadLines> make_pipe_session(DriverBackends backends) {
    return std::make_unique<PipeSession>(backends);
}

}  // namespace zelkora::payload
