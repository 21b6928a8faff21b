#pragma once
// HTTP digest (MD5, qop=auth) for answering 401/407 challenges.
#include <string>
#include <string_view>

namespace zelora {

struct DigestChallenge {
    std::string realm; // without quotes
    std::string nonce; // without quotes
    std::string opaque; // without quotes, empty when absent
    std::string algorithm; // empty when absent
    std::string qopOptions; // without quotes, e.g. "auth,auth-int"
    bool stale = false;
};

struct DigestAnswer {
    std::string username; // the user ID sent to the registrar
    std::string password; // used when ha1 is empty
    std::string ha1; // precomputed MD5(user:realm:password) in hex, optional
    std::string method; // REGISTER, INVITE, BYE ...
    std::string uri; // Request-URI text
    unsigned nonceCount = 1;
    std::string cnonce; // used only when qop=auth is chosen
};

class CDigestAuth {
public:
    static std::string Md5Hex(std::string_view data);
    static std::string Ha1(std::string_view user, std::string_view realm, std::string_view password);
    // qop empty: RFC 2069 form; qop "auth": RFC 2617 form with nc and cnonce.
    static std::string Response(std::string_view ha1, std::string_view nonce, std::string_view nc,
                                std::string_view cnonce, std::string_view qop, std::string_view method,
                                std::string_view uri);
    // True when the comma-separated option list contains the token "auth".
    static bool OffersAuth(std::string_view qopOptions);
    // Header value for Authorization / Proxy-Authorization. 0 ok, -1 when the challenge
    // uses an algorithm other than MD5 or lacks a nonce.
    static int BuildCredentials(const DigestChallenge& challenge, const DigestAnswer& answer, std::string& out);
    // Strips one pair of surrounding double quotes.
    static std::string Unquote(std::string_view text);
};

} // namespace zelora
