#pragma once
// Where a device thread rests while the engine has nothing to play or send:
// it blocks instead of ticking, and the engine's next sound opens the gate.
// A wake that comes before the rest is kept, so none is lost in between.
#include <atomic>

#include "platform/Event.h"

class CRestGate {
public:
    // Opens the gate for the next (or the current) rest.
    void Wake() { m_wake.Set(); }
    // Ends every rest for good: the device is stopping.
    void Close();
    // Allows rests again after Close, for a device started anew.
    void Reset();
    // Blocks until Wake or Close; returns false once closed.
    bool Rest();

private:
    zelora::Event m_wake;
    std::atomic<bool> m_closed{false};
};
