// zelora-diag audio call: runs the audio engine alone against any RTP peer,
// capturing from one sound file and recording what the speaker would play.
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <thread>

#include "audio/CMXSound.h"
#include "diag/DiagCommand.h"

namespace {

constexpr int kMediaPort = 37644;

bool ParseInt(const std::string& text, long low, long high, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == nullptr || *end != '\0' || v < low || v > high)
        return false;
    value = v;
    return true;
}

int KeyCode(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c == '*')
        return 10;
    if (c == '#')
        return 11;
    return -1;
}

int EngineFailure(CMXSound& sound, const char* what, std::ostream& err)
{
    err << what << ": " << sound.GetLastErrorText() << " [" << sound.CMXSoundAPI_GetLastError() << "]\n";
    sound.CMXSoundAPI_Terminate();
    return 1;
}

int AudioCall(DiagArgs args, std::ostream& out, std::ostream& err)
{
    std::string codec, payloadText, local, remote, secondsText, in, outPath, keys;
    DiagTakeOption(args, "--codec", codec);
    DiagTakeOption(args, "--payload", payloadText);
    DiagTakeOption(args, "--local", local);
    DiagTakeOption(args, "--remote", remote);
    DiagTakeOption(args, "--seconds", secondsText);
    DiagTakeOption(args, "--in", in);
    DiagTakeOption(args, "--out", outPath);
    DiagTakeOption(args, "--dtmf", keys);
    if (!args.empty()) {
        err << "Unexpected argument " << args.front() << "\n";
        return 1;
    }
    long payload = 0, seconds = 0, port = 0;
    if (codec.empty() || !ParseInt(payloadText, 0, 127, payload)) {
        err << "--codec NAME and --payload 0..127 are required\n";
        return 1;
    }
    const size_t colon = remote.rfind(':');
    if (colon == std::string::npos || colon == 0 || !ParseInt(remote.substr(colon + 1), 1, 65535, port)) {
        err << "--remote must be IP:PORT\n";
        return 1;
    }
    if (!ParseInt(secondsText, 1, 86400, seconds)) {
        err << "--seconds must be 1 to 86400\n";
        return 1;
    }
    if (local.empty() || in.empty() || outPath.empty()) {
        err << "--local, --in and --out are required\n";
        return 1;
    }
    for (char c : keys) {
        if (KeyCode(c) < 0) {
            err << "Invalid DTMF key " << c << " (0-9, *, #)\n";
            return 1;
        }
    }

    CMXSound sound;
    sound.SetDeviceSetting("file:" + in + ":" + outPath);
    sound.SetLocalAddress(local);
    if (sound.CMXSoundAPI_StartSoundEngine() < 0)
        return EngineFailure(sound, "Unable to start sound engine", err);
    const std::string remoteIp = remote.substr(0, colon);
    if (sound.CMXSoundAPI_StartVoiceCall(static_cast<int>(payload), codec.c_str(), kMediaPort, remoteIp.c_str(),
                                         static_cast<int>(port)) < 0)
        return EngineFailure(sound, "Unable to start voice call", err);

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    auto nextKey = start + std::chrono::seconds(1);
    size_t sent = 0;
    while (clock::now() < end) {
        if (sent < keys.size() && clock::now() >= nextKey) {
            if (sound.CMXSoundAPI_SendDTMF(KeyCode(keys[sent])) < 0)
                return EngineFailure(sound, "Unable to send DTMF", err);
            ++sent;
            nextKey += std::chrono::milliseconds(300);
        }
        std::this_thread::sleep_until(std::min(end, sent < keys.size() ? nextKey : end));
    }
    if (sound.CMXSoundAPI_StopVoiceCall() < 0)
        return EngineFailure(sound, "Unable to stop voice call", err);
    if (sound.CMXSoundAPI_Terminate() < 0)
        return EngineFailure(sound, "Unable to terminate sound engine", err);
    out << "audio call " << codec << "/" << payload << " to " << remote << " for " << seconds << " s, " << sent
        << " keys sent, recorded in " << outPath << "\n";
    return 0;
}

int AudioCommand(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.empty() || args.front() != "call") {
        err << "usage: zelora-diag audio call --codec NAME --payload N --local IP --remote IP:PORT --seconds S "
               "--in <capture.wav> --out <playback.wav> [--dtmf KEYS]\n";
        return 1;
    }
    return AudioCall(DiagArgs(args.begin() + 1, args.end()), out, err);
}

DiagRegistrar reg("audio",
                  "audio call --codec NAME --payload N --local IP --remote IP:PORT --seconds S --in <capture.wav> "
                  "--out <playback.wav> [--dtmf KEYS]",
                  AudioCommand);

} // namespace
