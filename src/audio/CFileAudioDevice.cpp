#include "CFileAudioDevice.h"

#include <sndfile.h>

#include <algorithm>

#include "AudioResult.h"
#include "CLogger.h"
#include "CSoundFile.h"

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
    ZLOG_SCOPE("CFileAudioDevice::Open");
    m_capture.clear();
    m_capturePos = 0;
    if (!m_capturePath.empty() && CSoundFile::Load(m_capturePath, kSampleRate, m_capture, error) != 0)
        return MXSOUND_ERROR_FILE;
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(m_playbackPath.c_str(), SFM_WRITE, &info);
    if (out == nullptr) {
        error = "Unable to create playback file " + m_playbackPath + ": " + sf_strerror(nullptr);
        ZLOG(LOG_ERROR, "CFileAudioDevice::Open", "Unable to create playback file %s: %s", m_playbackPath.c_str(),
             sf_strerror(nullptr));
        return MXSOUND_ERROR_FILE;
    }
    // A process that dies before Close still leaves a file with the right length.
    sf_command(out, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    m_playback = out;
    ZLOG(LOG_DEBUG, "CFileAudioDevice::Open", "Capture %s (%zu samples), playback %s", m_capturePath.c_str(),
         m_capture.size(), m_playbackPath.c_str());
    return MXSOUND_OK;
}

void CFileAudioDevice::Close()
{
    ZLOG_SCOPE("CFileAudioDevice::Close");
    if (m_playback) {
        sf_close(static_cast<SNDFILE*>(m_playback));
        m_playback = nullptr;
    }
}

void CFileAudioDevice::ReadCapture(int16_t* capture, size_t samples)
{
    if (m_capture.empty()) {
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
    if (m_playback) sf_writef_short(static_cast<SNDFILE*>(m_playback), playback, static_cast<sf_count_t>(samples));
}
