#pragma once
// What the phone asks of the audio engine. The real engine stands behind CMXSoundPhoneAudio;
// tests record the calls.
#include <string>
#include <vector>

class CPhoneAudio {
public:
    enum PlayOption { PLAY_LOOP = 0, PLAY_ONCE = 1 };

    virtual ~CPhoneAudio() = default;
    virtual int StartSoundEngine() = 0;
    virtual int Terminate() = 0;
    virtual int GetSpeakerVolume() = 0;
    virtual int GetMicVolume() = 0;
    virtual int SetSpeakerVolume(int level) = 0;
    virtual int SetMicVolume(int level) = 0;
    virtual int PlayFile(const char* path, PlayOption option) = 0;
    virtual int StopPlayFile() = 0;
    virtual int StartVoiceCall(int payloadType, const char* codecName, int localMediaPort, const char* remoteAddress,
                               int remotePort) = 0;
    virtual int StopVoiceCall() = 0;
    virtual int SendDTMF(int key) = 0;
    virtual int PlayLocalDTMFTone(int key) = 0;
    virtual int GetLastError() = 0;
    virtual std::string GetLastErrorText() = 0;
    // Payload numbers the engine really encodes and decodes.
    virtual std::vector<int> SupportedPayloads() = 0;
};
