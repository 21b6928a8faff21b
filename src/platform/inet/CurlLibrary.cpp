#include "platform/inet/CurlLibrary.h"

#include <initializer_list>
#include <mutex>

#include "platform/PlatformLog.h"
#include "platform/SharedLibrary.h"

namespace zelora::inet {

namespace {

constexpr const char* kCurl = "libcurl.so.4";

struct Entry {
    const char* name;
    void** slot;
};

template <class Fn>
Entry Bind(const char* name, Fn& slot)
{
    return {name, reinterpret_cast<void**>(&slot)};
}

bool Load(SharedLibrary& library, CurlApi& a, std::string& error)
{
    if (!library.Open(kCurl)) {
        error = std::string("Unable to load ") + kCurl + ": " + library.Error();
        return false;
    }
    const std::initializer_list<Entry> entries = {
        Bind("curl_global_init", a.GlobalInit),
        Bind("curl_easy_init", a.EasyInit),
        Bind("curl_easy_cleanup", a.EasyCleanup),
        Bind("curl_easy_setopt", a.EasySetopt),
        Bind("curl_slist_append", a.SlistAppend),
        Bind("curl_slist_free_all", a.SlistFreeAll),
        Bind("curl_multi_init", a.MultiInit),
        Bind("curl_multi_cleanup", a.MultiCleanup),
        Bind("curl_multi_add_handle", a.MultiAddHandle),
        Bind("curl_multi_remove_handle", a.MultiRemoveHandle),
        Bind("curl_multi_perform", a.MultiPerform),
        Bind("curl_multi_info_read", a.MultiInfoRead),
        Bind("curl_multi_poll", a.MultiPoll),
        Bind("curl_multi_wakeup", a.MultiWakeup),
    };
    for (const Entry& e : entries) {
        *e.slot = library.Symbol(e.name);
        if (*e.slot == nullptr) {
            error = std::string("Unable to find ") + e.name + " in " + kCurl;
            return false;
        }
    }
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
