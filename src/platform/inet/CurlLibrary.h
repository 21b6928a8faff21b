#pragma once
// libcurl, loaded by the first request instead of at start: it brings OpenSSL, Kerberos, LDAP,
// SSH and a dozen more libraries, and its global set-up reads OpenSSL's configuration. A
// program that never makes a request maps none of them. Loaded once and kept until exit.
#include <curl/curl.h>

#include <string>

namespace zelora::inet {

struct CurlApi {
    decltype(&curl_global_init) GlobalInit;
    decltype(&curl_easy_init) EasyInit;
    decltype(&curl_easy_cleanup) EasyCleanup;
    // Variadic: numeric options take a long, the others a pointer of the option's own type.
    CURLcode (*EasySetopt)(CURL*, CURLoption, ...);
    decltype(&curl_slist_append) SlistAppend;
    decltype(&curl_slist_free_all) SlistFreeAll;
    decltype(&curl_multi_init) MultiInit;
    decltype(&curl_multi_cleanup) MultiCleanup;
    decltype(&curl_multi_add_handle) MultiAddHandle;
    decltype(&curl_multi_remove_handle) MultiRemoveHandle;
    decltype(&curl_multi_perform) MultiPerform;
    decltype(&curl_multi_info_read) MultiInfoRead;
    decltype(&curl_multi_poll) MultiPoll;
    decltype(&curl_multi_wakeup) MultiWakeup;
};

class CurlLibrary {
public:
    // The entry points with the global set-up done, or null with `error` saying what is
    // missing (logged once). Safe from any thread.
    static const CurlApi* Get(std::string& error);
};

} // namespace zelora::inet
