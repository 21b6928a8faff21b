#pragma once
// Whole-buffer sample-rate conversion of mono float audio (libsamplerate).
#include <string>
#include <vector>

class CResampler {
public:
    // Converts in (inRate) to out (outRate). Returns 0, or -1 with a reason.
    static int Convert(const std::vector<float>& in, int inRate, int outRate, std::vector<float>& out,
                       std::string& error);
};
