#include "audio/CAudioLibraries.h"

#include "app/CLogger.h"
#include "platform/LoadOnce.h"
#include "platform/SharedLibrary.h"

namespace {

constexpr const char* kPortAudio = "libportaudio.so.2";
constexpr const char* kAlsa = "libasound.so.2";
constexpr const char* kJack = "libjack.so.0";
constexpr const char* kSndFile = "libsndfile.so.1";
constexpr const char* kSpanDsp = "libspandsp.so.2";

template <class Fn>
zelora::SharedLibrary::Entry Bind(const char* name, Fn& slot)
{
    return zelora::SharedLibrary::Bind(name, slot);
}

// One library's table: loaded at the first call, the outcome kept and a failure logged once.
template <class Api>
struct Loader : zelora::LoadOnce<Api> {
    template <class Fill>
    const Api* Get(std::string& error, Fill&& fill)
    {
        return zelora::LoadOnce<Api>::Get(error, fill,
                                          [](const std::string& why) { ZLOG(LOG_ERROR, "%s", why.c_str()); });
    }
};

} // namespace

const PortAudioApi* CAudioLibraries::PortAudio(std::string& error)
{
    static Loader<PortAudioApi> loader;
    // Never unloaded: the device's thread and the engine's statics may call in until exit.
    static zelora::SharedLibrary &portAudio = *new zelora::SharedLibrary, &alsa = *new zelora::SharedLibrary,
                                 &jack = *new zelora::SharedLibrary;
    return loader.Get(error, [](PortAudioApi& a, std::string& why) {
        return portAudio.Resolve(kPortAudio,
                                 {Bind("Pa_Initialize", a.Initialize), Bind("Pa_Terminate", a.Terminate),
                                  Bind("Pa_GetErrorText", a.GetErrorText),
                                  Bind("Pa_GetDefaultInputDevice", a.GetDefaultInputDevice),
                                  Bind("Pa_GetDefaultOutputDevice", a.GetDefaultOutputDevice),
                                  Bind("Pa_GetDeviceInfo", a.GetDeviceInfo), Bind("Pa_OpenStream", a.OpenStream),
                                  Bind("Pa_CloseStream", a.CloseStream), Bind("Pa_StartStream", a.StartStream),
                                  Bind("Pa_StopStream", a.StopStream), Bind("Pa_ReadStream", a.ReadStream),
                                  Bind("Pa_WriteStream", a.WriteStream)},
                                 why) &&
            alsa.Resolve(kAlsa, {Bind("snd_lib_error_set_handler", a.AlsaSetErrorHandler)}, why) &&
            jack.Resolve(kJack,
                         {Bind("jack_set_error_function", a.JackSetErrorFunction),
                          Bind("jack_set_info_function", a.JackSetInfoFunction)},
                         why);
    });
}

const SndFileApi* CAudioLibraries::SndFile(std::string& error)
{
    static Loader<SndFileApi> loader;
    static zelora::SharedLibrary& library = *new zelora::SharedLibrary; // never unloaded
    return loader.Get(error, [](SndFileApi& a, std::string& why) {
        return library.Resolve(kSndFile,
                               {Bind("sf_open", a.Open), Bind("sf_close", a.Close), Bind("sf_strerror", a.StrError),
                                Bind("sf_command", a.Command), Bind("sf_readf_float", a.ReadFloat),
                                Bind("sf_readf_short", a.ReadShort), Bind("sf_writef_short", a.WriteShort)},
                               why);
    });
}

const SpanDspApi* CAudioLibraries::SpanDsp(std::string& error)
{
    static Loader<SpanDspApi> loader;
    static zelora::SharedLibrary& library = *new zelora::SharedLibrary; // never unloaded
    return loader.Get(error, [](SpanDspApi& a, std::string& why) {
        return library.Resolve(kSpanDsp,
                               {Bind("plc_init", a.PlcInit), Bind("plc_rx", a.PlcRx), Bind("plc_fillin", a.PlcFillIn),
                                Bind("dtmf_tx_init", a.DtmfInit), Bind("dtmf_tx_free", a.DtmfFree),
                                Bind("dtmf_tx_set_timing", a.DtmfSetTiming), Bind("dtmf_tx_put", a.DtmfPut),
                                Bind("dtmf_tx", a.DtmfTx)},
                               why);
    });
}
