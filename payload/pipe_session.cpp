#include "payload/pipe_session.h"

#include <string>

#include "payload/full_path_win32.h"
#include "payload/placement.h"
#include "payload/request_protocol.h"
#include "setup_version.h"
#include "state/known_locations.h"

namespace zelkora::payload {
namespace {

class PipeSession final : public core::PayloadLines {
public:
    PipeSession()
        : executor_(product_trusted_owners()),
          context_(state::current_locations(), Flavour::client, std::string(kSetupVersion), full_path_win32,
                   executor_) {}

    bool handle_line(std::string_view line, std::string& reply) override { return context_.handle_line(line, reply); }

private:
    PlacementExecutor executor_;
    PayloadContext context_;
};

}  // namespace

std::unique_ptr<core::PayloadLines> make_pipe_session() { return std::make_unique<PipeSession>(); }

}  // namespace zelkora::payload
