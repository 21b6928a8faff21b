#include "phone/CMXSoundPhoneAudio.h"

#include "audio/CMXSound.h"

CMXSoundPhoneAudio::CMXSoundPhoneAudio() : m_sound(std::make_unique<CMXSound>()) { }
CMXSoundPhoneAudio::~CMXSoundPhoneAudio() = default;

int CMXSoundPhoneAudio::StartSoundEngine() { return m_sound->CMXSoundAPI_StartSoundEngine(); }
int CMXSoundPhoneAudio::Terminate() { return m_sound->CMXSoundAPI_Terminate(); }
int CMXSoundPhoneAudio::GetSpeakerVolume() { return m_sound->CMXSoundAPI_GetSpeakerVolume(); }
int CMXSoundPhoneAudio::GetMicVolume() { return m_sound->CMXSoundAPI_GetMicVolume(); }
int CMXSoundPhoneAudio::SetSpeakerVolume(int level) { return m_sound->CMXSoundAPI_SetSpeakerVolume(level); }
int CMXSoundPhoneAudio::SetMicVolume(int level) { return m_sound->CMXSoundAPI_SetMicVolume(level); }

int CMXSoundPhoneAudio::PlayFile(const char* path, PlayOption option)
{
    return m_sound->CMXSoundAPI_PlayFile(path, option == PLAY_ONCE ? MXSOUND_PLAY_ONCE : MXSOUND_PLAY_LOOP);
}

int CMXSoundPhoneAudio::StopPlayFile() { return m_sound->CMXSoundAPI_StopPlayFile(); }

int CMXSoundPhoneAudio::StartVoiceCall(int payloadType, const char* codecName, int localMediaPort,
                                       const char* remoteAddress, int remotePort)
{
    return m_sound->CMXSoundAPI_StartVoiceCall(payloadType, codecName, localMediaPort, remoteAddress, remotePort);
}

int CMXSoundPhoneAudio::StopVoiceCall() { return m_sound->CMXSoundAPI_StopVoiceCall(); }
int CMXSoundPhoneAudio::SendDTMF(int key) { return m_sound->CMXSoundAPI_SendDTMF(key); }
int CMXSoundPhoneAudio::PlayLocalDTMFTone(int key) { return m_sound->CMXSoundAPI_PlayLocalDTMFTone(key); }
int CMXSoundPhoneAudio::GetLastError() { return m_sound->CMXSoundAPI_GetLastError(); }
std::string CMXSoundPhoneAudio::GetLastErrorText() { return m_sound->GetLastErrorText(); }
std::vector<int> CMXSoundPhoneAudio::SupportedPayloads() { return CMXSound::SupportedPayloads(); }
