#pragma once
// A duplex sound device at 8 kHz mono 16-bit that hands the engine one 10 ms
// frame at a time: capture in, playback out.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CAudioDevice {
public:
    static constexpr int kSampleRate = 8000;
    // 20 ms, the packet time of the calls: one wake-up of the device thread per packet.
    static constexpr size_t kFrameSamples = 160;

    // Returns whether the engine still has something to play or send; on false the device
    // rests (no frames, no wake-ups) until Wake().
    using FrameCallback = std::function<bool(const int16_t* capture, int16_t* playback, size_t samples)>;

    virtual ~CAudioDevice() = default;
    // Starts calling cb from the device's own thread. Returns 0 or an MXSoundResult with error.
    virtual int Start(FrameCallback cb, std::string& error) = 0;
    // Stops the thread; no callback runs after it returns. Files are complete then.
    virtual void Stop() = 0;
    // Ends a rest: the engine has a sound again. Any thread; harmless while running.
    virtual void Wake() = 0;
    virtual std::string Name() const = 0;

    // Device for a setting: "null", "file:<capture.wav>:<playback.wav>", "portaudio", or ""
    // for PortAudio. Returns nullptr with code and error for a setting it cannot use.
    static std::unique_ptr<CAudioDevice> Create(const std::string& setting, int& code, std::string& error);
};
