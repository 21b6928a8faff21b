#include "audio/CFileAudioDevice.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "audio/AudioResult.h"
#include "app/CLogger.h"
#include "audio/CAudioLibraries.h"
#include "audio/CSoundFile.h"

CFileAudioDevice::CFileAudioDevice(std::string capturePath, std::string playbackPath)
    : m_capturePath(std::move(capturePath)), m_playbackPath(std::move(playbackPath))
{
}

CFileAudioDevice::~CFileAudioDevice()
{
    Stop();
    Close();
}

std::string CFileAudioDevice::Name() const { return "file:" + m_capturePath + ":" + m_playbackPath; }

int CFileAudioDevice::Open(std::string& error)
{
    ZLOG_SCOPE();
    // Only what can be told without the sound library fails the start; a capture file that
    // is no sound file fails at the first sound, which then captures silence.
    if (!m_capturePath.empty() && access(m_capturePath.c_str(), R_OK) != 0) {
        error = "Unable to open sound file " + m_capturePath + ": " + std::strerror(errno);
        ZLOG(LOG_ERROR, "%s", error.c_str());
        return MXSOUND_ERROR_FILE;
    }
    {
        std::lock_guard<std::mutex> guard(m_prepareLock);
        m_open = true;
        m_prepared = false;
        m_capture.clear();
        m_captureReady = false;
    }
    m_captureTaken = false;
    m_elapsed = 0;
    m_capturePos = 0;
    m_closing = false;
    m_pending.clear();
    m_pendingSamples = 0;
    m_flush = false;
    try {
        m_writer = std::thread(&CFileAudioDevice::WriterLoop, this);
    } catch (const std::exception& e) {
        error = std::string("Unable to start the file writer: ") + e.what();
        ZLOG(LOG_ERROR, "Unable to start the file writer: %s", e.what());
        return MXSOUND_ERROR_RESOURCE;
    }
    return MXSOUND_OK;
}

void CFileAudioDevice::Wake()
{
    {
        std::lock_guard<std::mutex> guard(m_prepareLock);
        PrepareLocked();
    }
    CPacedAudioDevice::Wake();
}

void CFileAudioDevice::PrepareLocked()
{
    if (!m_open || m_prepared)
        return;
    m_prepared = true;
    std::string error;
    if (!m_capturePath.empty() && CSoundFile::Load(m_capturePath, kSampleRate, m_capture, error) != 0)
        ZLOG(LOG_ERROR, "Capturing silence: %s", error.c_str());
    m_captureReady.store(true, std::memory_order_release);
    OpenPlaybackLocked();
    ZLOG(LOG_DEBUG, "Capture %s (%zu samples), playback %s", m_capturePath.c_str(), m_capture.size(),
         m_playbackPath.c_str());
}

void CFileAudioDevice::OpenPlaybackLocked()
{
    if (!m_open || m_playback != nullptr)
        return;
    std::string error;
    const SndFileApi* sf = CAudioLibraries::SndFile(error);
    if (sf == nullptr)
        return;
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf->Open(m_playbackPath.c_str(), SFM_WRITE, &info);
    if (out == nullptr) {
        ZLOG(LOG_ERROR, "Unable to create playback file %s: %s", m_playbackPath.c_str(), sf->StrError(nullptr));
        return;
    }
    // A process that dies before Close still leaves a file with the right length.
    sf->Command(out, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        m_sf = sf;
        m_playback = out;
        m_flush = true;
    }
    m_pendingReady.notify_one();
}

void CFileAudioDevice::Close()
{
    ZLOG_SCOPE();
    if (m_writer.joinable()) {
        {
            // A device that never sounded still leaves its recording, silence as long as it ran.
            std::lock_guard<std::mutex> guard(m_prepareLock);
            OpenPlaybackLocked();
            m_open = false;
        }
        {
            std::lock_guard<std::mutex> guard(m_pendingLock);
            m_closing = true;
        }
        m_pendingReady.notify_one();
        m_writer.join();
    }
    std::lock_guard<std::mutex> guard(m_pendingLock);
    if (m_playback) {
        m_sf->Close(static_cast<SNDFILE*>(m_playback));
        m_playback = nullptr;
    }
}

void CFileAudioDevice::ReadCapture(int16_t* capture, size_t samples)
{
    if (!m_captureTaken && m_captureReady.load(std::memory_order_acquire)) {
        // The capture runs on from where it would be had it been there from the start.
        m_captureTaken = true;
        m_capturePos = m_capture.empty() ? 0 : m_elapsed % m_capture.size();
    }
    if (!m_captureTaken)
        m_elapsed += samples;
    if (!m_captureTaken || m_capture.empty()) {
        std::fill(capture, capture + samples, int16_t(0));
        return;
    }
    for (size_t done = 0; done < samples;) {
        const size_t take = std::min(samples - done, m_capture.size() - m_capturePos);
        std::copy_n(m_capture.data() + m_capturePos, take, capture + done);
        done += take;
        m_capturePos = (m_capturePos + take) % m_capture.size();
    }
}

void CFileAudioDevice::WritePlayback(const int16_t* playback, size_t samples)
{
    bool full = false;
    {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        if (m_pending.empty() || m_pending.back().samples.empty())
            m_pending.emplace_back();
        m_pending.back().samples.insert(m_pending.back().samples.end(), playback, playback + samples);
        m_pendingSamples += samples;
        full = m_pendingSamples >= kBatchSamples;
    }
    if (full)
        WakeWriter();
}

void CFileAudioDevice::RestBegins() { WakeWriter(); }

void CFileAudioDevice::RestEnded(size_t samples)
{
    if (samples == 0)
        return;
    if (!m_captureTaken)
        m_elapsed += samples;
    else if (!m_capture.empty())
        m_capturePos = (m_capturePos + samples) % m_capture.size();
    std::lock_guard<std::mutex> guard(m_pendingLock);
    m_pending.push_back(Segment{{}, samples});
}

void CFileAudioDevice::WakeWriter()
{
    {
        std::lock_guard<std::mutex> guard(m_pendingLock);
        m_pendingSamples = 0;
        m_flush = true;
    }
    m_pendingReady.notify_one();
}

void CFileAudioDevice::WriteSegment(const Segment& segment)
{
    auto* file = static_cast<SNDFILE*>(m_playback);
    static const std::vector<int16_t> silence(kSampleRate);
    for (size_t left = segment.samples.empty() ? segment.silence : segment.samples.size(); left > 0;) {
        const int16_t* data =
            segment.samples.empty() ? silence.data() : segment.samples.data() + segment.samples.size() - left;
        const size_t take = segment.samples.empty() ? std::min(left, silence.size()) : left;
        const auto frames = static_cast<sf_count_t>(take);
        if (m_sf->WriteShort(file, data, frames) != frames) {
            ZLOG(LOG_ERROR, "Unable to write playback file %s: %s", m_playbackPath.c_str(), m_sf->StrError(file));
            return;
        }
        left -= take;
    }
}

void CFileAudioDevice::WriterLoop()
{
    ZLOG_SCOPE();
    std::deque<Segment> batch;
    std::unique_lock<std::mutex> guard(m_pendingLock);
    for (;;) {
        // Until the recording exists its segments wait here: a resting device adds few.
        m_pendingReady.wait(guard, [this] { return m_closing || (m_flush && m_playback != nullptr); });
        m_flush = false;
        batch.swap(m_pending);
        const bool closing = m_closing;
        const bool writable = m_playback != nullptr;
        guard.unlock();
        for (const Segment& segment : batch)
            if (writable)
                WriteSegment(segment);
        batch.clear();
        guard.lock();
        // Everything queued before the close is written first.
        if (closing && m_pending.empty())
            return;
    }
}
