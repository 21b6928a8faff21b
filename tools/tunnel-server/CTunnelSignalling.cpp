#include "CTunnelSignalling.h"

#include <map>
#include <string>
#include <vector>

#include "CTunnelFrame.h"
#include "TunnelLog.h"
#include "app/CEncryptDecrypt.h"
#include "platform/HexString.h"
#include "session/tunnel/CTunnelFrameCodec.h"

namespace {
bool Decipher(const char* hex, std::string& plain)
{
    std::vector<std::uint8_t> bytes;
    if (zelora::ParseHexStrict(hex, bytes) <= 0)
        return false;
    CEncryptDecrypt cipher;
    return cipher.Decrypt(bytes.data(), bytes.size(), CEncryptDecrypt::kTunnelKey, plain) == 0;
}
} // namespace

CTunnelSignalling::CTunnelSignalling(const TunnelServerOptions& options, const CTunnelAccounts& accounts,
                                     CTunnelClients& clients)
    : m_accounts(accounts), m_clients(clients), m_calls(options, clients)
{
}

void CTunnelSignalling::OnSignalling(CTunnelClient& c, const std::uint8_t* content, int length)
{
    using Handler = void (CTunnelSignalling::*)(CTunnelClient&, const TUNNEL_CLIENT_DATA&);
    static const std::map<int, Handler> kHandlers = {
        {1, &CTunnelSignalling::Register},    {2, &CTunnelSignalling::Invite},
        {3, &CTunnelSignalling::CallCommand}, {4, &CTunnelSignalling::CallCommand},
        {5, &CTunnelSignalling::CallCommand}, {6, &CTunnelSignalling::CallCommand}};
    if (!CTunnelFrameCodec::CheckCRC(content, length)) {
        TunnelLog("client %llu: signalling packet of %d bytes with a bad CRC dropped", c.Number(), length);
        return;
    }
    TUNNEL_CLIENT_DATA d;
    CTunnelDataParser::ParseClientFrame(content + 1, length - 3, &d);
    TunnelLog("client %llu: command %d", c.Number(), d.command);
    auto handler = kHandlers.find(d.command);
    if (handler == kHandlers.end()) {
        TunnelLog("client %llu: unknown command %d ignored", c.Number(), d.command);
        return;
    }
    (this->*handler->second)(c, d);
}

void CTunnelSignalling::OnMedia(CTunnelClient& c, const std::uint8_t* rtp, int length)
{
    m_calls.RelayMedia(c, rtp, length);
}

void CTunnelSignalling::Refuse(CTunnelClient& c, int status, const char* reason)
{
    CTunnelFrame answer;
    c.SendSignalling(2, answer.Status(status, reason));
}

void CTunnelSignalling::Register(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d)
{
    std::string user, password;
    if (!Decipher(d.userName, user) || !Decipher(d.password, password)) {
        TunnelLog("client %llu: registration with undecipherable credentials", c.Number());
        return Refuse(c, 400, "Bad Request");
    }
    if (d.timestamp != c.timestamp && d.timestamp != c.previousTimestamp) {
        TunnelLog("client %llu: registration of %s with stale timestamp [%s]", c.Number(), user.c_str(), d.timestamp);
        return Refuse(c, 403, "Stale Timestamp");
    }
    if (!m_accounts.Check(user, password)) {
        TunnelLog("client %llu: registration of %s refused", c.Number(), user.c_str());
        return Refuse(c, 403, "Forbidden");
    }
    if (d.registrationTimeout == 0) {
        TunnelLog("client %llu: %s unregistered", c.Number(), user.c_str());
        c.user.clear();
    } else {
        // A newer registration of the same user takes over its calls' destination.
        CTunnelClient* other = m_clients.FindUser(user);
        if (other != nullptr && other != &c)
            other->user.clear();
        c.user = user;
        TunnelLog("client %llu: %s registered for %d s", c.Number(), user.c_str(), d.registrationTimeout);
    }
    CTunnelFrame answer;
    answer.Status(200, "OK").Text(ELEMENT_TYPE_SIP_FROM_USERNAME, user).Text(ELEMENT_TYPE_SIP_FROM_HOST, d.fromHost);
    c.SendSignalling(1, answer);
}
