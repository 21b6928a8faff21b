#pragma once
// Decides when a phone that was signed in signs in again by itself: a periodic re-registration
// that finds a registrar which forgot us, a backoff while the registrar or tunnel is away, and
// an immediate attempt after the process slept (suspend, SIGSTOP). Plain state, no thread and
// no lock of its own: the session core calls it under its lock and acts on the answers.
#include <chrono>
#include <string>

class CReconnectPolicy {
public:
    using Clock = std::chrono::steady_clock;
    using Seconds = std::chrono::seconds;

    struct Settings {
        Seconds bindingCheck{120}; // re-registration while signed in, besides the keep-alive's own check
        Seconds answerTimeout{5}; // an unanswered re-registration after this means the line is down
        Seconds maxBackoff{60};
        Seconds sleepThreshold{5}; // a tick this much late: the machine or process slept
    };

    CReconnectPolicy() = default;
    explicit CReconnectPolicy(Settings settings) : m_settings(settings) { }

    // The user signs in: what becomes of this attempt is the user's to see.
    void SignInStarted();
    // The user signed out, or the account was refused: nothing is retried.
    void SignedOut();

    void OnRegistered(Clock::time_point now);
    // True when the time-out belongs to a recovery and the window is not to hear of it.
    bool OnRegistrationTimeout(Clock::time_point now);
    // A refused registration; after the third in a row (the window's own rule) recovery ends.
    void OnRegistrationFailure(Clock::time_point now);
    // The keep-alive failed or the tunnel closed while signed in.
    void OnConnectionLost(Clock::time_point now);
    // Our own attempt could not even be sent (no connection to the tunnel server).
    void OnAttemptFailed(Clock::time_point now);

    // The address that routes to the registrar, looked up now and then ("" when none). A change
    // while signed in: true, register now so that Contact and SDP follow it.
    bool OnLocalAddress(const std::string& address, Clock::time_point now);
    // The address a registration just succeeded from: what later lookups are compared with.
    void NoteLocalAddress(const std::string& address)
    {
        if (!address.empty())
            m_localAddress = address;
    }

    // One keep-alive tick; `late` is how much later than planned it came. True: register now.
    bool Tick(Clock::time_point now, Clock::duration late);

    bool Recovering() const { return m_state == State::Recovering; }
    bool SignedIn() const { return m_state == State::Registered || m_state == State::Recovering; }
    int Attempts() const { return m_attempts; }
    // The wait before the attempt after `attempts` failed ones: 1, 2, 4 ... capped.
    Seconds Backoff(int attempts) const;
    // The text for the display while recovery works ("" once done); true when it changed.
    bool TakeStatus(std::string& text);

private:
    enum class State { Idle, SigningIn, Registered, Recovering };

    void StartRecovery(Clock::time_point now, Clock::time_point firstAttempt, const char* reason);
    void ScheduleRetry(Clock::time_point now);
    void SetStatus(std::string text);

    Settings m_settings;
    State m_state = State::Idle;
    Clock::time_point m_lastRegister{};
    Clock::time_point m_nextAttempt{};
    bool m_inFlight = false; // a REGISTER of ours waits for its answer
    Clock::time_point m_sentAt{};
    int m_attempts = 0;
    int m_refusals = 0;
    std::string m_status;
    std::string m_localAddress;
    bool m_statusChanged = false;
};
