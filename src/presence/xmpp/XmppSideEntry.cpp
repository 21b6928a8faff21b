// The module's entry point (see presence/IXmppSide.h).
#include "presence/xmpp/CXMPPHandler.h"

extern "C" __attribute__((visibility("default"))) IXmppSide* zelora_create_xmpp_side(CFifo* xmppFifo, CFifo* guiFifo)
{
    try {
        return new CXMPPHandler(*xmppFifo, *guiFifo);
    } catch (...) {
        return nullptr; // nothing may leave the module as an exception
    }
}
