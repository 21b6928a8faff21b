#include "phone/SessionProtocolFactory.h"

#include "app/CLogger.h"
#include "phone/MXSPCore.h"
#include "session/CMXSipStack.h"
#include "session/tunnel/CTunnelProtocol.h"

std::unique_ptr<CSessionProtocol> CreateSessionProtocol(bool tunnel, const TunnelSettings& settings)
{
    ZLOG_SCOPE();
    if (tunnel)
        return std::make_unique<CTunnelProtocol>(settings.userAgent.c_str(), settings.proxyPort,
                                                 settings.proxyAddress.c_str(), settings.useProxy, 0,
                                                 settings.tunnelServer.c_str());
    return std::make_unique<CMXSipStack>();
}
