#include <gtest/gtest.h>

#include <vector>

#include "AudioTestSignals.h"
#include "audio/CTonePlayer.h"

using namespace audiotest;

namespace {

std::vector<int16_t> Drain(CTonePlayer& p)
{
    std::vector<int16_t> all;
    int16_t block[80];
    for (int guard = 0; guard < 100000; ++guard) {
        const size_t n = p.Generate(block, 80);
        if (n == 0)
            break;
        all.insert(all.end(), block, block + n);
    }
    return all;
}

} // namespace

TEST(TonePlayer, KeyCodesMapToDialPadCharacters)
{
    EXPECT_EQ(CTonePlayer::KeyChar(0), '0');
    EXPECT_EQ(CTonePlayer::KeyChar(9), '9');
    EXPECT_EQ(CTonePlayer::KeyChar(10), '*');
    EXPECT_EQ(CTonePlayer::KeyChar(11), '#');
    EXPECT_EQ(CTonePlayer::KeyChar(12), '\0');
    EXPECT_EQ(CTonePlayer::KeyChar(-1), '\0');
    CTonePlayer p;
    EXPECT_FALSE(p.Queue(12));
    EXPECT_FALSE(p.Active());
}

TEST(TonePlayer, EveryKeyIsDetectedInOrderWithItsTiming)
{
    CTonePlayer p;
    for (int k = 0; k <= 11; ++k)
        ASSERT_TRUE(p.Queue(k));
    EXPECT_TRUE(p.Active());
    const auto samples = Drain(p);
    EXPECT_FALSE(p.Active());
    // 100 ms tone + 50 ms pause per key.
    EXPECT_EQ(samples.size(), 12u * (CTonePlayer::kToneMs + CTonePlayer::kPauseMs) * 8);
    EXPECT_EQ(DetectDtmf(samples), "0123456789*#");
    // The first 100 ms carry the tone, the next 50 ms are quiet.
    EXPECT_GT(Rms(samples.data(), 800), 1000.0);
    EXPECT_LT(Rms(samples.data() + 800, 400), 1.0);
}
