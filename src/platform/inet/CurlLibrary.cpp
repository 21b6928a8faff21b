#include "platform/inet/CurlLibrary.h"

#include <initializer_list>
#include <mutex>

#include "platform/PlatformLog.h"
#include "platform/SharedLibrary.h"

namespace zelora::inet {

namespace {

constexpr const char* kCurl = "libcurl.so.4";

bool Load(SharedLibrary& library, CurlApi& a, std::string& error)
{
    using L = SharedLibrary;
    const bool resolved = library.Resolve(
        kCurl,
        {L::Bind("curl_global_init", a.GlobalInit), L::Bind("curl_easy_init", a.EasyInit),
         L::Bind("curl_easy_cleanup", a.EasyCleanup), L::Bind("curl_easy_setopt", a.EasySetopt),
         L::Bind("curl_slist_append", a.SlistAppend), L::Bind("curl_slist_free_all", a.SlistFreeAll),
         L::Bind("curl_multi_init", a.MultiInit), L::Bind("curl_multi_cleanup", a.MultiCleanup),
         L::Bind("curl_multi_add_handle", a.MultiAddHandle), L::Bind("curl_multi_remove_handle", a.MultiRemoveHandle),
         L::Bind("curl_multi_perform", a.MultiPerform), L::Bind("curl_multi_info_read", a.MultiInfoRead),
         L::Bind("curl_multi_poll", a.MultiPoll), L::Bind("curl_multi_wakeup", a.MultiWakeup)},
        error);
    if (!resolved)
        return false;
    if (const CURLcode code = a.GlobalInit(CURL_GLOBAL_DEFAULT); code != CURLE_OK) {
        error = std::string("Unable to set up ") + kCurl + ": error " + std::to_string(static_cast<int>(code));
        return false;
    }
    return true;
}

} // namespace

const CurlApi* CurlLibrary::Get(std::string& error)
{
    static std::once_flag once;
    static CurlApi api{};
    static bool ok = false;
    static std::string why;
    // Never unloaded: the engine threads and OpenSSL's exit handlers call in until exit.
    static SharedLibrary& library = *new SharedLibrary;
    std::call_once(once, [] {
        ok = Load(library, api, why);
        if (!ok)
            PLATFORM_LOG(1, "%s", why.c_str());
    });
    if (!ok)
        error = why;
    return ok ? &api : nullptr;
}

} // namespace zelora::inet
