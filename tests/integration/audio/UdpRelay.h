#pragma once
// A test-owned UDP relay between two media endpoints that loses and delays
// packets with a fixed seed, so that a bad network is the same every run.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

class UdpRelay {
public:
    // Listens on listenIp:port; what comes from a goes to b and the other way round.
    UdpRelay(const std::string& listenIp, int port, const std::string& aIp, const std::string& bIp, int peerPort,
             double loss, int maxDelayMs, unsigned seed)
        : m_loss(loss), m_maxDelayMs(maxDelayMs), m_rng(seed)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local = Addr(listenIp, port);
        m_ok = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
        m_a = Addr(aIp, peerPort);
        m_b = Addr(bIp, peerPort);
        if (m_ok) {
            m_rx = std::thread([this] { Receive(); });
            m_tx = std::thread([this] { Forward(); });
        }
    }
    ~UdpRelay()
    {
        m_stop = true;
        m_cv.notify_all();
        if (m_rx.joinable())
            m_rx.join();
        if (m_tx.joinable())
            m_tx.join();
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Ok() const { return m_ok; }
    int Received() const { return m_received; }
    int Dropped() const { return m_dropped; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        std::vector<uint8_t> data;
        sockaddr_in to;
    };

    static sockaddr_in Addr(const std::string& ip, int port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
        return a;
    }

    void Receive()
    {
        uint8_t buf[2048];
        std::uniform_real_distribution<double> coin(0.0, 1.0);
        std::uniform_int_distribution<int> delay(0, m_maxDelayMs);
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0)
                continue;
            ++m_received;
            const bool fromA = from.sin_addr.s_addr == m_a.sin_addr.s_addr;
            if (coin(m_rng) < m_loss) {
                ++m_dropped;
                continue;
            }
            const auto due = Clock::now() + std::chrono::milliseconds(delay(m_rng));
            std::lock_guard<std::mutex> g(m_lock);
            m_queue.emplace(due, Pending{std::vector<uint8_t>(buf, buf + n), fromA ? m_b : m_a});
            m_cv.notify_all();
        }
    }

    void Forward()
    {
        std::unique_lock<std::mutex> g(m_lock);
        while (!m_stop) {
            if (m_queue.empty()) {
                m_cv.wait_for(g, std::chrono::milliseconds(50));
                continue;
            }
            auto first = m_queue.begin();
            if (first->first > Clock::now()) {
                m_cv.wait_until(g, first->first);
                continue;
            }
            Pending p = std::move(first->second);
            m_queue.erase(first);
            g.unlock();
            sendto(m_fd, p.data.data(), p.data.size(), 0, reinterpret_cast<sockaddr*>(&p.to), sizeof p.to);
            g.lock();
        }
    }

    double m_loss;
    int m_maxDelayMs;
    std::mt19937 m_rng;
    int m_fd = -1;
    bool m_ok = false;
    sockaddr_in m_a{}, m_b{};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_received{0}, m_dropped{0};
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::multimap<Clock::time_point, Pending> m_queue;
    std::thread m_rx, m_tx;
};
