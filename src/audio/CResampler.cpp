#include "audio/CResampler.h"

#include <samplerate.h>

#include <cmath>

#include "app/CLogger.h"

int CResampler::Convert(const std::vector<float>& in, int inRate, int outRate, std::vector<float>& out,
                        std::string& error)
{
    ZLOG_SCOPE();
    if (inRate <= 0 || outRate <= 0) {
        error = "Invalid sample rate";
        return -1;
    }
    if (inRate == outRate || in.empty()) {
        out = in;
        return 0;
    }
    const double ratio = static_cast<double>(outRate) / inRate;
    if (!src_is_valid_ratio(ratio)) {
        error = "Unsupported sample rate " + std::to_string(inRate);
        return -1;
    }
    out.assign(static_cast<size_t>(std::ceil(in.size() * ratio)) + 16, 0.0f);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    data.end_of_input = 1;
    const int rc = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
    if (rc != 0) {
        error = std::string("Resampling failed: ") + src_strerror(rc);
        ZLOG(LOG_ERROR, "src_simple failed: %s", src_strerror(rc));
        return -1;
    }
    out.resize(static_cast<size_t>(data.output_frames_gen));
    return 0;
}
