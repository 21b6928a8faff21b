#pragma once
// The desktop's sound card through PortAudio, in blocking mode on a thread of
// ours, so that the engine's frame work may take locks.
#include <atomic>
#include <thread>

#include "audio/CAudioDevice.h"
#include "audio/CRestGate.h"

struct PortAudioApi;

class CPortAudioDevice : public CAudioDevice {
public:
    CPortAudioDevice() = default;
    ~CPortAudioDevice() override;
    int Start(FrameCallback cb, std::string& error) override;
    void Stop() override;
    void Wake() override { m_gate.Wake(); }
    std::string Name() const override { return "portaudio"; }

private:
    void Run();
    void Release();
    // Stops the stream while the engine has nothing to play; false when the device is stopping.
    bool Rest();

    FrameCallback m_callback;
    const PortAudioApi* m_pa = nullptr; // loaded at the first Start
    void* m_stream = nullptr; // PaStream*
    bool m_initialised = false;
    bool m_hasInput = false;
    std::atomic<bool> m_running{false};
    CRestGate m_gate;
    std::thread m_thread;
};
