#pragma once
// Capture from a sound file (looped), playback mixed into a WAV file: the
// device for headless machines and tests. Both files (and libsndfile) are opened at the
// engine's first sound, not at start; the recording still covers the whole time the device ran.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/CPacedAudioDevice.h"

struct SndFileApi;

class CFileAudioDevice : public CPacedAudioDevice {
public:
    // An empty capture path captures silence.
    CFileAudioDevice(std::string capturePath, std::string playbackPath);
    ~CFileAudioDevice() override;
    std::string Name() const override;
    void Wake() override;

protected:
    void ReadCapture(int16_t* capture, size_t samples) override;
    void WritePlayback(const int16_t* playback, size_t samples) override;
    void RestBegins() override;
    void RestEnded(size_t samples) override;
    int Open(std::string& error) override;
    void Close() override;

private:
    // Samples for the file, or (when samples is empty) that much silence: the rests of the
    // device, which may last hours, cost no memory.
    struct Segment {
        std::vector<int16_t> samples;
        size_t silence = 0;
    };
    void WriterLoop();
    void WriteSegment(const Segment& segment);
    void WakeWriter();
    // Loads the capture and creates the recording once; m_prepareLock held.
    void PrepareLocked();
    void OpenPlaybackLocked();

    std::string m_capturePath;
    std::string m_playbackPath;
    std::mutex m_prepareLock;
    bool m_open = false; // between Open and Close
    bool m_prepared = false;
    std::vector<int16_t> m_capture; // written before m_captureReady, read after it
    std::atomic<bool> m_captureReady{false};
    // Device thread only: whether it took up the capture, and the samples the clock ran before.
    bool m_captureTaken = false;
    size_t m_elapsed = 0;
    size_t m_capturePos = 0;
    void* m_playback = nullptr; // SNDFILE*, kept out of this header; set under m_pendingLock
    const SndFileApi* m_sf = nullptr; // set with m_playback
    // The device clock must never wait for the disk: a writer thread takes
    // the samples and the clock thread only appends them here, waking the
    // writer once a batch is full or before a rest, not every frame.
    std::mutex m_pendingLock;
    std::condition_variable m_pendingReady;
    static constexpr size_t kBatchSamples = kSampleRate / 4;
    std::deque<Segment> m_pending;
    size_t m_pendingSamples = 0;
    bool m_flush = false;
    bool m_closing = false;
    std::thread m_writer;
};
