#pragma once
// Capture from a sound file (looped), playback mixed into a WAV file: the
// device for headless machines and tests.
#include <cstdint>
#include <string>
#include <vector>

#include "CPacedAudioDevice.h"

class CFileAudioDevice : public CPacedAudioDevice {
public:
    // An empty capture path captures silence.
    CFileAudioDevice(std::string capturePath, std::string playbackPath);
    ~CFileAudioDevice() override;
    std::string Name() const override;

protected:
    void ReadCapture(int16_t* capture, size_t samples) override;
    void WritePlayback(const int16_t* playback, size_t samples) override;
    int Open(std::string& error) override;
    void Close() override;

private:
    std::string m_capturePath;
    std::string m_playbackPath;
    std::vector<int16_t> m_capture;
    size_t m_capturePos = 0;
    void* m_playback = nullptr;   // SNDFILE*, kept out of this header
};
