#pragma once
// Unpredictable numbers for protocol identifiers (tags, branches, Call-IDs, nonces, SDP ids):
// one kernel call each, no device file and no seeding pass at the first use.
#include <cstdint>

namespace zelora {

std::uint32_t RandomNumber();

} // namespace zelora
