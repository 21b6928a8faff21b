#include "CTunnelCalls.h"

#include <cstring>
#include <sstream>
#include <vector>

#include "TunnelLog.h"
#include "session/tunnel/CTunnelFrameCodec.h"

namespace {
struct CodecEntry {
    int payload;
    const char* name;
    int frequency;
    int mode;
};
constexpr CodecEntry kCodecs[] = {{0, "PCMU", 8000, 0}, {8, "PCMA", 8000, 0}, {102, "iLBC", 8000, 30}};

const CodecEntry* FindCodec(int payload)
{
    for (const CodecEntry& c : kCodecs)
        if (c.payload == payload)
            return &c;
    return nullptr;
}

std::vector<int> ParseList(const std::string& text)
{
    std::vector<int> out;
    std::stringstream s(text);
    std::string item;
    while (std::getline(s, item, ',')) {
        if (item.empty() || item.size() > 3 || item.find_first_not_of("0123456789") != std::string::npos)
            continue;
        out.push_back(std::stoi(item));
    }
    return out;
}

int IndexOf(const std::vector<int>& list, int payload)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == payload)
            return static_cast<int>(i);
    return -1;
}
} // namespace

CTunnelCalls::CTunnelCalls(const TunnelServerOptions& options, CTunnelClients& clients)
    : m_options(options), m_clients(clients), m_nextRtp(options.rtpBase)
{
}

int CTunnelCalls::NextRtpPort()
{
    int port = m_nextRtp;
    m_nextRtp += 2;
    if (m_nextRtp > 65000)
        m_nextRtp = m_options.rtpBase;
    return port;
}

bool CTunnelCalls::InCall(std::uint64_t client) const
{
    for (const auto& [cid, call] : m_calls)
        if (call.caller.client == client || call.callee.client == client)
            return true;
    return false;
}

CTunnelFrame CTunnelCalls::CallFrame(const Call& call, const Leg& leg, bool withMedia) const
{
    CTunnelFrame f;
    f.Number(ELEMENT_TYPE_SIP_CID, call.cid)
        .Number(ELEMENT_TYPE_SIP_DID, leg.did)
        .Number(ELEMENT_TYPE_SIP_TID, call.tid)
        .Text(ELEMENT_TYPE_SIP_FROM_USERNAME, call.caller.user)
        .Text(ELEMENT_TYPE_SIP_TO_USERNAME, call.callee.user);
    if (withMedia) {
        const CodecEntry* codec = FindCodec(call.payload);
        int index = IndexOf(ParseList(call.callerCodecs), call.payload);
        f.Number(ELEMENT_TYPE_SIP_SELECTED_CODEC_INDEX, index < 0 ? 0 : index)
            .Text(ELEMENT_TYPE_SIP_RTP_PORT, std::to_string(leg.rtpPort))
            .Text(ELEMENT_TYPE_SIP_RTP_IP, m_options.listenAddress);
        if (codec != nullptr)
            f.Text(ELEMENT_TYPE_SIP_CODEC_NAME, codec->name)
                .Text(ELEMENT_TYPE_SIP_CODEC_PAYLOAD, std::to_string(codec->payload))
                .Text(ELEMENT_TYPE_SIP_CODEC_FREQ, std::to_string(codec->frequency))
                .Text(ELEMENT_TYPE_SIP_CODEC_MODE, std::to_string(codec->mode));
    }
    return f;
}

int CTunnelCalls::ChooseCodec(const std::string& offered) const
{
    std::vector<int> list = ParseList(offered);
    for (int p : m_options.codecPreference)
        if (IndexOf(list, p) >= 0 && FindCodec(p) != nullptr)
            return p;
    return -1;
}

void CTunnelCalls::Fail(CTunnelClient& c, int status, const char* reason)
{
    CTunnelFrame fail;
    c.SendSignalling(11, fail.Status(status, reason));
}

void CTunnelCalls::Invite(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d)
{
    if (c.user.empty())
        return Fail(c, 403, "Not Registered");
    int payload = ChooseCodec(d.codecList);
    if (payload < 0)
        return Fail(c, 488, "Not Acceptable Here");
    std::string called = d.toUserName;
    bool echo = !m_options.echoNumber.empty() && called == m_options.echoNumber;
    CTunnelClient* callee = echo ? nullptr : m_clients.FindUser(called);
    if (!echo && callee == nullptr)
        return Fail(c, 404, "Not Found");
    if (InCall(c.Id()) || (callee != nullptr && (callee == &c || InCall(callee->Id()))))
        return Fail(c, 486, "Busy Here");
    Start(c, d, callee, echo, payload);
}

void CTunnelCalls::Start(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d, CTunnelClient* callee, bool echo, int payload)
{
    Call call;
    call.cid = m_nextCid++;
    call.tid = m_nextTid++;
    call.echo = echo;
    call.payload = payload;
    call.callerCodecs = d.codecList;
    call.caller = Leg{c.Id(), m_nextDid++, NextRtpPort(), c.user};
    call.callee = Leg{callee != nullptr ? callee->Id() : 0, m_nextDid++, NextRtpPort(), d.toUserName};
    TunnelLog("call %d: %s -> %s%s, payload %d", call.cid, c.user.c_str(), call.callee.user.c_str(),
              echo ? " (echo)" : "", payload);
    call.answered = echo;
    m_calls[call.cid] = call;

    CTunnelFrame trying = CallFrame(call, call.caller, false);
    c.SendSignalling(7, trying.Status(100, "Trying"));
    if (echo) {
        CTunnelFrame answered = CallFrame(call, call.caller, true);
        c.SendSignalling(9, answered.Status(200, "OK"));
        return;
    }
    CTunnelFrame incoming = CallFrame(call, call.callee, true);
    incoming.Text(ELEMENT_TYPE_SIP_FROM_HOST, d.fromHost[0] != '\0' ? d.fromHost : m_options.listenAddress)
        .Text(ELEMENT_TYPE_SIP_TO_HOST, d.toHost);
    callee->SendSignalling(4, incoming);
}

void CTunnelCalls::Command(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d)
{
    static const std::map<int, Handler> kHandlers = {{3, &CTunnelCalls::Ringing},
                                                     {4, &CTunnelCalls::Answer},
                                                     {5, &CTunnelCalls::Reject},
                                                     {6, &CTunnelCalls::HangUp}};
    auto it = m_calls.find(d.cid);
    if (it == m_calls.end() || (it->second.caller.client != c.Id() && it->second.callee.client != c.Id())) {
        TunnelLog("client %llu: command %d for unknown call %d ignored", c.Number(), d.command, d.cid);
        return;
    }
    auto handler = kHandlers.find(d.command);
    if (handler == kHandlers.end())
        return;
    Call& call = it->second;
    Party p{call, c, call.callee.client == c.Id(), m_clients.Find(call.caller.client),
            m_clients.Find(call.callee.client)};
    (this->*handler->second)(p);
}

void CTunnelCalls::Ringing(Party& p)
{
    if (p.fromCallee && p.caller != nullptr) {
        CTunnelFrame f = CallFrame(p.call, p.call.caller, false);
        p.caller->SendSignalling(8, f.Status(180, "Ringing"));
    }
}

void CTunnelCalls::Answer(Party& p)
{
    if (!p.fromCallee || p.call.answered)
        return;
    p.call.answered = true;
    TunnelLog("call %d answered", p.call.cid);
    if (p.caller != nullptr) {
        CTunnelFrame f = CallFrame(p.call, p.call.caller, true);
        p.caller->SendSignalling(9, f.Status(200, "OK"));
    }
    CTunnelFrame f = CallFrame(p.call, p.call.callee, true);
    p.from.SendSignalling(14, f.Status(200, "OK"));
}

void CTunnelCalls::Reject(Party& p)
{
    if (!p.fromCallee || p.call.answered)
        return;
    if (p.caller != nullptr) {
        CTunnelFrame f = CallFrame(p.call, p.call.caller, false);
        p.caller->SendSignalling(11, f.Status(486, "Busy Here"));
    }
    TunnelLog("call %d rejected", p.call.cid);
    m_calls.erase(p.call.cid);
}

void CTunnelCalls::HangUp(Party& p)
{
    CTunnelClient* other = p.fromCallee ? p.caller : p.callee;
    if (other != nullptr && other != &p.from) {
        const Leg& leg = p.fromCallee ? p.call.caller : p.call.callee;
        CTunnelFrame f = CallFrame(p.call, leg, false);
        f.Status(p.call.answered ? 200 : 487, p.call.answered ? "Bye" : "Request Terminated");
        other->SendSignalling(p.call.answered ? 17 : 15, f);
    }
    TunnelLog("call %d ended by %s", p.call.cid, p.fromCallee ? "the callee" : "the caller");
    m_calls.erase(p.call.cid);
}

void CTunnelCalls::RelayMedia(CTunnelClient& c, const std::uint8_t* rtp, int length)
{
    for (auto& [cid, call] : m_calls) {
        if (!call.answered || (call.caller.client != c.Id() && call.callee.client != c.Id()))
            continue;
        CTunnelClient* to =
            call.echo ? &c : m_clients.Find(call.caller.client == c.Id() ? call.callee.client : call.caller.client);
        std::uint8_t content[3000];
        if (to == nullptr || length < 0 || length + 1 > static_cast<int>(sizeof content))
            return;
        content[0] = CTunnelFrameCodec::kTypeMedia;
        std::memcpy(content + 1, rtp, static_cast<std::size_t>(length));
        to->SendPacket(content, length + 1);
        return;
    }
}

void CTunnelCalls::EndCallsOf(CTunnelClient& c)
{
    for (auto it = m_calls.begin(); it != m_calls.end();) {
        Call& call = it->second;
        if (call.caller.client != c.Id() && call.callee.client != c.Id()) {
            ++it;
            continue;
        }
        CTunnelClient* other = m_clients.Find(call.caller.client == c.Id() ? call.callee.client : call.caller.client);
        if (other != nullptr && other != &c) {
            const Leg& leg = call.caller.client == c.Id() ? call.callee : call.caller;
            CTunnelFrame f = CallFrame(call, leg, false);
            other->SendSignalling(17, f.Status(408, "Peer Gone"));
        }
        TunnelLog("call %d ended: a party left", call.cid);
        it = m_calls.erase(it);
    }
}
