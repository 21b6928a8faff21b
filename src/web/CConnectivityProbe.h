#pragma once
// The connectivity probe's bookkeeping: consecutive failures, network-available and probe-done
// flags. Five failures in a row mean the network is gone.
#include <atomic>

class CConnectivityProbe {
public:
    static constexpr int kFailuresToSignOut = 5;

    // One probe outcome. True when this failure completes five in a row: the caller then
    // drops the call and signs out; the counter is back at 0.
    bool RecordResult(bool success);

    int Failures() const { return m_failures.load(); }
    bool NetworkAvailable() const { return m_networkAvailable.load(); }
    bool ProbeDone() const { return m_probeDone.load(); }
    void ClearProbeDone() { m_probeDone.store(false); }

private:
    std::atomic<int> m_failures{0};
    std::atomic<bool> m_networkAvailable{false};
    std::atomic<bool> m_probeDone{false};
};
