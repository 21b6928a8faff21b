#pragma once
// One direction of the presence command bus: a locked, unbounded queue of envelopes.
// The writer gives up the envelope and its record on WriteMessage; the reader owns both
// after Readmessage.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

class CPresenceData;

struct CFifoMessage {
    std::int32_t command = 0;
    CPresenceData* data = nullptr;
};

class CFifo {
public:
    static constexpr int kWritten = 1;
    static constexpr int kRead = 2;
    static constexpr int kEmpty = -1;

    CFifo() = default;
    // Envelopes still queued are destroyed with their records: nothing else can reach them.
    ~CFifo();
    CFifo(const CFifo&) = delete;
    CFifo& operator=(const CFifo&) = delete;

    int WriteMessage(CFifoMessage* message);
    // Oldest envelope (2) or null (-1).
    int Readmessage(CFifoMessage*& message);
    // As Readmessage, but waits up to `milliseconds` for an envelope instead of polling.
    int WaitMessage(CFifoMessage*& message, int milliseconds);
    std::size_t Size() const;
    // Destroys every queued envelope (the sides that wrote and would read them are gone): how many.
    std::size_t DiscardAll();

    // Process-wide queues, one per direction.
    static CFifo& XmppFifo();
    static CFifo& GuiFifo();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<CFifoMessage*> m_queue;
};

// Builds the envelope and queues it; the record belongs to the reader from here on.
void PresenceWrite(CFifo& fifo, std::int32_t command, CPresenceData* data);
// Reader's rule: destroys what the handler did not keep, then the envelope.
void PresenceRelease(CFifoMessage* message);
