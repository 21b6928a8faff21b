#include "audio/CMXSound.h"

#include "audio/CCodec.h"
#include "app/CLogger.h"
#include "audio/CMXSoundEngine.h"

CMXSound::CMXSound() : m_engine(std::make_unique<CMXSoundEngine>()) { }

CMXSound::~CMXSound() = default;

int CMXSound::CMXSoundAPI_StartSoundEngine() { return m_engine->StartSoundEngine(); }
int CMXSound::CMXSoundAPI_Terminate() { return m_engine->Terminate(); }
int CMXSound::CMXSoundAPI_GetSpeakerVolume() { return m_engine->GetSpeakerVolume(); }
int CMXSound::CMXSoundAPI_GetMicVolume() { return m_engine->GetMicVolume(); }
int CMXSound::CMXSoundAPI_SetSpeakerVolume(int level) { return m_engine->SetSpeakerVolume(level); }
int CMXSound::CMXSoundAPI_SetMicVolume(int level) { return m_engine->SetMicVolume(level); }

int CMXSound::CMXSoundAPI_PlayFile(const char* path, MXSound_PLAY_OPTION option)
{
    return m_engine->PlayFile(path, option == MXSOUND_PLAY_LOOP);
}

int CMXSound::CMXSoundAPI_StopPlayFile() { return m_engine->StopPlayFile(); }

int CMXSound::CMXSoundAPI_StartVoiceCall(int payloadType, const char* codecName, int localMediaPort,
                                         const char* remoteAddress, int remotePort)
{
    return m_engine->StartVoiceCall(payloadType, codecName, localMediaPort, remoteAddress, remotePort);
}

int CMXSound::CMXSoundAPI_StopVoiceCall() { return m_engine->StopVoiceCall(); }
int CMXSound::CMXSoundAPI_SendDTMF(int key) { return m_engine->SendDTMF(key); }
int CMXSound::CMXSoundAPI_PlayLocalDTMFTone(int key) { return m_engine->PlayLocalDTMFTone(key); }
int CMXSound::CMXSoundAPI_GetLastError() { return m_engine->LastError(); }
std::string CMXSound::GetLastErrorText() { return m_engine->LastErrorText(); }

void CMXSound::SetDeviceSetting(const std::string& setting) { m_engine->SetDeviceSetting(setting); }
void CMXSound::SetLocalAddress(const std::string& address) { m_engine->SetLocalAddress(address); }
std::string CMXSound::DeviceName() { return m_engine->DeviceName(); }
bool CMXSound::IsFilePlaying() { return m_engine->IsFilePlaying(); }

std::vector<int> CMXSound::SupportedPayloads() { return CCodec::SupportedPayloads(); }

bool CMXSound::IsPayloadSupported(int payload)
{
    for (int p : CCodec::SupportedPayloads())
        if (p == payload)
            return true;
    return false;
}
