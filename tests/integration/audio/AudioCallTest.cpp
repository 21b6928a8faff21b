// Two engines in one process, each on its own loopback address with a file
// device: what one captures must come out of the other's speaker.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "AudioTestSignals.h"
#include "audio/CMXSound.h"
#include "UdpRelay.h"

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

struct Endpoint {
    std::string ip;
    std::string capture;
    std::string playback;
    CMXSound sound;

    int Start()
    {
        sound.SetDeviceSetting("file:" + capture + ":" + playback);
        sound.SetLocalAddress(ip);
        return sound.CMXSoundAPI_StartSoundEngine();
    }
};

// Speech-like: harmonics of a 140 Hz voice through two formants, syllables at 3 Hz, never silent.
std::vector<int16_t> Voice(double seconds)
{
    std::vector<int16_t> out(size_t(seconds * 8000));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / 8000.0;
        double v = 0;
        for (int h = 1; h * 140 < 3400; ++h) {
            const double f = h * 140.0;
            const double formant =
                std::exp(-std::pow((f - 700) / 250, 2)) + 0.6 * std::exp(-std::pow((f - 1200) / 300, 2));
            v += (0.15 + formant) * std::sin(2 * kPi * f * t) / h;
        }
        const double envelope = 0.65 + 0.35 * std::sin(2 * kPi * 3 * t);
        out[i] = int16_t(std::clamp(v * envelope * 7000.0, -32000.0, 32000.0));
    }
    return out;
}

class AudioCall : public ::testing::TestWithParam<std::tuple<int, const char*, const char*>> { };

} // namespace

TEST_P(AudioCall, ToneCrossesInBothDirections)
{
    const auto [payload, codec, base] = GetParam();
    TempDir dir;
    const std::string prefix = base;
    Endpoint a{prefix + "0", dir.File("a-in.wav"), dir.File("a-out.wav"), {}};
    Endpoint b{prefix + "1", dir.File("b-in.wav"), dir.File("b-out.wav"), {}};
    ASSERT_TRUE(WriteWav(a.capture, Tone(1000, 1.0, 8000, 0.3), 8000, 1));
    ASSERT_TRUE(WriteWav(b.capture, Tone(600, 1.0, 8000, 0.3), 8000, 1));
    ASSERT_EQ(a.Start(), 0) << a.sound.GetLastErrorText();
    ASSERT_EQ(b.Start(), 0) << b.sound.GetLastErrorText();
    ASSERT_EQ(a.sound.CMXSoundAPI_StartVoiceCall(payload, codec, 37644, b.ip.c_str(), 37644), 0)
        << a.sound.GetLastErrorText();
    ASSERT_EQ(b.sound.CMXSoundAPI_StartVoiceCall(payload, codec, 37644, a.ip.c_str(), 37644), 0)
        << b.sound.GetLastErrorText();
    std::this_thread::sleep_for(3s);
    ASSERT_EQ(a.sound.CMXSoundAPI_StopVoiceCall(), 0);
    ASSERT_EQ(b.sound.CMXSoundAPI_StopVoiceCall(), 0);
    ASSERT_EQ(a.sound.CMXSoundAPI_Terminate(), 0);
    ASSERT_EQ(b.sound.CMXSoundAPI_Terminate(), 0);

    const double level = Rms(Tone(1000, 1.0, 8000, 0.3));
    for (auto [rec, want, other] : {std::tuple{b.playback, 1000.0, 600.0}, std::tuple{a.playback, 600.0, 1000.0}}) {
        const auto r = ReadWav(rec);
        ASSERT_GT(r.size(), 8000u * 2) << rec;
        const auto talk = Slice(r, 0.5, 2.5);
        EXPECT_NEAR(PeakFrequency(talk, 300, 3000, 5), want, 5) << codec << " " << rec;
        EXPECT_GT(Goertzel(talk, want), 1000 * Goertzel(talk, other)) << codec;
        EXPECT_NEAR(20 * std::log10(Rms(talk) / level), 0.0, 3.0) << codec;
        EXPECT_LT(LongestQuietRun(talk, level * 0.1), 2) << codec;
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, AudioCall,
                         ::testing::Values(std::make_tuple(0, "PCMU", "127.0.3.2"),
                                           std::make_tuple(8, "PCMA", "127.0.3.3")
#ifdef ZELORA_TEST_ILBC
                                               ,
                                           std::make_tuple(102, "iLBC", "127.0.3.4")
#endif
                                               ),
                         [](const auto& param) { return std::string(std::get<1>(param.param)); });

TEST(AudioCallNetwork, LossAndJitterAreConcealed)
{
    TempDir dir;
    Endpoint a{"127.0.3.50", dir.File("a-in.wav"), dir.File("a-out.wav"), {}};
    Endpoint b{"127.0.3.52", dir.File("b-in.wav"), dir.File("b-out.wav"), {}};
    const auto voice = Voice(2.0);
    ASSERT_TRUE(WriteWav(a.capture, voice, 8000, 1));
    ASSERT_TRUE(WriteWav(b.capture, voice, 8000, 1));
    // 10 % loss, 0..60 ms delay (30 ms +- 30 ms): packets overtake each other.
    UdpRelay relay("127.0.3.51", 37644, a.ip, b.ip, 37644, 0.10, 60, 20261207);
    ASSERT_TRUE(relay.Ok());
    ASSERT_EQ(a.Start(), 0);
    ASSERT_EQ(b.Start(), 0);
    ASSERT_EQ(a.sound.CMXSoundAPI_StartVoiceCall(8, "PCMA", 37644, "127.0.3.51", 37644), 0)
        << a.sound.GetLastErrorText();
    ASSERT_EQ(b.sound.CMXSoundAPI_StartVoiceCall(8, "PCMA", 37644, "127.0.3.51", 37644), 0)
        << b.sound.GetLastErrorText();
    std::this_thread::sleep_for(6s);
    ASSERT_EQ(a.sound.CMXSoundAPI_Terminate(), 0);
    ASSERT_EQ(b.sound.CMXSoundAPI_Terminate(), 0);

    EXPECT_GT(relay.Received(), 500);
    EXPECT_NEAR(double(relay.Dropped()) / relay.Received(), 0.10, 0.03);
    const double level = Rms(voice);
    for (const std::string& rec : {a.playback, b.playback}) {
        const auto r = ReadWav(rec);
        ASSERT_GT(r.size(), 8000u * 5);
        // After the buffer has adapted (first second), speech goes on: concealment
        // fills the holes (silence in their place would be 10 % of the blocks) and
        // only a rare burst of three losses may fade out for a moment.
        const auto talk = Slice(r, 1.5, 5.5);
        EXPECT_LE(LongestQuietRun(talk, level * 0.05), 10) << rec;
        EXPECT_LT(QuietShare(talk, level * 0.05), 0.03) << rec;
        EXPECT_NEAR(20 * std::log10(Rms(talk) / level), 0.0, 3.0) << rec;
        // The voice's spectrum survives: its first formant region stays strongest.
        EXPECT_GT(Goertzel(talk, 700), 10 * Goertzel(talk, 2500)) << rec;
    }
}

TEST(AudioCallNetwork, DtmfKeysArriveInOrder)
{
    std::vector<std::tuple<int, const char*, const char*, const char*>> cases = {
        {0, "PCMU", "127.0.3.53", "127.0.3.54"}};
#ifdef ZELORA_TEST_ILBC
    cases.emplace_back(102, "iLBC", "127.0.3.55", "127.0.3.56");
#endif
    for (auto [payload, codec, ipA, ipB] : cases) {
        TempDir dir;
        Endpoint a{ipA, "", dir.File("a-out.wav"), {}};
        Endpoint b{ipB, "", dir.File("b-out.wav"), {}};
        ASSERT_EQ(a.Start(), 0);
        ASSERT_EQ(b.Start(), 0);
        ASSERT_EQ(a.sound.CMXSoundAPI_StartVoiceCall(payload, codec, 37644, ipB, 37644), 0);
        ASSERT_EQ(b.sound.CMXSoundAPI_StartVoiceCall(payload, codec, 37644, ipA, 37644), 0);
        std::this_thread::sleep_for(500ms);
        for (int key = 0; key <= 11; ++key) {
            ASSERT_EQ(a.sound.CMXSoundAPI_SendDTMF(key), 0);
            std::this_thread::sleep_for(200ms);
        }
        std::this_thread::sleep_for(700ms);
        ASSERT_EQ(a.sound.CMXSoundAPI_Terminate(), 0);
        ASSERT_EQ(b.sound.CMXSoundAPI_Terminate(), 0);
        EXPECT_EQ(DetectDtmf(ReadWav(b.playback)), "0123456789*#") << codec;
        // Keys go to the far end only: the sender's own speaker stays quiet.
        EXPECT_EQ(DetectDtmf(ReadWav(a.playback)), "") << codec;
    }
}

TEST(AudioCallNetwork, RestartedFarEndIsFollowed)
{
    TempDir dir;
    Endpoint a{"127.0.3.57", dir.File("a-in.wav"), dir.File("a-out.wav"), {}};
    Endpoint b{"127.0.3.58", "", dir.File("b-out.wav"), {}};
    ASSERT_TRUE(WriteWav(a.capture, Tone(1000, 1.0, 8000, 0.3), 8000, 1));
    ASSERT_EQ(a.Start(), 0);
    ASSERT_EQ(b.Start(), 0);
    ASSERT_EQ(b.sound.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, a.ip.c_str(), 37644), 0);
    ASSERT_EQ(a.sound.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, b.ip.c_str(), 37644), 0);
    std::this_thread::sleep_for(1500ms);
    // The far end restarts its media: new SSRC, sequence and timestamp.
    ASSERT_EQ(a.sound.CMXSoundAPI_StopVoiceCall(), 0);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(a.sound.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, b.ip.c_str(), 37644), 0);
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(a.sound.CMXSoundAPI_Terminate(), 0);
    ASSERT_EQ(b.sound.CMXSoundAPI_Terminate(), 0);
    const auto r = ReadWav(b.playback);
    const double level = Rms(Tone(1000, 1.0, 8000, 0.3));
    EXPECT_NEAR(Rms(Slice(r, 0.5, 1.4)), level, level * 0.15);
    const auto after = Slice(r, 2.2, 3.2);
    EXPECT_NEAR(Rms(after), level, level * 0.15);
    EXPECT_LT(LongestQuietRun(after, level * 0.1), 2);
}
