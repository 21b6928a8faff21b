#pragma once
// DTMF key tones (spandsp): 100 ms tone, 50 ms pause per key, queued in order.
#include <cstddef>
#include <cstdint>
#include <memory>

class CTonePlayer {
public:
    static constexpr int kToneMs = 100;
    static constexpr int kPauseMs = 50;

    CTonePlayer();
    ~CTonePlayer();
    CTonePlayer(const CTonePlayer&) = delete;
    CTonePlayer& operator=(const CTonePlayer&) = delete;

    // Key codes 0-9, 10 "*", 11 "#"; '\0' for anything else.
    static char KeyChar(int key);
    // Queues one key; false when the key is invalid or the queue is full.
    bool Queue(int key);
    // Writes up to n samples of tone (pauses as zeros); returns the count written,
    // 0 when nothing is queued or playing. The rest of out is left alone.
    size_t Generate(int16_t* out, size_t n);
    bool Active() const { return m_active; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_active = false;
};
