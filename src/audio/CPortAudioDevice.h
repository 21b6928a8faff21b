#pragma once
// The desktop's sound card through PortAudio, in blocking mode on a thread of
// ours, so that the engine's frame work may take locks.
#include <atomic>
#include <thread>

#include "audio/CAudioDevice.h"

class CPortAudioDevice : public CAudioDevice {
public:
    CPortAudioDevice() = default;
    ~CPortAudioDevice() override;
    int Start(FrameCallback cb, std::string& error) override;
    void Stop() override;
    std::string Name() const override { return "portaudio"; }

private:
    void Run();
    void Release();

    FrameCallback m_callback;
    void* m_stream = nullptr; // PaStream*
    bool m_initialised = false;
    bool m_hasInput = false;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
