#pragma once
// The operator's controls over who may connect: a blocked address (--refuse-from) stands for
// a path that cuts the tunnel, and the client limit keeps one server within its means.
#include <cstddef>
#include <string>

#include "TunnelServerOptions.h"

class CTunnelAdmission {
public:
    explicit CTunnelAdmission(const TunnelServerOptions& options) : m_options(options) { }

    // false, with the reason logged, when the connection is to be closed at once.
    // address: the peer's IP; name: as it is logged (IP:port); clients: connected already.
    bool Admit(const std::string& address, const std::string& name, std::size_t clients) const;

private:
    const TunnelServerOptions& m_options;
};
