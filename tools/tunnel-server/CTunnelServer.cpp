#include "CTunnelServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>

#include "app/CEncryptDecrypt.h"
#include "session/tunnel/CTunnelFrameCodec.h"
#include "platform/HexString.h"

namespace {
constexpr std::size_t kMaxHello = 2048;
constexpr std::size_t kMaxPending = 1 << 20; // a client that reads nothing is dropped, not buffered forever

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

bool Decipher(const char* hex, std::string& plain)
{
    std::vector<std::uint8_t> bytes;
    if (zelora::ParseHexStrict(hex, bytes) <= 0)
        return false;
    CEncryptDecrypt cipher;
    return cipher.Decrypt(bytes.data(), bytes.size(), CEncryptDecrypt::kTunnelKey, plain) == 0;
}
} // namespace

CTunnelServer::Frame& CTunnelServer::Frame::Number(std::uint8_t type, int value)
{
    int next = CTunnelDataParser::AddServerNumber(tlv, sizeof tlv, length, type, value);
    if (next > 0)
        length = next;
    return *this;
}

CTunnelServer::Frame& CTunnelServer::Frame::Text(std::uint8_t type, const std::string& value)
{
    if (value.empty())
        return *this;
    int next = CTunnelDataParser::AddServerText(tlv, sizeof tlv, length, type, value.substr(0, 255).c_str());
    if (next > 0)
        length = next;
    return *this;
}

CTunnelServer::CTunnelServer(TunnelServerOptions options) : m_options(std::move(options)) { }

CTunnelServer::~CTunnelServer()
{
    for (auto& [id, c] : m_clients)
        if (c->fd >= 0)
            ::close(c->fd);
    if (m_listen >= 0)
        ::close(m_listen);
    for (int fd : m_stopPipe)
        if (fd >= 0)
            ::close(fd);
}

void CTunnelServer::Log(const char* format, ...)
{
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tmNow{};
    localtime_r(&now, &tmNow);
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tmNow);
    std::fprintf(stderr, "[%s] tunnel-server: ", stamp);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

int CTunnelServer::Start()
{
    if (!m_options.accountsFile.empty()) {
        std::string error;
        if (m_accounts.Load(m_options.accountsFile, error) < 0) {
            Log("%s", error.c_str());
            return -1;
        }
    }
    if (::pipe2(m_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Log("pipe failed: %s", std::strerror(errno));
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
    if (inet_pton(AF_INET, m_options.listenAddress.c_str(), &addr.sin_addr) != 1) {
        Log("invalid listen address %s", m_options.listenAddress.c_str());
        return -1;
    }
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 64) != 0) {
        Log("cannot listen on %s:%d: %s", m_options.listenAddress.c_str(), m_options.port, std::strerror(errno));
        return -1;
    }
    m_nextRtp = m_options.rtpBase;
    Log("listening on %s:%d, %zu accounts, echo number [%s]", m_options.listenAddress.c_str(), m_options.port,
        m_accounts.Size(), m_options.echoNumber.c_str());
    return 0;
}

void CTunnelServer::Stop()
{
    if (m_stopPipe[1] >= 0) {
        char b = 1;
        ssize_t ignored = ::write(m_stopPipe[1], &b, 1);
        (void)ignored;
    }
}

int CTunnelServer::Run()
{
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    for (;;) {
        fds.clear();
        ids.clear();
        fds.push_back({m_stopPipe[0], POLLIN, 0});
        fds.push_back({m_listen, POLLIN, 0});
        for (auto& [id, c] : m_clients) {
            short events = POLLIN;
            if (c->outOffset < c->out.size())
                events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
            ids.push_back(id);
        }
        int r = ::poll(fds.data(), fds.size(), 1000);
        if (r < 0 && errno != EINTR) {
            Log("poll failed: %s", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents != 0) {
            Log("stopping");
            return 0;
        }
        if (fds[1].revents & POLLIN)
            Accept();
        for (std::size_t i = 0; i < ids.size(); ++i) {
            Client* c = FindClient(ids[i]);
            if (c == nullptr)
                continue;
            short re = fds[i + 2].revents;
            if (re & (POLLIN | POLLHUP | POLLERR))
                OnReadable(*c);
            c = FindClient(ids[i]);
            if (c != nullptr && !c->closing && (re & POLLOUT))
                OnWritable(*c);
        }
        // Closing clients leave only after the loop, so no reference above goes stale.
        for (auto it = m_clients.begin(); it != m_clients.end();) {
            if (it->second->closing) {
                EndCallsOf(*it->second);
                ::close(it->second->fd);
                it = m_clients.erase(it);
            } else {
                ++it;
            }
        }
        Tick(std::time(nullptr));
    }
}

void CTunnelServer::Accept()
{
    for (;;) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(m_listen, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::string name = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
        if (!m_options.refuseFrom.empty() && m_options.refuseFrom == text) {
            Log("%s refused: its address is blocked", name.c_str());
            ::close(fd);
            continue;
        }
        if (static_cast<int>(m_clients.size()) >= m_options.maxClients) {
            Log("%s refused: %d clients already", name.c_str(), m_options.maxClients);
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Client>();
        c->fd = fd;
        c->id = m_nextClient++;
        c->peer = name;
        c->lastActivity = std::time(nullptr);
        Log("client %llu connected from %s", static_cast<unsigned long long>(c->id), name.c_str());
        m_clients[c->id] = std::move(c);
    }
}

void CTunnelServer::Drop(Client& c, const char* why)
{
    if (!c.closing)
        Log("client %llu (%s) dropped: %s", static_cast<unsigned long long>(c.id), c.peer.c_str(), why);
    c.closing = true;
}

void CTunnelServer::OnReadable(Client& c)
{
    for (;;) {
        std::size_t want = sizeof m_readArea;
        if (c.helloDone)
            want = std::min(want, c.ring.Free());
        if (want == 0) {
            HandleFrames(c); // frees the ring (or discards an oversize frame)
            continue;
        }
        ssize_t n = ::recv(c.fd, m_readArea, want, 0);
        if (n == 0) {
            Drop(c, "closed by the client");
            return;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return;
            Drop(c, std::strerror(errno));
            return;
        }
        c.lastActivity = std::time(nullptr);
        std::size_t used = 0;
        if (!c.helloDone) {
            std::size_t room = kMaxHello - c.hello.size();
            std::size_t take = std::min(room, static_cast<std::size_t>(n));
            c.hello.append(reinterpret_cast<const char*>(m_readArea), take);
            std::size_t end = c.hello.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (c.hello.size() >= kMaxHello) {
                    Drop(c, "no CLIENT_HELLO within 2048 bytes");
                    return;
                }
                continue;
            }
            // Bytes after the hello already belong to the framed stream.
            std::size_t extra = c.hello.size() - (end + 4);
            used = static_cast<std::size_t>(n) - extra;
            c.hello.resize(end + 4);
            HandleHello(c);
            if (c.closing)
                return;
        }
        if (used < static_cast<std::size_t>(n)) {
            c.ring.Append(m_readArea + used, static_cast<std::size_t>(n) - used);
            HandleFrames(c);
            if (c.closing)
                return;
        }
    }
}

void CTunnelServer::OnWritable(Client& c)
{
    while (c.outOffset < c.out.size()) {
        ssize_t n = ::send(c.fd, c.out.data() + c.outOffset, c.out.size() - c.outOffset, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return;
            Drop(c, std::strerror(errno));
            return;
        }
        c.outOffset += static_cast<std::size_t>(n);
    }
    c.out.clear();
    c.outOffset = 0;
}

void CTunnelServer::SendPacket(Client& c, const std::uint8_t* content, int length)
{
    if (c.closing)
        return;
    std::uint8_t encoded[2 * 3000 + 2];
    int n = CTunnelFrameCodec::Encode(content, length, encoded, sizeof encoded);
    if (n < 0)
        return;
    if (c.out.size() - c.outOffset + static_cast<std::size_t>(n) > kMaxPending) {
        Drop(c, "not reading its stream");
        return;
    }
    bool idle = c.outOffset >= c.out.size();
    c.out.insert(c.out.end(), encoded, encoded + n);
    if (idle)
        OnWritable(c);
}

std::string CTunnelServer::NewTimestamp()
{
    char text[48];
    std::snprintf(text, sizeof text, "%lld%04u", static_cast<long long>(std::time(nullptr)),
                  (++m_timestampCounter) % 10000);
    return text;
}

void CTunnelServer::HandleHello(Client& c)
{
    if (c.hello.rfind("CLIENT_HELLO\r\n", 0) != 0) {
        Drop(c, "handshake without CLIENT_HELLO");
        return;
    }
    std::string agent = c.hello.substr(14, c.hello.size() - 18);
    c.helloDone = true;
    c.timestamp = NewTimestamp();
    c.lastTimestamp = std::time(nullptr);
    std::string reply = "SERVER_HELLO" + c.timestamp;
    c.out.insert(c.out.end(), reply.begin(), reply.end());
    OnWritable(c);
    Log("client %llu hello [%s], timestamp %s", static_cast<unsigned long long>(c.id), agent.c_str(),
        c.timestamp.c_str());
    c.hello.clear();
    c.hello.shrink_to_fit();
}

void CTunnelServer::HandleFrames(Client& c)
{
    for (;;) {
        int length = 0;
        CTunnelFrameCodec::TakeResult r = CTunnelFrameCodec::TakeFrame(c.ring, m_frameArea, length);
        if (r == CTunnelFrameCodec::kNeedMore)
            return;
        if (r == CTunnelFrameCodec::kDiscarded) {
            Log("client %llu: frame longer than %zu bytes discarded", static_cast<unsigned long long>(c.id),
                c.ring.Capacity() - 1);
            continue;
        }
        if (m_frameArea[0] == CTunnelFrameCodec::kTypeSignalling)
            HandleSignalling(c, m_frameArea, length);
        else if (m_frameArea[0] == CTunnelFrameCodec::kTypeMedia)
            HandleMedia(c, m_frameArea + 1, length - 1);
        else
            Log("client %llu: packet type %d dropped", static_cast<unsigned long long>(c.id), m_frameArea[0]);
        if (c.closing)
            return;
    }
}

void CTunnelServer::HandleSignalling(Client& c, const std::uint8_t* content, int length)
{
    if (!CTunnelFrameCodec::CheckCRC(content, length)) {
        Log("client %llu: signalling packet of %d bytes with a bad CRC dropped", static_cast<unsigned long long>(c.id),
            length);
        return;
    }
    TUNNEL_CLIENT_DATA d;
    CTunnelDataParser::ParseClientFrame(content + 1, length - 3, &d);
    Log("client %llu: command %d", static_cast<unsigned long long>(c.id), d.command);
    switch (d.command) {
    case 1:
        HandleRegister(c, d);
        break;
    case 2:
        HandleInvite(c, d);
        break;
    case 3:
    case 4:
    case 5:
    case 6:
        HandleCallCommand(c, d);
        break;
    default:
        Log("client %llu: unknown command %d ignored", static_cast<unsigned long long>(c.id), d.command);
        break;
    }
}

void CTunnelServer::SendSignalling(Client& c, int command, Frame& frame)
{
    frame.Number(ELEMENT_TYPE_SIP_SERVER_COMMAND, command);
    std::uint8_t content[1 + sizeof frame.tlv];
    content[0] = CTunnelFrameCodec::kTypeSignalling;
    std::memcpy(content + 1, frame.tlv, static_cast<std::size_t>(frame.length));
    SendPacket(c, content, frame.length + 1);
}

void CTunnelServer::HandleRegister(Client& c, const TUNNEL_CLIENT_DATA& d)
{
    std::string user, password;
    Frame answer;
    if (!Decipher(d.userName, user) || !Decipher(d.password, password)) {
        Log("client %llu: registration with undecipherable credentials", static_cast<unsigned long long>(c.id));
        answer.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 400).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Bad Request");
        SendSignalling(c, 2, answer);
        return;
    }
    if (d.timestamp != c.timestamp && d.timestamp != c.previousTimestamp) {
        Log("client %llu: registration of %s with stale timestamp [%s]", static_cast<unsigned long long>(c.id),
            user.c_str(), d.timestamp);
        answer.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 403).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Stale Timestamp");
        SendSignalling(c, 2, answer);
        return;
    }
    if (!m_accounts.Check(user, password)) {
        Log("client %llu: registration of %s refused", static_cast<unsigned long long>(c.id), user.c_str());
        answer.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 403).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Forbidden");
        SendSignalling(c, 2, answer);
        return;
    }
    if (d.registrationTimeout == 0) {
        Log("client %llu: %s unregistered", static_cast<unsigned long long>(c.id), user.c_str());
        c.user.clear();
    } else {
        // A newer registration of the same user takes over its calls' destination.
        Client* other = FindUser(user);
        if (other != nullptr && other != &c)
            other->user.clear();
        c.user = user;
        Log("client %llu: %s registered for %d s", static_cast<unsigned long long>(c.id), user.c_str(),
            d.registrationTimeout);
    }
    answer.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 200)
        .Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "OK")
        .Text(ELEMENT_TYPE_SIP_FROM_USERNAME, user)
        .Text(ELEMENT_TYPE_SIP_FROM_HOST, d.fromHost);
    SendSignalling(c, 1, answer);
}

int CTunnelServer::NextRtpPort()
{
    int port = m_nextRtp;
    m_nextRtp += 2;
    if (m_nextRtp > 65000)
        m_nextRtp = m_options.rtpBase;
    return port;
}

CTunnelServer::Frame CTunnelServer::CallFrame(const Call& call, const Leg& leg, bool withMedia)
{
    Frame f;
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

void CTunnelServer::HandleInvite(Client& c, const TUNNEL_CLIENT_DATA& d)
{
    Frame fail;
    if (c.user.empty()) {
        fail.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 403).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Not Registered");
        SendSignalling(c, 11, fail);
        return;
    }
    std::vector<int> offered = ParseList(d.codecList);
    int payload = -1;
    for (int p : m_options.codecPreference)
        if (IndexOf(offered, p) >= 0 && FindCodec(p) != nullptr) {
            payload = p;
            break;
        }
    if (payload < 0) {
        fail.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 488).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Not Acceptable Here");
        SendSignalling(c, 11, fail);
        return;
    }
    std::string called = d.toUserName;
    bool echo = !m_options.echoNumber.empty() && called == m_options.echoNumber;
    Client* callee = echo ? nullptr : FindUser(called);
    if (!echo && callee == nullptr) {
        fail.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 404).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Not Found");
        SendSignalling(c, 11, fail);
        return;
    }
    if (InCall(c.id) || (callee != nullptr && (callee == &c || InCall(callee->id)))) {
        fail.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 486).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Busy Here");
        SendSignalling(c, 11, fail);
        return;
    }
    Call call;
    call.cid = m_nextCid++;
    call.tid = m_nextTid++;
    call.echo = echo;
    call.payload = payload;
    call.callerCodecs = d.codecList;
    call.caller = Leg{c.id, m_nextDid++, NextRtpPort(), c.user};
    call.callee = Leg{callee != nullptr ? callee->id : 0, m_nextDid++, NextRtpPort(), called};
    Log("call %d: %s -> %s%s, payload %d", call.cid, c.user.c_str(), called.c_str(), echo ? " (echo)" : "", payload);
    m_calls[call.cid] = call;

    Frame trying = CallFrame(call, call.caller, false);
    trying.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 100).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Trying");
    SendSignalling(c, 7, trying);
    if (echo) {
        m_calls[call.cid].answered = true;
        Frame answered = CallFrame(call, call.caller, true);
        answered.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 200).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "OK");
        SendSignalling(c, 9, answered);
        return;
    }
    Frame incoming = CallFrame(call, call.callee, true);
    incoming.Text(ELEMENT_TYPE_SIP_FROM_HOST, d.fromHost[0] != '\0' ? d.fromHost : m_options.listenAddress)
        .Text(ELEMENT_TYPE_SIP_TO_HOST, d.toHost);
    SendSignalling(*callee, 4, incoming);
}

void CTunnelServer::HandleCallCommand(Client& c, const TUNNEL_CLIENT_DATA& d)
{
    Call* call = FindCall(d.cid);
    if (call == nullptr || (call->caller.client != c.id && call->callee.client != c.id)) {
        Log("client %llu: command %d for unknown call %d ignored", static_cast<unsigned long long>(c.id), d.command,
            d.cid);
        return;
    }
    bool fromCallee = call->callee.client == c.id;
    Client* caller = FindClient(call->caller.client);
    Client* callee = FindClient(call->callee.client);
    switch (d.command) {
    case 3:
        if (fromCallee && caller != nullptr) {
            Frame f = CallFrame(*call, call->caller, false);
            f.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 180).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Ringing");
            SendSignalling(*caller, 8, f);
        }
        return;
    case 4:
        if (!fromCallee || call->answered)
            return;
        call->answered = true;
        Log("call %d answered", call->cid);
        if (caller != nullptr) {
            Frame f = CallFrame(*call, call->caller, true);
            f.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 200).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "OK");
            SendSignalling(*caller, 9, f);
        }
        {
            Frame f = CallFrame(*call, call->callee, true);
            f.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 200).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "OK");
            SendSignalling(c, 14, f);
        }
        return;
    case 5:
        if (!fromCallee || call->answered)
            return;
        if (caller != nullptr) {
            Frame f = CallFrame(*call, call->caller, false);
            f.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 486).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Busy Here");
            SendSignalling(*caller, 11, f);
        }
        Log("call %d rejected", call->cid);
        m_calls.erase(call->cid);
        return;
    case 6: {
        Client* other = fromCallee ? caller : callee;
        if (other != nullptr && other != &c) {
            const Leg& leg = fromCallee ? call->caller : call->callee;
            Frame f = CallFrame(*call, leg, false);
            f.Number(ELEMENT_TYPE_SIP_STATUS_CODE, call->answered ? 200 : 487)
                .Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, call->answered ? "Bye" : "Request Terminated");
            SendSignalling(*other, call->answered ? 17 : 15, f);
        }
        Log("call %d ended by %s", call->cid, fromCallee ? "the callee" : "the caller");
        m_calls.erase(call->cid);
        return;
    }
    default:
        return;
    }
}

void CTunnelServer::HandleMedia(Client& c, const std::uint8_t* rtp, int length)
{
    for (auto& [cid, call] : m_calls) {
        if (!call.answered || (call.caller.client != c.id && call.callee.client != c.id))
            continue;
        Client* to = call.echo ? &c : FindClient(call.caller.client == c.id ? call.callee.client : call.caller.client);
        if (to == nullptr)
            return;
        std::uint8_t content[3000];
        if (length < 0 || length + 1 > static_cast<int>(sizeof content))
            return;
        content[0] = CTunnelFrameCodec::kTypeMedia;
        std::memcpy(content + 1, rtp, static_cast<std::size_t>(length));
        SendPacket(*to, content, length + 1);
        return;
    }
}

void CTunnelServer::EndCallsOf(Client& c)
{
    for (auto it = m_calls.begin(); it != m_calls.end();) {
        Call& call = it->second;
        if (call.caller.client != c.id && call.callee.client != c.id) {
            ++it;
            continue;
        }
        Client* other = FindClient(call.caller.client == c.id ? call.callee.client : call.caller.client);
        if (other != nullptr && other != &c && !other->closing) {
            const Leg& leg = call.caller.client == c.id ? call.callee : call.caller;
            Frame f = CallFrame(call, leg, false);
            f.Number(ELEMENT_TYPE_SIP_STATUS_CODE, 408).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "Peer Gone");
            SendSignalling(*other, 17, f);
        }
        Log("call %d ended: a party left", call.cid);
        it = m_calls.erase(it);
    }
}

void CTunnelServer::Tick(std::time_t now)
{
    for (auto& [id, c] : m_clients) {
        if (c->closing)
            continue;
        if (now - c->lastActivity > m_options.idleTimeout) {
            Drop(*c, "idle");
            continue;
        }
        if (!c->user.empty() && m_options.timestampInterval > 0 &&
            now - c->lastTimestamp >= m_options.timestampInterval) {
            c->previousTimestamp = c->timestamp;
            c->timestamp = NewTimestamp();
            c->lastTimestamp = now;
            Frame f;
            f.Text(ELEMENT_TYPE_SIP_SERVER_TIMESTAMP, c->timestamp);
            SendSignalling(*c, 100, f);
        }
    }
}

CTunnelServer::Client* CTunnelServer::FindClient(std::uint64_t id)
{
    auto it = m_clients.find(id);
    return it == m_clients.end() || it->second->closing ? nullptr : it->second.get();
}

CTunnelServer::Client* CTunnelServer::FindUser(const std::string& user)
{
    for (auto& [id, c] : m_clients)
        if (!c->closing && c->user == user)
            return c.get();
    return nullptr;
}

CTunnelServer::Call* CTunnelServer::FindCall(int cid)
{
    auto it = m_calls.find(cid);
    return it == m_calls.end() ? nullptr : &it->second;
}

bool CTunnelServer::InCall(std::uint64_t client) const
{
    for (const auto& [cid, call] : m_calls)
        if (call.caller.client == client || call.callee.client == client)
            return true;
    return false;
}
