#pragma once
// The payload side of one progress-pipe connection: a client-flavour payload
// context over the verified placement, with the product's trusted owners.

#include <memory>

#include "core/progress_channel_win32.h"
#include "payload/request_protocol.h"
#include "payload/trust_checks_win32.h"

namespace zelkora::payload {

// Whom this executable trusts: the release's system principals, or in the
// test variant also the current user. Defined beside the session, in the one
// source that the two executables compile differently.
TrustData executable_trust();

// Called on the reader thread before it waits for the client.
std::unique_ptr<core::PayloadLines> make_pipe_session(DriverBackends backends);

}  // namespace zelkora::payload
