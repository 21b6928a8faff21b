#pragma once
// One sound file in memory, played into the speaker mix once or in a loop.
#include <cstddef>
#include <cstdint>
#include <vector>

class CFilePlayer {
public:
    CFilePlayer(std::vector<int16_t> samples, bool loop);

    // Adds the next n samples into mix; returns the samples added (fewer at the end of a once-play).
    size_t MixInto(int16_t* mix, size_t n);
    bool Finished() const { return m_finished; }
    bool Looping() const { return m_loop; }
    size_t Position() const { return m_position; }
    size_t Length() const { return m_samples.size(); }

private:
    std::vector<int16_t> m_samples;
    bool m_loop;
    size_t m_position = 0;
    bool m_finished = false;
};
