#pragma once
// Silence in, nothing out, at real-time pace.
#include "audio/CPacedAudioDevice.h"

class CNullAudioDevice : public CPacedAudioDevice {
public:
    ~CNullAudioDevice() override { Stop(); }
    std::string Name() const override { return "null"; }

protected:
    void ReadCapture(int16_t* capture, size_t samples) override;
    void WritePlayback(const int16_t*, size_t) override { }
    int Open(std::string&) override { return 0; }
    void Close() override { }
};
