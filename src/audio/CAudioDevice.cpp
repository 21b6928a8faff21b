#include "audio/CAudioDevice.h"

#include "audio/AudioResult.h"
#include "audio/CFileAudioDevice.h"
#include "app/CLogger.h"
#include "audio/CNullAudioDevice.h"
#include "audio/CPortAudioDevice.h"

std::unique_ptr<CAudioDevice> CAudioDevice::Create(const std::string& setting, int& code, std::string& error)
{
    ZLOG_SCOPE();
    code = MXSOUND_OK;
    if (setting.empty() || setting == "portaudio")
        return std::make_unique<CPortAudioDevice>();
    if (setting == "null")
        return std::make_unique<CNullAudioDevice>();
    if (setting.rfind("file:", 0) == 0) {
        const std::string rest = setting.substr(5);
        const size_t colon = rest.find(':');
        if (colon == std::string::npos || colon + 1 >= rest.size()) {
            code = MXSOUND_ERROR_INVALID_ARGUMENT;
            error = "Audio device setting must be file:<capture.wav>:<playback.wav>";
            ZLOG(LOG_ERROR, "Bad file device setting %s", setting.c_str());
            return nullptr;
        }
        return std::make_unique<CFileAudioDevice>(rest.substr(0, colon), rest.substr(colon + 1));
    }
    code = MXSOUND_ERROR_INVALID_ARGUMENT;
    error = "Unknown audio device setting " + setting + " (null, file:<capture>:<playback> or portaudio)";
    ZLOG(LOG_ERROR, "Unknown audio device setting %s", setting.c_str());
    return nullptr;
}
