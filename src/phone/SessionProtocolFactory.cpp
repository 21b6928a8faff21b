#include "phone/SessionProtocolFactory.h"

#include "app/CLogger.h"
#include "phone/MXSPCore.h"

#if __has_include("CMXSipStack.h")
#include "session/CMXSipStack.h"
#define ZELORA_HAVE_SIP_STACK 1
#endif
#if __has_include("CTunnelProtocol.h")
#include "session/CTunnelProtocol.h"
#define ZELORA_HAVE_TUNNEL 1
#endif

std::unique_ptr<CSessionProtocol> CreateSessionProtocol(bool tunnel, const TunnelSettings& settings)
{
    ZLOG_SCOPE();
    (void)settings;
    if (tunnel) {
#ifdef ZELORA_HAVE_TUNNEL
        return std::make_unique<CTunnelProtocol>(settings.userAgent.c_str(), settings.proxyPort,
                                             settings.proxyAddress.c_str(), settings.useProxy, 0,
                                             settings.tunnelServer.c_str());
#else
        ZLOG(LOG_ERROR, "Tunnel protocol not built");
        return nullptr;
#endif
    }
#ifdef ZELORA_HAVE_SIP_STACK
    return std::make_unique<CMXSipStack>();
#else
    ZLOG(LOG_ERROR, "SIP stack not built");
    return nullptr;
#endif
}
