#pragma once
// The automatic connection choice: the order in which the ways of signing in are tried, and
// which one is remembered for the next start. Plain state, no thread and no lock: the window
// guards it and acts on the answers.
#include <chrono>
#include <cstddef>
#include <vector>

class CConnectionChooser {
public:
    // The stored connection setting (HttpUseTunnel).
    enum Mode { MODE_SIP = 0, MODE_TUNNEL = 1, MODE_AUTO = 2 };
    // One way of signing in; the numbers are what is stored as LastConnection (0: none yet).
    enum Way { WAY_NONE = 0, WAY_SIP = 1, WAY_TUNNEL = 2, WAY_TUNNEL_PROXY = 3 };

    // The registrar is given this long to answer before the next way is tried.
    static constexpr std::chrono::milliseconds kAnswerWait{2000};

    // SIP over UDP, the tunnel direct, then through the proxy when `proxySet`; the way that
    // worked last (`remembered`; unknown or no longer possible ones are ignored) comes first.
    CConnectionChooser(bool proxySet, int remembered);

    Way Current() const { return m_order[m_index]; }
    // A sign-in starts: it goes by the current way first, then by the others in turn.
    void BeginSignIn() { m_tried = 1; }
    // Moves on to the next way not yet tried by this sign-in; false when none is left.
    bool Advance();
    // The current way signed in: true when it is not the remembered one yet (store it).
    bool Succeeded();
    int Remembered() const { return m_remembered; }
    const std::vector<Way>& Order() const { return m_order; }

    static bool IsTunnel(Way way) { return way == WAY_TUNNEL || way == WAY_TUNNEL_PROXY; }
    static const char* Name(Way way);

private:
    std::vector<Way> m_order;
    std::size_t m_index = 0;
    std::size_t m_tried = 1;
    int m_remembered = WAY_NONE;
};
