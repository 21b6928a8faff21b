#include "session/sip/CSipCredentials.h"

#include <cstdio>
#include <strings.h>

#include "app/CLogger.h"
#include "platform/RandomNumber.h"
#include "session/sip/CDigestAuth.h"
#include "session/sip/OsipText.h"

namespace zelora {

void CSipCredentials::Clear()
{
    ZLOG_SCOPE();
    // Nonce counts survive: a server may still hold the nonce, and a count must never repeat.
    m_credentials.clear();
}

int CSipCredentials::Add(const char* username, const char* userid, const char* passwd, const char* ha1,
                         const char* realm)
{
    ZLOG_SCOPE();
    if (username == nullptr || *username == '\0' || userid == nullptr || *userid == '\0')
        return -1;
    if ((passwd == nullptr || *passwd == '\0') && (ha1 == nullptr || *ha1 == '\0'))
        return -1;
    Credential c;
    c.username = Bounded(username, kMaxText);
    c.userid = Bounded(userid, kMaxText);
    c.passwd = Bounded(passwd, kMaxText);
    c.ha1 = Bounded(ha1, kMaxText);
    c.realm = CDigestAuth::Unquote(Bounded(realm, kMaxText));
    m_credentials.push_back(std::move(c));
    return 0;
}

const CSipCredentials::Credential* CSipCredentials::Find(const std::string& fromUser, const std::string& realm) const
{
    ZLOG_SCOPE();
    for (const Credential& c : m_credentials)
        if (c.username == fromUser && c.realm == realm)
            return &c;
    for (const Credential& c : m_credentials)
        if (c.realm == realm)
            return &c;
    for (const Credential& c : m_credentials)
        if (c.realm.empty())
            return &c;
    return nullptr;
}

int CSipCredentials::Answer(osip_message_t* request, const osip_message_t* challenge)
{
    ZLOG_SCOPE();
    if (request == nullptr || challenge == nullptr)
        return 0;
    const char* user = UserOf(request->from);
    const std::string fromUser = user != nullptr ? user : "";
    const std::string uri = UriText(request->req_uri);
    int added = 0;
    for (int proxy = 0; proxy < 2; ++proxy) {
        const osip_list_t* list = proxy ? &challenge->proxy_authenticates : &challenge->www_authenticates;
        for (int i = 0; i < osip_list_size(list); ++i) {
            auto* h = static_cast<osip_www_authenticate_t*>(osip_list_get(list, i));
            const char* scheme = osip_www_authenticate_get_auth_type(h);
            if (scheme == nullptr || strcasecmp(scheme, "Digest") != 0)
                continue;
            DigestChallenge ch;
            ch.realm = CDigestAuth::Unquote(Bounded(osip_www_authenticate_get_realm(h), 1024));
            ch.nonce = CDigestAuth::Unquote(Bounded(osip_www_authenticate_get_nonce(h), 1024));
            ch.opaque = CDigestAuth::Unquote(Bounded(osip_www_authenticate_get_opaque(h), 1024));
            ch.algorithm = CDigestAuth::Unquote(Bounded(osip_www_authenticate_get_algorithm(h), 64));
            ch.qopOptions = CDigestAuth::Unquote(Bounded(osip_www_authenticate_get_qop_options(h), 256));
            const Credential* cred = Find(fromUser, ch.realm);
            if (cred == nullptr) {
                ZLOG(LOG_ERROR, "no credentials for realm %s", ch.realm.c_str());
                continue;
            }
            DigestAnswer answer;
            answer.username = cred->userid;
            answer.password = cred->passwd;
            answer.ha1 = cred->ha1;
            answer.method = request->sip_method;
            answer.uri = uri;
            answer.nonceCount = ++m_nonceCounts[ch.nonce];
            if (m_nonceCounts.size() > 64)
                m_nonceCounts.clear();
            char cnonce[17];
            std::snprintf(cnonce, sizeof cnonce, "%08x%08x", zelora::RandomNumber(), zelora::RandomNumber());
            answer.cnonce = cnonce;
            std::string value;
            if (CDigestAuth::BuildCredentials(ch, answer, value) != 0)
                continue;
            int rc = proxy ? osip_message_set_proxy_authorization(request, value.c_str())
                           : osip_message_set_authorization(request, value.c_str());
            if (rc == 0)
                ++added;
        }
    }
    osip_message_force_update(request);
    return added;
}

} // namespace zelora
