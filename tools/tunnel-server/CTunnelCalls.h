#pragma once
// Calls between tunnel users and to the echo number: the INVITE and its answers relayed from
// one client to the other, and media relayed inside the stream once a call is answered.
#include <cstdint>
#include <map>
#include <string>

#include "CTunnelClients.h"
#include "CTunnelFrame.h"
#include "TunnelServerOptions.h"
#include "session/tunnel/CTunnelDataParser.h"

class CTunnelCalls {
public:
    CTunnelCalls(const TunnelServerOptions& options, CTunnelClients& clients);

    void Invite(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d);
    // Commands 3 to 6 (ringing, answer, reject, hang up) for a call the client is in.
    void Command(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d);
    void RelayMedia(CTunnelClient& c, const std::uint8_t* rtp, int length);
    // The client leaves: its calls end, the other party is told.
    void EndCallsOf(CTunnelClient& c);

private:
    struct Leg {
        std::uint64_t client = 0;
        int did = 0;
        int rtpPort = 0;
        std::string user;
    };
    struct Call {
        int cid = 0;
        int tid = 0;
        bool echo = false;
        bool answered = false;
        Leg caller, callee;
        std::string callerCodecs;
        int payload = 0;
    };
    // One call command as it arrived, with both parties looked up.
    struct Party {
        Call& call;
        CTunnelClient& from;
        bool fromCallee;
        CTunnelClient* caller;
        CTunnelClient* callee;
    };
    using Handler = void (CTunnelCalls::*)(Party& p);

    void Ringing(Party& p);
    void Answer(Party& p);
    void Reject(Party& p);
    void HangUp(Party& p);
    // The codec both the caller offers and the server prefers, -1 for none.
    int ChooseCodec(const std::string& offered) const;
    void Fail(CTunnelClient& c, int status, const char* reason);
    void Start(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d, CTunnelClient* callee, bool echo, int payload);
    bool InCall(std::uint64_t client) const;
    int NextRtpPort();
    CTunnelFrame CallFrame(const Call& call, const Leg& leg, bool withMedia) const;

    const TunnelServerOptions& m_options;
    CTunnelClients& m_clients;
    std::map<int, Call> m_calls;
    int m_nextCid = 1;
    int m_nextDid = 1;
    int m_nextTid = 1;
    int m_nextRtp;
};
