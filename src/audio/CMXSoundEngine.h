#pragma once
// The inside of CMXSound: one device, at most one voice call and one file
// play, local key tones, volumes. Public calls are serialised by m_apiLock;
// the device thread's frame work only takes m_mixLock, briefly.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "audio/CAudioDevice.h"
#include "audio/CFilePlayer.h"
#include "audio/CTonePlayer.h"
#include "audio/CVoiceCall.h"

class CMXSoundEngine {
public:
    CMXSoundEngine();
    ~CMXSoundEngine();

    int StartSoundEngine();
    int Terminate();
    int GetSpeakerVolume() const { return m_speakerVolume; }
    int GetMicVolume() const { return m_micVolume; }
    int SetSpeakerVolume(int level);
    int SetMicVolume(int level);
    int PlayFile(const char* path, bool loop);
    int StopPlayFile();
    int StartVoiceCall(int payloadType, const char* codecName, int localMediaPort, const char* remoteAddress,
                       int remotePort);
    int StopVoiceCall();
    int SendDTMF(int key);
    int PlayLocalDTMFTone(int key);

    int LastError() const;
    std::string LastErrorText() const;

    void SetDeviceSetting(const std::string& setting);
    void SetLocalAddress(const std::string& address);
    std::string DeviceName();
    bool IsFilePlaying();
    bool HasVoiceCall();
    VoiceCallStats CallStats();

private:
    int Fail(int code, const std::string& text);
    int Succeed();
    // Returns whether a call, a file or a key tone is still sounding.
    bool OnFrame(const int16_t* capture, int16_t* playback, size_t samples);

    std::mutex m_apiLock;
    std::mutex m_mixLock;
    std::unique_ptr<CAudioDevice> m_device;
    std::unique_ptr<CVoiceCall> m_call; // guarded by m_mixLock
    std::unique_ptr<CFilePlayer> m_file; // guarded by m_mixLock
    CTonePlayer m_localTones; // guarded by m_mixLock
    std::atomic<int> m_speakerVolume{128};
    std::atomic<int> m_micVolume{128};
    bool m_started = false;
    bool m_haveDeviceSetting = false;
    std::string m_deviceSetting;
    bool m_haveLocalAddress = false;
    std::string m_localAddress;
    std::vector<int16_t> m_mic, m_mix;
};
