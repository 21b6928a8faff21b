#pragma once
// Creates the one session-protocol object of the phone: the SIP stack, or the tunnel protocol.
#include <memory>

#include "session/CSessionProtocol.h"

struct TunnelSettings;

// Null when the protocol cannot be built into this program.
std::unique_ptr<CSessionProtocol> CreateSessionProtocol(bool tunnel, const TunnelSettings& settings);
