#include "audio/CSoundFile.h"

#include <memory>

#include "app/CLogger.h"
#include "audio/CAudioLibraries.h"
#include "audio/CResampler.h"
#include "audio/SampleMath.h"

namespace {
struct SndfileCloser {
    const SndFileApi* api;
    void operator()(SNDFILE* f) const { api->Close(f); }
};
} // namespace

int CSoundFile::Load(const std::string& path, int rate, std::vector<int16_t>& samples, std::string& error)
{
    ZLOG_SCOPE();
    if (path.empty()) {
        error = "No sound file given";
        return -1;
    }
    const SndFileApi* sf = CAudioLibraries::SndFile(error);
    if (sf == nullptr)
        return -1;
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf->Open(path.c_str(), SFM_READ, &info), SndfileCloser{sf});
    if (!file) {
        error = "Unable to open sound file " + path + ": " + sf->StrError(nullptr);
        ZLOG(LOG_ERROR, "Unable to open sound file %s: %s", path.c_str(), sf->StrError(nullptr));
        return -1;
    }
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames <= 0) {
        error = "Sound file " + path + " holds no audio";
        ZLOG(LOG_ERROR, "Sound file %s holds no audio", path.c_str());
        return -1;
    }
    if (info.frames > static_cast<sf_count_t>(kMaxSeconds) * info.samplerate) {
        error = "Sound file " + path + " is longer than " + std::to_string(kMaxSeconds) + " s";
        ZLOG(LOG_ERROR, "Sound file %s too long", path.c_str());
        return -1;
    }
    if (info.channels == 1 && info.samplerate == rate) {
        // Already what the engine plays: read straight into the samples, without the float
        // copies that would triple the memory a long file takes while it loads.
        samples.resize(static_cast<size_t>(info.frames));
        const sf_count_t read = sf->ReadShort(file.get(), samples.data(), info.frames);
        if (read <= 0) {
            samples.clear();
            error = "Unable to read sound file " + path + ": " + sf->StrError(file.get());
            ZLOG(LOG_ERROR, "Unable to read sound file %s", path.c_str());
            return -1;
        }
        samples.resize(static_cast<size_t>(read));
        ZLOG(LOG_DEBUG, "Loaded %s: %d Hz, 1 channel, %ld frames", path.c_str(), info.samplerate,
             static_cast<long>(read));
        return 0;
    }
    const size_t channels = static_cast<size_t>(info.channels);
    std::vector<float> interleaved(static_cast<size_t>(info.frames) * channels);
    const sf_count_t got = sf->ReadFloat(file.get(), interleaved.data(), info.frames);
    if (got <= 0) {
        error = "Unable to read sound file " + path + ": " + sf->StrError(file.get());
        ZLOG(LOG_ERROR, "Unable to read sound file %s", path.c_str());
        return -1;
    }
    std::vector<float> mono(static_cast<size_t>(got));
    for (size_t i = 0; i < mono.size(); ++i) {
        float sum = 0.0f;
        for (size_t c = 0; c < channels; ++c)
            sum += interleaved[i * channels + c];
        mono[i] = sum / static_cast<float>(channels);
    }
    interleaved = {};
    std::vector<float> converted;
    if (CResampler::Convert(mono, info.samplerate, rate, converted, error) != 0)
        return -1;
    samples.resize(converted.size());
    for (size_t i = 0; i < converted.size(); ++i)
        samples[i] = zelora::audio::FloatToSample(converted[i]);
    if (samples.empty()) {
        error = "Sound file " + path + " holds no audio";
        return -1;
    }
    ZLOG(LOG_DEBUG, "Loaded %s: %d Hz, %d channels, %ld frames", path.c_str(), info.samplerate, info.channels,
         static_cast<long>(got));
    return 0;
}
