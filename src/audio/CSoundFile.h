#pragma once
// Reads a sound file (WAV and whatever libsndfile knows) into mono 16-bit
// samples at the rate the engine runs.
#include <cstdint>
#include <string>
#include <vector>

class CSoundFile {
public:
    static constexpr long kMaxSeconds = 600; // longer files are refused, not truncated

    // Returns 0, or -1 with a reason (missing, unreadable, empty, too long).
    static int Load(const std::string& path, int rate, std::vector<int16_t>& samples, std::string& error);
};
