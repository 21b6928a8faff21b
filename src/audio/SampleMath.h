#pragma once
// Small sample routines shared by the mixer, gains and file conversion.
#include <cstddef>
#include <cstdint>

namespace zelora::audio {

inline int16_t Saturate(int32_t v)
{
    if (v > 32767)
        return 32767;
    if (v < -32768)
        return -32768;
    return static_cast<int16_t>(v);
}

// Adds src into dst with saturation.
inline void MixInto(int16_t* dst, const int16_t* src, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        dst[i] = Saturate(int32_t(dst[i]) + src[i]);
}

// Volume 0..255: 128 is unity, 255 almost +6 dB, 0 silence.
inline void ApplyVolume(int16_t* samples, size_t n, int level)
{
    if (level == 128)
        return;
    for (size_t i = 0; i < n; ++i)
        samples[i] = Saturate((int32_t(samples[i]) * level) / 128);
}

inline int16_t FloatToSample(float f)
{
    float s = f * 32768.0f;
    if (s >= 32767.0f)
        return 32767;
    if (s <= -32768.0f)
        return -32768;
    return static_cast<int16_t>(s < 0 ? s - 0.5f : s + 0.5f);
}

} // namespace zelora::audio
