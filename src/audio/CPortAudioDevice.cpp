#include "audio/CPortAudioDevice.h"

#include <mutex>
#include <vector>

#include "audio/AudioResult.h"
#include "app/CLogger.h"
#include "audio/CAudioLibraries.h"
#include "audio/MediaThread.h"

namespace {

// PortAudio probes every ALSA and JACK back end at start-up; without these the
// terminal fills with their complaints on a machine without sound.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) { }
void QuietJack(const char*) { }

// Pa_* calls are not thread safe; two engines in one process must not overlap them.
std::mutex& PortAudioLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

CPortAudioDevice::~CPortAudioDevice() { Stop(); }

int CPortAudioDevice::Start(FrameCallback cb, std::string& error)
{
    ZLOG_SCOPE();
    if (m_running)
        return MXSOUND_OK;
    m_pa = CAudioLibraries::PortAudio(error);
    if (m_pa == nullptr)
        return MXSOUND_ERROR_DEVICE;
    std::lock_guard<std::mutex> guard(PortAudioLock());
    m_pa->AlsaSetErrorHandler(QuietAlsa);
    m_pa->JackSetErrorFunction(QuietJack);
    m_pa->JackSetInfoFunction(QuietJack);
    PaError rc = m_pa->Initialize();
    if (rc != paNoError) {
        error = std::string("Unable to initialise PortAudio: ") + m_pa->GetErrorText(rc);
        ZLOG(LOG_ERROR, "Pa_Initialize failed: %s", m_pa->GetErrorText(rc));
        return MXSOUND_ERROR_DEVICE;
    }
    m_initialised = true;
    const PaDeviceIndex output = m_pa->GetDefaultOutputDevice();
    const PaDeviceIndex input = m_pa->GetDefaultInputDevice();
    if (output == paNoDevice) {
        error = "No sound output device";
        ZLOG(LOG_ERROR, "No sound output device");
        m_pa->Terminate();
        m_initialised = false;
        return MXSOUND_ERROR_DEVICE;
    }
    PaStreamParameters out{};
    out.device = output;
    out.channelCount = 1;
    out.sampleFormat = paInt16;
    out.suggestedLatency = m_pa->GetDeviceInfo(output)->defaultLowOutputLatency;
    PaStreamParameters in{};
    m_hasInput = input != paNoDevice;
    if (m_hasInput) {
        in.device = input;
        in.channelCount = 1;
        in.sampleFormat = paInt16;
        in.suggestedLatency = m_pa->GetDeviceInfo(input)->defaultLowInputLatency;
    }
    PaStream* stream = nullptr;
    rc = m_pa->OpenStream(&stream, m_hasInput ? &in : nullptr, &out, kSampleRate, kFrameSamples, paClipOff, nullptr,
                          nullptr);
    if (rc == paNoError)
        rc = m_pa->StartStream(stream);
    if (rc != paNoError) {
        error = std::string("Unable to open the sound device: ") + m_pa->GetErrorText(rc);
        ZLOG(LOG_ERROR, "Unable to open the sound device: %s", m_pa->GetErrorText(rc));
        if (stream)
            m_pa->CloseStream(stream);
        m_pa->Terminate();
        m_initialised = false;
        return MXSOUND_ERROR_DEVICE;
    }
    m_stream = stream;
    m_callback = std::move(cb);
    m_gate.Reset();
    m_running = true;
    try {
        m_thread = std::thread(&CPortAudioDevice::Run, this);
    } catch (const std::exception& e) {
        m_running = false;
        error = std::string("Unable to start the device thread: ") + e.what();
        Release();
        return MXSOUND_ERROR_RESOURCE;
    }
    ZLOG(LOG_DEBUG, "Sound device open (input %s)", m_hasInput ? "yes" : "none");
    return MXSOUND_OK;
}

void CPortAudioDevice::Release()
{
    ZLOG_SCOPE();
    if (m_stream) {
        m_pa->StopStream(static_cast<PaStream*>(m_stream));
        m_pa->CloseStream(static_cast<PaStream*>(m_stream));
        m_stream = nullptr;
    }
    if (m_initialised) {
        m_pa->Terminate();
        m_initialised = false;
    }
}

void CPortAudioDevice::Stop()
{
    ZLOG_SCOPE();
    if (m_thread.joinable()) {
        m_running = false;
        m_gate.Close();
        m_thread.join();
    }
    std::lock_guard<std::mutex> guard(PortAudioLock());
    Release();
}

void CPortAudioDevice::Run()
{
    ZLOG_SCOPE();
    zelora::audio::PrepareMediaThread("zelora-device");
    auto* stream = static_cast<PaStream*>(m_stream);
    std::vector<int16_t> capture(kFrameSamples, 0), playback(kFrameSamples, 0);
    while (m_running) {
        // Overflow/underflow reports are not failures: the stream goes on.
        if (m_hasInput) {
            const PaError rc = m_pa->ReadStream(stream, capture.data(), kFrameSamples);
            if (rc != paNoError && rc != paInputOverflowed) {
                ZLOG(LOG_ERROR, "Pa_ReadStream failed: %s", m_pa->GetErrorText(rc));
                std::fill(capture.begin(), capture.end(), int16_t(0));
            }
        }
        std::fill(playback.begin(), playback.end(), int16_t(0));
        const bool busy = m_callback(capture.data(), playback.data(), kFrameSamples);
        const PaError rc = m_pa->WriteStream(stream, playback.data(), kFrameSamples);
        if (rc != paNoError && rc != paOutputUnderflowed) {
            ZLOG(LOG_ERROR, "Pa_WriteStream failed: %s", m_pa->GetErrorText(rc));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!busy && !Rest())
            break;
    }
}

bool CPortAudioDevice::Rest()
{
    ZLOG_SCOPE();
    auto* stream = static_cast<PaStream*>(m_stream);
    {
        std::lock_guard<std::mutex> guard(PortAudioLock());
        const PaError rc = m_pa->StopStream(stream);
        if (rc != paNoError)
            ZLOG(LOG_ERROR, "Pa_StopStream failed: %s", m_pa->GetErrorText(rc));
    }
    const bool woken = m_gate.Rest();
    // Release() stops the stream again on the way out; nothing to start then.
    if (!woken)
        return false;
    std::lock_guard<std::mutex> guard(PortAudioLock());
    const PaError rc = m_pa->StartStream(stream);
    if (rc != paNoError)
        ZLOG(LOG_ERROR, "Pa_StartStream failed: %s", m_pa->GetErrorText(rc));
    return true;
}
