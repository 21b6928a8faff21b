#pragma once
// Finds the XMPP side: linked into this program (tests link it in), else the module loaded on
// first use and kept until exit.
#include <memory>
#include <string>

#include "presence/IXmppSide.h"

class CXmppModule {
public:
    // A new XMPP side over the two queues, or null (why is logged).
    static std::unique_ptr<IXmppSide> Create(CFifo& xmppFifo, CFifo& guiFifo);
    // The places tried in order: $ZELORA_XMPP_MODULE, beside the program's lib folder, the build tree.
    static std::string ModuleFile();
};
