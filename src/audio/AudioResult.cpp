#include "audio/AudioResult.h"

const char* MXSoundResultName(int code)
{
    switch (code) {
    case MXSOUND_OK:
        return "Success";
    case MXSOUND_ERROR_NOT_STARTED:
        return "Sound engine not started";
    case MXSOUND_ERROR_INVALID_ARGUMENT:
        return "Invalid argument";
    case MXSOUND_ERROR_DEVICE:
        return "Sound device error";
    case MXSOUND_ERROR_FILE:
        return "Sound file error";
    case MXSOUND_ERROR_CODEC:
        return "Codec not supported";
    case MXSOUND_ERROR_NETWORK:
        return "Media socket error";
    case MXSOUND_ERROR_NO_CALL:
        return "No voice call running";
    case MXSOUND_ERROR_RESOURCE:
        return "Out of resources";
    default:
        return "Unknown error";
    }
}
