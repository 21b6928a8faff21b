#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "AudioTestSignals.h"
#include "audio/CFilePlayer.h"
#include "audio/CResampler.h"
#include "audio/CSoundFile.h"

using namespace audiotest;

TEST(FilePlayer, OncePlaysToTheEndAndStops)
{
    std::vector<int16_t> s(250);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(i + 1);
    CFilePlayer p(s, false);
    std::vector<int16_t> mix(80, 0);
    size_t total = 0;
    std::vector<int16_t> got;
    for (int i = 0; i < 10; ++i) {
        std::fill(mix.begin(), mix.end(), int16_t(0));
        const size_t n = p.MixInto(mix.data(), mix.size());
        got.insert(got.end(), mix.begin(), mix.begin() + long(n));
        total += n;
    }
    EXPECT_EQ(total, 250u);
    EXPECT_EQ(got, s);
    EXPECT_TRUE(p.Finished());
}

TEST(FilePlayer, LoopWrapsAroundAndMixesWithSaturation)
{
    std::vector<int16_t> s = {30000, 1, 2};
    CFilePlayer p(s, true);
    std::vector<int16_t> mix(7, 10000);
    EXPECT_EQ(p.MixInto(mix.data(), mix.size()), 7u);
    EXPECT_EQ(mix, (std::vector<int16_t>{32767, 10001, 10002, 32767, 10001, 10002, 32767}));
    EXPECT_FALSE(p.Finished());
    EXPECT_EQ(p.Position(), 1u);
}

TEST(FilePlayer, EmptyFileIsFinishedAtOnce)
{
    CFilePlayer p({}, true);
    int16_t mix[10] = {};
    EXPECT_EQ(p.MixInto(mix, 10), 0u);
    EXPECT_TRUE(p.Finished());
}

TEST(SoundFile, StereoAt44100IsMixedDownAndResampledAtThePitch)
{
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const auto left = Tone(1000, 1.0, 44100, 0.5);
    std::vector<int16_t> stereo;
    for (int16_t v : left) {
        stereo.push_back(v);
        stereo.push_back(v);
    }
    const std::string path = dir.File("ring44.wav");
    ASSERT_TRUE(WriteWav(path, stereo, 44100, 2));
    std::vector<int16_t> samples;
    std::string error;
    ASSERT_EQ(CSoundFile::Load(path, 8000, samples, error), 0) << error;
    EXPECT_NEAR(double(samples.size()), 8000.0, 3.0);
    EXPECT_NEAR(PeakFrequency(Slice(samples, 0.1, 0.9), 900, 1100, 2), 1000, 3);
    EXPECT_NEAR(Rms(Slice(samples, 0.1, 0.9)), Rms(left), Rms(left) * 0.05);
}

TEST(SoundFile, MissingEmptyAndGarbageFilesFailWithReason)
{
    TempDir dir;
    std::vector<int16_t> samples;
    std::string error;
    EXPECT_NE(CSoundFile::Load(dir.File("absent.wav"), 8000, samples, error), 0);
    EXPECT_NE(error.find("absent.wav"), std::string::npos);

    const std::string empty = dir.File("empty.wav");
    ASSERT_TRUE(WriteWav(empty, {}, 8000, 1));
    error.clear();
    EXPECT_NE(CSoundFile::Load(empty, 8000, samples, error), 0);
    EXPECT_FALSE(error.empty());

    const std::string junk = dir.File("junk.wav");
    FILE* f = std::fopen(junk.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("RIFF this is not a wave file at all", f);
    std::fclose(f);
    error.clear();
    EXPECT_NE(CSoundFile::Load(junk, 8000, samples, error), 0);
    EXPECT_FALSE(error.empty());
    EXPECT_NE(CSoundFile::Load("", 8000, samples, error), 0);
}

TEST(Resampler, KeepsFrequencyAcrossRates)
{
    for (int rate : {8000, 11025, 16000, 22050, 48000}) {
        const auto tone = Tone(440, 1.0, rate, 0.5);
        std::vector<float> in(tone.size()), out;
        for (size_t i = 0; i < tone.size(); ++i)
            in[i] = float(tone[i]) / 32768.0f;
        std::string error;
        ASSERT_EQ(CResampler::Convert(in, rate, 8000, out, error), 0) << error;
        EXPECT_NEAR(double(out.size()), 8000.0, 3.0) << rate;
        std::vector<int16_t> s(out.size());
        for (size_t i = 0; i < out.size(); ++i)
            s[i] = int16_t(out[i] * 32767.0f);
        EXPECT_NEAR(PeakFrequency(Slice(s, 0.1, 0.9), 380, 500, 1), 440, 2) << rate;
    }
    std::vector<float> out;
    std::string error;
    EXPECT_NE(CResampler::Convert({0.1f}, 0, 8000, out, error), 0);
}
