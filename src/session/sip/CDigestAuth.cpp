#include "session/sip/CDigestAuth.h"

#include <cctype>
#include <cstdio>
#include <strings.h>

#include <osipparser2/osip_md5.h>

#include "app/CLogger.h"

namespace zelora {

std::string CDigestAuth::Md5Hex(std::string_view data)
{
    ZLOG_SCOPE();
    osip_MD5_CTX ctx;
    osip_MD5Init(&ctx);
    osip_MD5Update(&ctx, reinterpret_cast<unsigned char*>(const_cast<char*>(data.data())),
                   static_cast<unsigned int>(data.size()));
    unsigned char digest[16];
    osip_MD5Final(digest, &ctx);
    static const char kHex[] = "0123456789abcdef";
    std::string out(32, '0');
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 0x0f];
    }
    return out;
}

std::string CDigestAuth::Ha1(std::string_view user, std::string_view realm, std::string_view password)
{
    ZLOG_SCOPE();
    std::string text;
    text.reserve(user.size() + realm.size() + password.size() + 2);
    text.append(user).append(":").append(realm).append(":").append(password);
    return Md5Hex(text);
}

std::string CDigestAuth::Response(std::string_view ha1, std::string_view nonce, std::string_view nc,
                                  std::string_view cnonce, std::string_view qop, std::string_view method,
                                  std::string_view uri)
{
    ZLOG_SCOPE();
    std::string a2;
    a2.append(method).append(":").append(uri);
    const std::string ha2 = Md5Hex(a2);
    std::string text;
    text.append(ha1).append(":").append(nonce).append(":");
    if (!qop.empty())
        text.append(nc).append(":").append(cnonce).append(":").append(qop).append(":");
    text.append(ha2);
    return Md5Hex(text);
}

bool CDigestAuth::OffersAuth(std::string_view options)
{
    ZLOG_SCOPE();
    size_t pos = 0;
    while (pos <= options.size()) {
        size_t end = options.find(',', pos);
        if (end == std::string_view::npos)
            end = options.size();
        std::string_view token = options.substr(pos, end - pos);
        while (!token.empty() && std::isspace(static_cast<unsigned char>(token.front())))
            token.remove_prefix(1);
        while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back())))
            token.remove_suffix(1);
        if (token.size() == 4 && strncasecmp(token.data(), "auth", 4) == 0)
            return true;
        pos = end + 1;
    }
    return false;
}

std::string CDigestAuth::Unquote(std::string_view text)
{
    ZLOG_SCOPE();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

int CDigestAuth::BuildCredentials(const DigestChallenge& challenge, const DigestAnswer& answer, std::string& out)
{
    ZLOG_SCOPE();
    if (!challenge.algorithm.empty() && strcasecmp(challenge.algorithm.c_str(), "MD5") != 0) {
        ZLOG(LOG_ERROR, "unsupported digest algorithm %s", challenge.algorithm.c_str());
        return -1;
    }
    if (challenge.nonce.empty()) {
        ZLOG(LOG_ERROR, "challenge without nonce");
        return -1;
    }
    const std::string ha1 = answer.ha1.empty() ? Ha1(answer.username, challenge.realm, answer.password) : answer.ha1;
    const bool useQop = OffersAuth(challenge.qopOptions);
    char nc[16];
    std::snprintf(nc, sizeof nc, "%08x", answer.nonceCount);
    const std::string response = Response(ha1, challenge.nonce, useQop ? nc : "", useQop ? answer.cnonce : "",
                                          useQop ? "auth" : "", answer.method, answer.uri);
    out.clear();
    out.append("Digest username=\"").append(answer.username);
    out.append("\", realm=\"").append(challenge.realm);
    out.append("\", nonce=\"").append(challenge.nonce);
    out.append("\", uri=\"").append(answer.uri);
    out.append("\", response=\"").append(response).append("\", algorithm=MD5");
    if (!challenge.opaque.empty())
        out.append(", opaque=\"").append(challenge.opaque).append("\"");
    if (useQop)
        out.append(", cnonce=\"").append(answer.cnonce).append("\", qop=auth, nc=").append(nc);
    return 0;
}

} // namespace zelora
