#pragma once
// The heavy sound libraries, loaded on first use instead of at start: PortAudio (and with it
// ALSA and JACK) when a sound card is opened, libsndfile when a sound file is read or written,
// spandsp when a call or a key tone needs it. Together they bring some twenty libraries; a
// phone that only signs in and waits maps none of them. Each is loaded once and stays.
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>
#include <sndfile.h>
#include <spandsp.h>

#include <string>

struct PortAudioApi {
    decltype(&Pa_Initialize) Initialize;
    decltype(&Pa_Terminate) Terminate;
    decltype(&Pa_GetErrorText) GetErrorText;
    decltype(&Pa_GetDefaultInputDevice) GetDefaultInputDevice;
    decltype(&Pa_GetDefaultOutputDevice) GetDefaultOutputDevice;
    decltype(&Pa_GetDeviceInfo) GetDeviceInfo;
    decltype(&Pa_OpenStream) OpenStream;
    decltype(&Pa_CloseStream) CloseStream;
    decltype(&Pa_StartStream) StartStream;
    decltype(&Pa_StopStream) StopStream;
    decltype(&Pa_ReadStream) ReadStream;
    decltype(&Pa_WriteStream) WriteStream;
    // From the ALSA and JACK libraries PortAudio brings.
    decltype(&snd_lib_error_set_handler) AlsaSetErrorHandler;
    decltype(&jack_set_error_function) JackSetErrorFunction;
    decltype(&jack_set_info_function) JackSetInfoFunction;
};

struct SndFileApi {
    decltype(&sf_open) Open;
    decltype(&sf_close) Close;
    decltype(&sf_strerror) StrError;
    decltype(&sf_command) Command;
    decltype(&sf_readf_float) ReadFloat;
    decltype(&sf_readf_short) ReadShort;
    decltype(&sf_writef_short) WriteShort;
};

struct SpanDspApi {
    decltype(&plc_init) PlcInit;
    decltype(&plc_rx) PlcRx;
    decltype(&plc_fillin) PlcFillIn;
    decltype(&dtmf_tx_init) DtmfInit;
    decltype(&dtmf_tx_free) DtmfFree;
    decltype(&dtmf_tx_set_timing) DtmfSetTiming;
    decltype(&dtmf_tx_put) DtmfPut;
    decltype(&dtmf_tx) DtmfTx;
};

class CAudioLibraries {
public:
    // The entry points, or null with `error` saying which library or entry point is missing
    // (logged once). Safe from any thread.
    static const PortAudioApi* PortAudio(std::string& error);
    static const SndFileApi* SndFile(std::string& error);
    static const SpanDspApi* SpanDsp(std::string& error);
};
