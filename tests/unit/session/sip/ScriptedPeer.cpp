#include "ScriptedPeer.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <osipparser2/osip_port.h>

#include "SipMessageBuilder.h"

namespace siptest {

Received::~Received()
{
    if (msg != nullptr)
        osip_message_free(msg);
}

std::string Received::Header(const char* name) const { return zelora::test::SipMessageBuilder::HeaderOf(text, name); }

std::string Received::Method() const { return msg != nullptr && msg->sip_method ? msg->sip_method : ""; }
int Received::Status() const { return msg != nullptr ? msg->status_code : 0; }

std::string Received::Branch() const
{
    auto* via = msg ? static_cast<osip_via_t*>(osip_list_get(&msg->vias, 0)) : nullptr;
    osip_generic_param_t* b = nullptr;
    if (via == nullptr || osip_via_param_get_byname(via, const_cast<char*>("branch"), &b) != 0 || b == nullptr ||
        b->gvalue == nullptr)
        return {};
    return b->gvalue;
}

static std::string TagOf(osip_from_t* h)
{
    osip_generic_param_t* t = nullptr;
    if (h == nullptr || osip_from_get_tag(h, &t) != 0 || t == nullptr || t->gvalue == nullptr)
        return {};
    return t->gvalue;
}

std::string Received::FromTag() const { return msg ? TagOf(msg->from) : ""; }
std::string Received::ToTag() const { return msg ? TagOf(msg->to) : ""; }
std::string Received::CallId() const
{
    if (msg == nullptr || msg->call_id == nullptr || msg->call_id->number == nullptr)
        return {};
    std::string id = msg->call_id->number;
    if (msg->call_id->host != nullptr)
        id += std::string("@") + msg->call_id->host;
    return id;
}
int Received::CSeq() const { return msg && msg->cseq && msg->cseq->number ? std::atoi(msg->cseq->number) : -1; }

ScriptedPeer::ScriptedPeer(const std::string& ip, int port) : m_ip(ip), m_port(port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &sa.sin_addr);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
        m_fd = fd;
    } else if (fd >= 0) {
        ::close(fd);
    }
}

ScriptedPeer::~ScriptedPeer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void ScriptedPeer::Send(const std::string& text, const std::string& ip, int port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
    sendto(m_fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::optional<Received> ScriptedPeer::ReadOne(std::chrono::milliseconds timeout)
{
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return std::nullopt;
    std::string buf(70000, '\0');
    ssize_t n = recv(m_fd, buf.data(), buf.size(), 0);
    if (n <= 0)
        return std::nullopt;
    buf.resize(static_cast<size_t>(n));
    Received r;
    r.text = buf;
    osip_message_init(&r.msg);
    if (osip_message_parse(r.msg, buf.data(), buf.size()) != 0) {
        osip_message_free(r.msg);
        r.msg = nullptr;
    }
    return r;
}

static bool Matches(const Received& r, const std::string& filter)
{
    if (filter.empty())
        return true;
    if (r.msg == nullptr)
        return false;
    if (r.msg->status_code != 0)
        return filter == std::to_string(r.msg->status_code) ||
            filter == std::to_string(r.msg->status_code) + "/" + (r.msg->cseq ? r.msg->cseq->method : "");
    return filter == r.Method();
}

std::optional<Received> ScriptedPeer::Next(std::chrono::milliseconds timeout, const std::string& filter)
{
    for (auto it = m_held.begin(); it != m_held.end(); ++it) {
        if (Matches(*it, filter)) {
            Received r = std::move(*it);
            m_held.erase(it);
            return r;
        }
    }
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        auto r = ReadOne(left);
        if (!r)
            return std::nullopt;
        if (Matches(*r, filter))
            return r;
        m_held.push_back(std::move(*r));
    }
}

int ScriptedPeer::CountFor(std::chrono::milliseconds window, const std::string& filter)
{
    int count = 0;
    auto deadline = std::chrono::steady_clock::now() + window;
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        auto r = Next(left, filter);
        if (!r)
            break;
        ++count;
    }
    return count;
}

AgentFixture::AgentFixture(const std::string& localIp, const char* userAgent)
{
    setenv("ZELORA_LOCAL_ADDRESS", localIp.c_str(), 1);
    if (eXosip_init() != 0)
        return;
    if (eXosip_listen_addr(IPPROTO_UDP, nullptr, 5060, AF_INET, 0) != 0) {
        eXosip_quit();
        return;
    }
    eXosip_set_user_agent(userAgent);
    m_ok = true;
}

AgentFixture::~AgentFixture()
{
    if (m_ok)
        eXosip_quit();
    unsetenv("ZELORA_LOCAL_ADDRESS");
}

eXosip_event_t* AgentFixture::WaitEvent(int type, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        eXosip_event_t* ev = eXosip_event_wait(0, 50);
        if (ev == nullptr)
            continue;
        if (ev->type == type)
            return ev;
        eXosip_event_free(ev);
    }
    return nullptr;
}

std::vector<int> AgentFixture::DrainEvents(std::chrono::milliseconds window)
{
    std::vector<int> types;
    auto deadline = std::chrono::steady_clock::now() + window;
    while (std::chrono::steady_clock::now() < deadline) {
        eXosip_event_t* ev = eXosip_event_wait(0, 50);
        if (ev == nullptr)
            continue;
        types.push_back(ev->type);
        eXosip_event_free(ev);
    }
    return types;
}

std::string MakeResponse(const Received& request, int status, const std::string& reason, const std::string& toTag,
                         const std::string& extra, const std::string& body)
{
    return zelora::test::SipMessageBuilder::ResponseTo(request.text, status, reason, toTag)
        .Lines(extra)
        .Body({}, body)
        .Text();
}

} // namespace siptest
