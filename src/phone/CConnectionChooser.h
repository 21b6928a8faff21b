#pragma once
// The automatic connection choice: the order in which the ways of signing in are tried, and
// which one is remembered for the next start. Plain state, no thread and no lock: the window
// asks it on its own thread and acts on the answers.
#include <chrono>
#include <vector>

class CConnectionChooser {
public:
    // The stored connection setting.
    enum Mode { MODE_SIP = 0, MODE_TUNNEL = 1, MODE_AUTO = 2 };
    // One way of signing in; the numbers are what is remembered.
    enum Way { WAY_NONE = -1, WAY_SIP = 0, WAY_TUNNEL = 1, WAY_TUNNEL_PROXY = 2 };

    // The registrar is given this long to answer before the next way is tried.
    static constexpr std::chrono::milliseconds kAnswerWait{2000};

    // SIP over UDP, the tunnel direct, then through the proxy when `proxySet`; the way that
    // worked last (`remembered`, WAY_NONE when unknown or no longer possible) comes first.
    CConnectionChooser(bool proxySet, int remembered);

    Way Current() const { return m_order[m_index]; }
    // Moves to the next way; false (staying on the last) when every way was tried.
    bool Advance();
    // A sign-in starts again from the first way.
    void Restart() { m_index = 0; }
    // The current way signed in: it is the one to remember (false when already remembered).
    bool Succeeded();
    int Remembered() const { return m_remembered; }
    const std::vector<Way>& Order() const { return m_order; }

    static bool IsTunnel(Way way) { return way == WAY_TUNNEL || way == WAY_TUNNEL_PROXY; }
    static const char* Name(Way way);

private:
    std::vector<Way> m_order;
    std::size_t m_index = 0;
    int m_remembered = WAY_NONE;
};
