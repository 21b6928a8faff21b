#pragma once
// Result codes of zeloraSound. Negative is failure; the text says what failed.

enum MXSoundResult {
    MXSOUND_OK = 0,
    MXSOUND_ERROR_NOT_STARTED = -1, // engine not started (or already terminated)
    MXSOUND_ERROR_INVALID_ARGUMENT = -2, // bad volume, key, port, address, path
    MXSOUND_ERROR_DEVICE = -3, // sound device could not be opened or run
    MXSOUND_ERROR_FILE = -4, // sound file missing, unreadable or empty
    MXSOUND_ERROR_CODEC = -5, // payload/codec not supported by this build
    MXSOUND_ERROR_NETWORK = -6, // media socket could not be opened or bound
    MXSOUND_ERROR_NO_CALL = -7, // operation needs a running voice call
    MXSOUND_ERROR_RESOURCE = -8, // out of memory, thread or library state
};

// Short fixed description of a result code.
const char* MXSoundResultName(int code);
