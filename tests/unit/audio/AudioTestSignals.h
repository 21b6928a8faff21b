#pragma once
// Signals and measurements shared by the audio tests.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <spandsp.h>

namespace audiotest {

constexpr double kPi = 3.14159265358979323846;

inline std::vector<int16_t> Tone(double freq, double seconds, int rate = 8000, double amplitude = 0.5)
{
    std::vector<int16_t> out(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(amplitude * 32767.0 * std::sin(2 * kPi * freq * double(i) / rate));
    return out;
}

// Power of one frequency over a block (Goertzel), normalised by length.
inline double Goertzel(const int16_t* x, size_t n, double freq, int rate = 8000)
{
    if (n == 0)
        return 0.0;
    const double w = 2 * kPi * freq / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double s = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (double(n) * double(n));
}

inline double Goertzel(const std::vector<int16_t>& x, double freq, int rate = 8000)
{
    return Goertzel(x.data(), x.size(), freq, rate);
}

inline double Rms(const int16_t* x, size_t n)
{
    if (n == 0)
        return 0.0;
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(n));
}

inline double Rms(const std::vector<int16_t>& x) { return Rms(x.data(), x.size()); }

// Strongest frequency between lo and hi in steps of step Hz.
inline double PeakFrequency(const std::vector<int16_t>& x, double lo, double hi, double step, int rate = 8000)
{
    double best = lo, bestPower = -1;
    for (double f = lo; f <= hi; f += step) {
        const double p = Goertzel(x, f, rate);
        if (p > bestPower) {
            bestPower = p;
            best = f;
        }
    }
    return best;
}

inline std::vector<int16_t> Slice(const std::vector<int16_t>& x, double fromSec, double toSec, int rate = 8000)
{
    const size_t a = std::min(x.size(), static_cast<size_t>(fromSec * rate));
    const size_t b = std::min(x.size(), static_cast<size_t>(toSec * rate));
    return std::vector<int16_t>(x.begin() + static_cast<long>(a), x.begin() + static_cast<long>(b));
}

// Longest run of 10 ms blocks whose level is below threshold, in blocks.
inline int LongestQuietRun(const std::vector<int16_t>& x, double threshold)
{
    int run = 0, longest = 0;
    for (size_t i = 0; i + 80 <= x.size(); i += 80) {
        if (Rms(x.data() + i, 80) < threshold)
            longest = std::max(longest, ++run);
        else
            run = 0;
    }
    return longest;
}

// Share of 10 ms blocks whose level is below threshold.
inline double QuietShare(const std::vector<int16_t>& x, double threshold)
{
    int quiet = 0, blocks = 0;
    for (size_t i = 0; i + 80 <= x.size(); i += 80, ++blocks)
        if (Rms(x.data() + i, 80) < threshold)
            ++quiet;
    return blocks ? double(quiet) / blocks : 1.0;
}

// Writes interleaved 16-bit PCM; returns false on failure.
inline bool WriteWav(const std::string& path, const std::vector<int16_t>& interleaved, int rate, int channels)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<size_t>(channels));
    const bool ok = sf_writef_short(f, interleaved.data(), frames) == frames;
    sf_close(f);
    return ok;
}

// Reads a 16-bit WAV (interleaved when not mono); empty on failure.
inline std::vector<int16_t> ReadWav(const std::string& path, int* rate = nullptr)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return {};
    std::vector<int16_t> out(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_short(f, out.data(), info.frames);
    sf_close(f);
    out.resize(static_cast<size_t>(std::max<sf_count_t>(got, 0)) * static_cast<size_t>(info.channels));
    if (rate)
        *rate = info.samplerate;
    return out;
}

// Digits spandsp's DTMF receiver finds in a recording, in order.
inline std::string DetectDtmf(const std::vector<int16_t>& x)
{
    std::string digits;
    auto cb = [](void* user, const char* d, int len) { static_cast<std::string*>(user)->append(d, size_t(len)); };
    dtmf_rx_state_t* rx = dtmf_rx_init(nullptr, cb, &digits);
    for (size_t i = 0; i < x.size(); i += 160) {
        const int n = static_cast<int>(std::min<size_t>(160, x.size() - i));
        dtmf_rx(rx, x.data() + i, n);
    }
    dtmf_rx_free(rx);
    return digits;
}

// A temporary folder removed when the test ends.
class TempDir {
public:
    TempDir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "zelora-audio-XXXXXX").string();
        if (mkdtemp(templ.data()) != nullptr)
            m_path = templ;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (std::filesystem::path(m_path) / name).string(); }
    bool Valid() const { return !m_path.empty(); }

private:
    std::string m_path;
};

} // namespace audiotest
