#include "audio/CNullAudioDevice.h"

#include <algorithm>

void CNullAudioDevice::ReadCapture(int16_t* capture, size_t samples)
{
    std::fill(capture, capture + samples, int16_t(0));
}
