#pragma once
// Base of the devices without hardware: a thread keeps real time with
// absolute 10 ms deadlines, so a slow frame does not make the clock drift.
#include <atomic>
#include <thread>

#include "audio/CAudioDevice.h"

class CPacedAudioDevice : public CAudioDevice {
public:
    ~CPacedAudioDevice() override;
    int Start(FrameCallback cb, std::string& error) override;
    void Stop() override;

protected:
    // Called on the device thread around each frame.
    virtual void ReadCapture(int16_t* capture, size_t samples) = 0;
    virtual void WritePlayback(const int16_t* playback, size_t samples) = 0;
    // Called by Start before the thread runs; returns 0 or an MXSoundResult.
    virtual int Open(std::string& error) = 0;
    // Called by Stop after the thread has ended.
    virtual void Close() = 0;

private:
    void Run();

    FrameCallback m_callback;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
