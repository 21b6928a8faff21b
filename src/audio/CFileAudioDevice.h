#pragma once
// Capture from a sound file (looped), playback mixed into a WAV file: the
// device for headless machines and tests.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/CPacedAudioDevice.h"

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
    void WriterLoop();

    std::string m_capturePath;
    std::string m_playbackPath;
    std::vector<int16_t> m_capture;
    size_t m_capturePos = 0;
    void* m_playback = nullptr; // SNDFILE*, kept out of this header
    // The device clock must never wait for the disk: a writer thread takes
    // the samples and the clock thread only appends them here.
    std::mutex m_pendingLock;
    std::condition_variable m_pendingReady;
    std::vector<int16_t> m_pending;
    bool m_closing = false;
    std::thread m_writer;
};
