#include "presence/CXmppModule.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/CLogger.h"
#include "platform/LoadOnce.h"
#include "platform/SharedLibrary.h"

// Defined when the program links the XMPP side in; null otherwise.
extern "C" IXmppSide* zelora_create_xmpp_side(CFifo* xmppFifo, CFifo* guiFifo) __attribute__((weak));

namespace {

constexpr const char* kModuleName = "zeloratalk-xmpp.so";

zelora::LoadOnce<ZeloraCreateXmppSide>& Module()
{
    // Never unloaded: gloox's own statics would otherwise run after their code is gone.
    static auto* loaded = new zelora::LoadOnce<ZeloraCreateXmppSide>;
    return *loaded;
}

bool Load(ZeloraCreateXmppSide& create, std::string& error)
{
    static auto* library = new zelora::SharedLibrary; // kept, as above
    return library->Resolve(CXmppModule::ModuleFile().c_str(),
                            {zelora::SharedLibrary::Bind(kZeloraCreateXmppSideName, create)}, error);
}

} // namespace

std::string CXmppModule::ModuleFile()
{
    if (const char* env = std::getenv("ZELORA_XMPP_MODULE"); env != nullptr && *env != '\0')
        return env;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path installed = exe.parent_path().parent_path() / "lib" / "zeloratalk" / kModuleName;
        if (std::filesystem::exists(installed, ec))
            return installed.string();
    }
    return std::string(ZELORA_XMPP_MODULE_DIR) + "/" + kModuleName;
}

std::unique_ptr<IXmppSide> CXmppModule::Create(CFifo& xmppFifo, CFifo& guiFifo)
{
    ZeloraCreateXmppSide create = zelora_create_xmpp_side;
    if (create == nullptr) {
        std::string error;
        const ZeloraCreateXmppSide* loaded =
            Module().Get(error, Load, [](const std::string& why) { ZLOG(LOG_ERROR, "%s", why.c_str()); });
        create = loaded != nullptr ? *loaded : nullptr;
    }
    if (create == nullptr)
        return nullptr;
    std::unique_ptr<IXmppSide> side(create(&xmppFifo, &guiFifo));
    if (!side)
        ZLOG(LOG_ERROR, "Unable to create the XMPP side");
    return side;
}
