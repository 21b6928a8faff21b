#pragma once
// Base of the devices without hardware: a thread keeps real time with
// absolute deadlines, so a slow frame does not make the clock drift. While the
// engine has nothing to do the thread rests and the clock goes on unseen: the
// derived device learns how long the rest was.
#include <atomic>
#include <thread>

#include "audio/CAudioDevice.h"
#include "audio/CRestGate.h"

class CPacedAudioDevice : public CAudioDevice {
public:
    ~CPacedAudioDevice() override;
    int Start(FrameCallback cb, std::string& error) override;
    void Stop() override;
    void Wake() override { m_gate.Wake(); }

protected:
    // Called on the device thread around each frame.
    virtual void ReadCapture(int16_t* capture, size_t samples) = 0;
    virtual void WritePlayback(const int16_t* playback, size_t samples) = 0;
    // Called on the device thread before a rest, and after it with the samples the clock ran meanwhile.
    virtual void RestBegins() { }
    virtual void RestEnded(size_t /*samples*/) { }
    // Called by Start before the thread runs; returns 0 or an MXSoundResult.
    virtual int Open(std::string& error) = 0;
    // Called by Stop after the thread has ended.
    virtual void Close() = 0;

private:
    void Run();

    FrameCallback m_callback;
    std::atomic<bool> m_running{false};
    CRestGate m_gate;
    std::thread m_thread;
};
