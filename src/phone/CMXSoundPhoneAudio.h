#pragma once
// The phone's audio on the zeloraSound engine.
#include <memory>

#include "phone/CPhoneAudio.h"

class CMXSound;

class CMXSoundPhoneAudio : public CPhoneAudio {
public:
    CMXSoundPhoneAudio();
    ~CMXSoundPhoneAudio() override;

    int StartSoundEngine() override;
    int Terminate() override;
    int GetSpeakerVolume() override;
    int GetMicVolume() override;
    int SetSpeakerVolume(int level) override;
    int SetMicVolume(int level) override;
    int PlayFile(const char* path, PlayOption option) override;
    int StopPlayFile() override;
    int StartVoiceCall(int payloadType, const char* codecName, int localMediaPort, const char* remoteAddress,
                       int remotePort) override;
    int StopVoiceCall() override;
    int SendDTMF(int key) override;
    int PlayLocalDTMFTone(int key) override;
    int GetLastError() override;
    std::string GetLastErrorText() override;
    std::vector<int> SupportedPayloads() override;

private:
    std::unique_ptr<CMXSound> m_sound;
};
