#include "RawSipPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

#include "SipMessageBuilder.h"

namespace zelora::test {

RawSipPeer::~RawSipPeer()
{
    if (m_fd >= 0)
        close(m_fd);
}

std::string RawSipPeer::Open(const std::string& ip, int port)
{
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return std::string("socket: ") + std::strerror(errno);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1)
        return "bad address " + ip;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return "bind " + ip + ":" + std::to_string(port) + ": " + std::strerror(errno);
    socklen_t len = sizeof addr;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_ip = ip;
    return {};
}

bool RawSipPeer::Send(const std::string& message, const std::string& ip, int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (m_fd < 0 || inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1)
        return false;
    return sendto(m_fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr) ==
        static_cast<ssize_t>(message.size());
}

std::string RawSipPeer::Receive(int timeoutMs)
{
    if (m_fd < 0)
        return {};
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0)
        return {};
    char buffer[65536];
    ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string RawSipPeer::ReceiveStartingWith(const std::string& prefix, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        std::string m = Receive(static_cast<int>(left.count()));
        if (m.rfind(prefix, 0) == 0)
            return m;
    }
}

std::string RawSipPeer::Header(const std::string& message, const std::string& name)
{
    return SipMessageBuilder::HeaderOf(message, name);
}

std::string RawSipPeer::Body(const std::string& message)
{
    std::size_t at = message.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : message.substr(at + 4);
}

std::string RawSipPeer::Tag(const std::string& headerValue)
{
    std::size_t at = headerValue.find(";tag=");
    if (at == std::string::npos)
        return {};
    std::size_t end = headerValue.find_first_of(";> ", at + 5);
    return headerValue.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
}

int RawSipPeer::Status(const std::string& message)
{
    if (message.rfind("SIP/2.0 ", 0) != 0)
        return 0;
    return std::atoi(message.c_str() + 8);
}

bool SipServerAnswers(const std::string& ip, int port, int timeoutMs)
{
    RawSipPeer probe;
    if (!probe.Open("127.0.0.1").empty())
        return false;
    std::mt19937 rng(std::random_device{}());
    std::string id = std::to_string(rng());
    std::string local = "127.0.0.1:" + std::to_string(probe.Port());
    std::string options = SipMessageBuilder::Request("OPTIONS", "sip:" + ip + ":" + std::to_string(port))
                              .Header("Via", "SIP/2.0/UDP " + local + ";branch=z9hG4bK" + id + ";rport")
                              .Header("From", "<sip:probe@" + local + ">;tag=" + id)
                              .Header("To", "<sip:" + ip + ">")
                              .Header("Call-ID", id + "@127.0.0.1")
                              .Header("CSeq", "1 OPTIONS")
                              .Header("Max-Forwards", "70")
                              .Text();
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        probe.Send(options, ip, port);
        std::string reply = probe.Receive(100);
        if (RawSipPeer::Status(reply) == 200)
            return true;
    }
    return false;
}

} // namespace zelora::test
