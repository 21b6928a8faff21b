#include "audio/CSoundFile.h"

#include <sndfile.h>

#include <memory>

#include "app/CLogger.h"
#include "audio/CResampler.h"
#include "audio/SampleMath.h"

namespace {
struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
} // namespace

int CSoundFile::Load(const std::string& path, int rate, std::vector<int16_t>& samples, std::string& error)
{
    ZLOG_SCOPE();
    if (path.empty()) {
        error = "No sound file given";
        return -1;
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        error = "Unable to open sound file " + path + ": " + sf_strerror(nullptr);
        ZLOG(LOG_ERROR, "Unable to open sound file %s: %s", path.c_str(), sf_strerror(nullptr));
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
    const size_t channels = static_cast<size_t>(info.channels);
    std::vector<float> interleaved(static_cast<size_t>(info.frames) * channels);
    const sf_count_t got = sf_readf_float(file.get(), interleaved.data(), info.frames);
    if (got <= 0) {
        error = "Unable to read sound file " + path + ": " + sf_strerror(file.get());
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
