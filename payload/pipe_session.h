#pragma once
// The payload side of one progress-pipe connection: a client-flavour payload
// context over the verified placement, with the product's trusted owners.

#include <memory>

#include "core/progress_channel.h"
#include "payload/request_protocol.h"

namespace zelkora::payload {

// Called on the reader thread before it waits for the client.
std::unique_ptr<core::PayloadLines> make_pipe_session(DriverBackends backends);

}  // namespace zelkora::payload
