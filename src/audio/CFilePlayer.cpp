#include "audio/CFilePlayer.h"

#include "audio/SampleMath.h"

CFilePlayer::CFilePlayer(std::vector<int16_t> samples, bool loop) : m_samples(std::move(samples)), m_loop(loop)
{
    m_finished = m_samples.empty();
}

// Runs every frame on the media thread: no logging.
size_t CFilePlayer::MixInto(int16_t* mix, size_t n)
{
    size_t done = 0;
    while (done < n && !m_finished) {
        const size_t take = std::min(n - done, m_samples.size() - m_position);
        zelora::audio::MixInto(mix + done, m_samples.data() + m_position, take);
        done += take;
        m_position += take;
        if (m_position >= m_samples.size()) {
            m_position = 0;
            if (!m_loop)
                m_finished = true;
        }
    }
    return done;
}
