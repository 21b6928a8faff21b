#pragma once
// The accounts the user agent answers digest challenges with, and the nonce counts it has used.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <osipparser2/osip_parser.h>

namespace zelora {

class CSipCredentials {
public:
    static constexpr size_t kMaxText = 255;

    void Clear();
    // -1 without a user name, a user id, and a password or precomputed HA1.
    int Add(const char* username, const char* userid, const char* passwd, const char* ha1, const char* realm);
    // Adds to `request` an answer to each Digest challenge in `challenge`; how many were added.
    int Answer(osip_message_t* request, const osip_message_t* challenge);

private:
    struct Credential {
        std::string username, userid, passwd, ha1, realm;
    };
    // The sender's own account for the realm first, then any for the realm, then one for any realm.
    const Credential* Find(const std::string& fromUser, const std::string& realm) const;

    std::vector<Credential> m_credentials;
    std::map<std::string, unsigned> m_nonceCounts;
};

} // namespace zelora
