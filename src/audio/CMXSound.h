#pragma once
// zeloraSound: the audio engine the phone drives (devices, RTP, codecs, tones, files).
// Every operation returns int; a negative value is a failure whose detail
// CMXSoundAPI_GetLastError() (a code) and GetLastErrorText() (its text) describe.
// Calls may come from the GUI thread and the signalling thread at the same time.
#include <memory>
#include <string>
#include <vector>

enum MXSound_PLAY_OPTION {
    MXSOUND_PLAY_LOOP = 0, // ring and ring-back tones: until CMXSoundAPI_StopPlayFile
    MXSOUND_PLAY_ONCE = 1, // notification sounds
};

class CMXSoundEngine; // the engine's inside

class CMXSound {
public:
    CMXSound();
    ~CMXSound();
    CMXSound(const CMXSound&) = delete;
    CMXSound& operator=(const CMXSound&) = delete;

    int CMXSoundAPI_StartSoundEngine();
    int CMXSoundAPI_Terminate();
    int CMXSoundAPI_GetSpeakerVolume();
    int CMXSoundAPI_GetMicVolume();
    int CMXSoundAPI_SetSpeakerVolume(int level);
    int CMXSoundAPI_SetMicVolume(int level);
    int CMXSoundAPI_PlayFile(const char* path, MXSound_PLAY_OPTION option);
    int CMXSoundAPI_StopPlayFile();
    int CMXSoundAPI_StartVoiceCall(int payloadType, const char* codecName, int localMediaPort,
                                   const char* remoteAddress, int remotePort);
    int CMXSoundAPI_StopVoiceCall();
    int CMXSoundAPI_SendDTMF(int key); // 0-9, 10 "*", 11 "#"
    int CMXSoundAPI_PlayLocalDTMFTone(int key); // same key codes, speaker only
    int CMXSoundAPI_GetLastError();
    std::string GetLastErrorText();

    // Payload numbers this build really encodes and decodes, e.g. {102, 8, 0}.
    static std::vector<int> SupportedPayloads();
    static bool IsPayloadSupported(int payload);

    // Overrides of the environment for this instance (tools and tests running
    // several engines in one process): the device setting as ZELORA_AUDIO takes
    // it, and the media socket's local address as ZELORA_LOCAL_ADDRESS.
    // Both apply from the next StartSoundEngine / StartVoiceCall.
    void SetDeviceSetting(const std::string& setting);
    void SetLocalAddress(const std::string& address);
    // The device in use ("null", "portaudio", "file:..."); empty before start.
    std::string DeviceName();
    // True while a file play has samples left (a loop until it is stopped).
    bool IsFilePlaying();

private:
    std::unique_ptr<CMXSoundEngine> m_engine;
};
