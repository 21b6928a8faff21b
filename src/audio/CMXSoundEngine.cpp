#include "audio/CMXSoundEngine.h"

#include <cstdlib>

#include "audio/AudioResult.h"
#include "app/CLogger.h"
#include "audio/CNullAudioDevice.h"
#include "audio/CSoundFile.h"
#include "audio/SampleMath.h"

namespace {

// The last failure, per thread and engine: the GUI and the signalling thread
// each read their own right after their own failed call.
struct LastErrorSlot {
    const CMXSoundEngine* engine = nullptr;
    int code = MXSOUND_OK;
    std::string text;
};
thread_local LastErrorSlot t_lastError;

std::string EnvOr(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace

CMXSoundEngine::CMXSoundEngine() : m_mic(CAudioDevice::kFrameSamples), m_mix(CAudioDevice::kFrameSamples) { }

CMXSoundEngine::~CMXSoundEngine() { Terminate(); }

int CMXSoundEngine::Fail(int code, const std::string& text)
{
    t_lastError.engine = this;
    t_lastError.code = code;
    t_lastError.text = text;
    return code;
}

int CMXSoundEngine::Succeed() { return MXSOUND_OK; }

int CMXSoundEngine::LastError() const { return t_lastError.engine == this ? t_lastError.code : MXSOUND_OK; }

std::string CMXSoundEngine::LastErrorText() const
{
    return t_lastError.engine == this ? t_lastError.text : std::string();
}

void CMXSoundEngine::SetDeviceSetting(const std::string& setting)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    m_haveDeviceSetting = true;
    m_deviceSetting = setting;
}

void CMXSoundEngine::SetLocalAddress(const std::string& address)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    m_haveLocalAddress = true;
    m_localAddress = address;
}

std::string CMXSoundEngine::DeviceName()
{
    std::lock_guard<std::mutex> api(m_apiLock);
    return m_device ? m_device->Name() : std::string();
}

int CMXSoundEngine::StartSoundEngine()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    if (m_started) {
        ZLOG(LOG_WARNING, "Sound engine already started");
        return Succeed();
    }
    const std::string setting = m_haveDeviceSetting ? m_deviceSetting : EnvOr("ZELORA_AUDIO");
    int code = MXSOUND_OK;
    std::string error;
    std::unique_ptr<CAudioDevice> device = CAudioDevice::Create(setting, code, error);
    if (!device)
        return Fail(code, error);
    auto frame = [this](const int16_t* c, int16_t* p, size_t n) { return OnFrame(c, p, n); };
    code = device->Start(frame, error);
    if (code != MXSOUND_OK && setting.empty()) {
        // No sound card and nothing asked for: the phone still signs in and signals calls.
        ZLOG(LOG_WARNING, "No usable sound device (%s), using the null device", error.c_str());
        device = std::make_unique<CNullAudioDevice>();
        code = device->Start(frame, error);
    }
    if (code != MXSOUND_OK) {
        ZLOG(LOG_ERROR, "Unable to start sound device: %s", error.c_str());
        return Fail(code, error);
    }
    m_device = std::move(device);
    m_started = true;
    ZLOG(LOG_DEBUG, "Sound engine started on %s", m_device->Name().c_str());
    return Succeed();
}

int CMXSoundEngine::Terminate()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    if (!m_started)
        return Succeed();
    std::unique_ptr<CVoiceCall> call;
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        call = std::move(m_call);
        m_file.reset();
    }
    if (call)
        call->Stop();
    // Stopping the device closes its files, so a recording is complete after this.
    if (m_device)
        m_device->Stop();
    m_device.reset();
    m_started = false;
    return Succeed();
}

int CMXSoundEngine::SetSpeakerVolume(int level)
{
    ZLOG_SCOPE();
    if (level < 0 || level > 255)
        return Fail(MXSOUND_ERROR_INVALID_ARGUMENT, "Volume must be 0 to 255");
    m_speakerVolume = level;
    return Succeed();
}

int CMXSoundEngine::SetMicVolume(int level)
{
    ZLOG_SCOPE();
    if (level < 0 || level > 255)
        return Fail(MXSOUND_ERROR_INVALID_ARGUMENT, "Volume must be 0 to 255");
    m_micVolume = level;
    return Succeed();
}

int CMXSoundEngine::PlayFile(const char* path, bool loop)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    if (!m_started)
        return Fail(MXSOUND_ERROR_NOT_STARTED, "Sound engine not started");
    if (path == nullptr || *path == '\0')
        return Fail(MXSOUND_ERROR_INVALID_ARGUMENT, "No sound file given");
    std::vector<int16_t> samples;
    std::string error;
    if (CSoundFile::Load(path, CAudioDevice::kSampleRate, samples, error) != 0)
        return Fail(MXSOUND_ERROR_FILE, error);
    auto player = std::make_unique<CFilePlayer>(std::move(samples), loop);
    std::unique_ptr<CFilePlayer> old;
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        old = std::move(m_file);
        m_file = std::move(player);
    }
    m_device->Wake();
    ZLOG(LOG_DEBUG, "Playing %s (%s)", path, loop ? "loop" : "once");
    return Succeed();
}

int CMXSoundEngine::StopPlayFile()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    std::unique_ptr<CFilePlayer> old;
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        old = std::move(m_file);
    }
    return Succeed();
}

bool CMXSoundEngine::IsFilePlaying()
{
    std::lock_guard<std::mutex> mix(m_mixLock);
    return m_file && !m_file->Finished();
}

bool CMXSoundEngine::HasVoiceCall()
{
    std::lock_guard<std::mutex> mix(m_mixLock);
    return m_call != nullptr;
}

VoiceCallStats CMXSoundEngine::CallStats()
{
    std::lock_guard<std::mutex> api(m_apiLock);
    CVoiceCall* call = nullptr;
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        call = m_call.get();
    }
    // The call cannot go away meanwhile: only API calls, which m_apiLock excludes, remove it.
    return call ? call->Stats() : VoiceCallStats();
}

int CMXSoundEngine::StartVoiceCall(int payloadType, const char* codecName, int localMediaPort,
                                   const char* remoteAddress, int remotePort)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    if (!m_started)
        return Fail(MXSOUND_ERROR_NOT_STARTED, "Sound engine not started");
    if (remoteAddress == nullptr || *remoteAddress == '\0')
        return Fail(MXSOUND_ERROR_INVALID_ARGUMENT, "No remote media address");
    // One call at a time: a new start replaces the running one.
    std::unique_ptr<CVoiceCall> old;
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        old = std::move(m_call);
    }
    if (old) {
        ZLOG(LOG_WARNING, "A voice call was running; stopped it first");
        old->Stop();
        old.reset();
    }
    const std::string local = m_haveLocalAddress ? m_localAddress : EnvOr("ZELORA_LOCAL_ADDRESS");
    auto call = std::make_unique<CVoiceCall>();
    std::string error;
    const int rc =
        call->Start(payloadType, codecName ? codecName : "", local, localMediaPort, remoteAddress, remotePort, error);
    if (rc != MXSOUND_OK) {
        ZLOG(LOG_ERROR, "Unable to start voice call: %s", error.c_str());
        return Fail(rc, error);
    }
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        m_call = std::move(call);
    }
    m_device->Wake();
    return Succeed();
}

int CMXSoundEngine::StopVoiceCall()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    std::unique_ptr<CVoiceCall> call;
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        call = std::move(m_call);
    }
    if (call)
        call->Stop();
    return Succeed();
}

int CMXSoundEngine::SendDTMF(int key)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    if (CTonePlayer::KeyChar(key) == '\0')
        return Fail(MXSOUND_ERROR_INVALID_ARGUMENT, "Invalid key code " + std::to_string(key));
    if (!m_started)
        return Fail(MXSOUND_ERROR_NOT_STARTED, "Sound engine not started");
    std::lock_guard<std::mutex> mix(m_mixLock);
    if (!m_call)
        return Fail(MXSOUND_ERROR_NO_CALL, "No voice call running");
    if (!m_call->SendKey(key))
        return Fail(MXSOUND_ERROR_RESOURCE, "Key queue full");
    return Succeed();
}

int CMXSoundEngine::PlayLocalDTMFTone(int key)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> api(m_apiLock);
    if (CTonePlayer::KeyChar(key) == '\0')
        return Fail(MXSOUND_ERROR_INVALID_ARGUMENT, "Invalid key code " + std::to_string(key));
    if (!m_started)
        return Fail(MXSOUND_ERROR_NOT_STARTED, "Sound engine not started");
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        if (!m_localTones.Queue(key))
            return Fail(MXSOUND_ERROR_RESOURCE, "Key queue full");
    }
    m_device->Wake();
    return Succeed();
}

// Device thread, every frame: no entering/leaving trace.
bool CMXSoundEngine::OnFrame(const int16_t* capture, int16_t* playback, size_t samples)
{
    if (samples > m_mic.size()) {
        m_mic.resize(samples);
        m_mix.resize(samples);
    }
    std::copy_n(capture, samples, m_mic.data());
    zelora::audio::ApplyVolume(m_mic.data(), samples, m_micVolume);
    std::fill_n(playback, samples, int16_t(0));
    bool sounding = false;
    {
        std::lock_guard<std::mutex> mix(m_mixLock);
        if (m_call)
            m_call->Tick(m_mic.data(), playback, samples);
        if (m_file)
            m_file->MixInto(playback, samples);
        std::fill_n(m_mix.data(), samples, int16_t(0));
        if (m_localTones.Generate(m_mix.data(), samples) > 0)
            zelora::audio::MixInto(playback, m_mix.data(), samples);
        sounding = m_call || (m_file && !m_file->Finished()) || m_localTones.Active();
    }
    zelora::audio::ApplyVolume(playback, samples, m_speakerVolume);
    return sounding;
}
