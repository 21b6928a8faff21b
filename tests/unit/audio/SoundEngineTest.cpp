// The engine through its public class, on the null and file devices.
// Socket tests use 127.0.3.10-127.0.3.19, one address per test.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/AudioResult.h"
#include "AudioTestSignals.h"
#include "audio/CMXSound.h"

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

std::string FileDevice(const std::string& capture, const std::string& playback)
{
    return "file:" + capture + ":" + playback;
}

} // namespace

TEST(SoundEngine, CallsBeforeStartFailWithReason)
{
    CMXSound s;
    EXPECT_EQ(s.CMXSoundAPI_PlayFile("/nonexistent.wav", MXSOUND_PLAY_ONCE), MXSOUND_ERROR_NOT_STARTED);
    EXPECT_EQ(s.CMXSoundAPI_GetLastError(), MXSOUND_ERROR_NOT_STARTED);
    EXPECT_FALSE(s.GetLastErrorText().empty());
    EXPECT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.0.1", 4000), MXSOUND_ERROR_NOT_STARTED);
    EXPECT_EQ(s.CMXSoundAPI_PlayLocalDTMFTone(1), MXSOUND_ERROR_NOT_STARTED);
    // Stopping what never ran is harmless.
    EXPECT_EQ(s.CMXSoundAPI_StopVoiceCall(), 0);
    EXPECT_EQ(s.CMXSoundAPI_StopPlayFile(), 0);
    EXPECT_EQ(s.CMXSoundAPI_Terminate(), 0);
}

TEST(SoundEngine, DeviceSettingsAreCheckedAndTheDefaultFallsBackToNull)
{
    {
        CMXSound s;
        s.SetDeviceSetting("speakers-please");
        EXPECT_EQ(s.CMXSoundAPI_StartSoundEngine(), MXSOUND_ERROR_INVALID_ARGUMENT);
        EXPECT_NE(s.GetLastErrorText().find("speakers-please"), std::string::npos);
    }
    {
        CMXSound s;
        s.SetDeviceSetting("file:only-one-part.wav");
        EXPECT_EQ(s.CMXSoundAPI_StartSoundEngine(), MXSOUND_ERROR_INVALID_ARGUMENT);
    }
    {
        TempDir dir;
        CMXSound s;
        s.SetDeviceSetting(FileDevice(dir.File("missing.wav"), dir.File("out.wav")));
        EXPECT_EQ(s.CMXSoundAPI_StartSoundEngine(), MXSOUND_ERROR_FILE);
        EXPECT_NE(s.GetLastErrorText().find("missing.wav"), std::string::npos);
    }
    {
        CMXSound s;
        s.SetDeviceSetting("null");
        ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
        EXPECT_EQ(s.DeviceName(), "null");
        EXPECT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0); // a second start is harmless
        EXPECT_EQ(s.CMXSoundAPI_Terminate(), 0);
        EXPECT_EQ(s.DeviceName(), "");
    }
    {
        // Nothing set: a sound card when there is one, else the null device; never a failure.
        unsetenv("ZELORA_AUDIO");
        CMXSound s;
        ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0) << s.GetLastErrorText();
        const std::string name = s.DeviceName();
        EXPECT_TRUE(name == "null" || name == "portaudio") << name;
    }
}

TEST(SoundEngine, EnvironmentSelectsTheDevice)
{
    setenv("ZELORA_AUDIO", "null", 1);
    CMXSound s;
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
    EXPECT_EQ(s.DeviceName(), "null");
    unsetenv("ZELORA_AUDIO");
}

TEST(SoundEngine, VolumesAreRangeChecked)
{
    CMXSound s;
    EXPECT_EQ(s.CMXSoundAPI_SetSpeakerVolume(200), 0);
    EXPECT_EQ(s.CMXSoundAPI_GetSpeakerVolume(), 200);
    EXPECT_EQ(s.CMXSoundAPI_SetMicVolume(0), 0);
    EXPECT_EQ(s.CMXSoundAPI_GetMicVolume(), 0);
    EXPECT_EQ(s.CMXSoundAPI_SetSpeakerVolume(256), MXSOUND_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.CMXSoundAPI_SetMicVolume(-1), MXSOUND_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.CMXSoundAPI_GetSpeakerVolume(), 200);
    EXPECT_EQ(s.CMXSoundAPI_GetMicVolume(), 0);
    EXPECT_EQ(s.CMXSoundAPI_SetSpeakerVolume(255), 0);
}

TEST(SoundEngine, LastErrorBelongsToTheThreadThatFailed)
{
    CMXSound s;
    s.SetDeviceSetting("null");
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
    EXPECT_EQ(s.CMXSoundAPI_PlayFile("/no/such/ring.wav", MXSOUND_PLAY_LOOP), MXSOUND_ERROR_FILE);
    int other = 1;
    std::string otherText = "x";
    std::thread t([&] {
        other = s.CMXSoundAPI_GetLastError();
        otherText = s.GetLastErrorText();
        // A failure here does not overwrite the first thread's.
        s.CMXSoundAPI_SendDTMF(99);
    });
    t.join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(otherText, "");
    EXPECT_EQ(s.CMXSoundAPI_GetLastError(), MXSOUND_ERROR_FILE);
    EXPECT_NE(s.GetLastErrorText().find("/no/such/ring.wav"), std::string::npos);
}

TEST(SoundEngine, CallArgumentsAndKeysAreChecked)
{
    CMXSound s;
    s.SetDeviceSetting("null");
    s.SetLocalAddress("127.0.3.10");
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
    EXPECT_EQ(s.CMXSoundAPI_SendDTMF(5), MXSOUND_ERROR_NO_CALL);
    EXPECT_EQ(s.CMXSoundAPI_StartVoiceCall(18, "G729", 37644, "127.0.3.11", 37644), MXSOUND_ERROR_CODEC);
    EXPECT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "", 37644), MXSOUND_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "not an address", 37644), MXSOUND_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 0, "127.0.3.11", 37644), MXSOUND_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.11", 70000), MXSOUND_ERROR_INVALID_ARGUMENT);
    // Start twice in a row: the second replaces the first on the same port.
    ASSERT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.11", 37644), 0) << s.GetLastErrorText();
    ASSERT_EQ(s.CMXSoundAPI_StartVoiceCall(8, "PCMA", 37644, "127.0.3.11", 37644), 0) << s.GetLastErrorText();
    EXPECT_EQ(s.CMXSoundAPI_SendDTMF(11), 0);
    EXPECT_EQ(s.CMXSoundAPI_SendDTMF(12), MXSOUND_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.CMXSoundAPI_PlayLocalDTMFTone(-1), MXSOUND_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.CMXSoundAPI_StopVoiceCall(), 0);
    EXPECT_EQ(s.CMXSoundAPI_StopVoiceCall(), 0);
    EXPECT_EQ(s.CMXSoundAPI_SendDTMF(5), MXSOUND_ERROR_NO_CALL);
    // The port is free again after the stop.
    ASSERT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.11", 37644), 0) << s.GetLastErrorText();
}

TEST(SoundEngine, BusyMediaPortFailsWithDetail)
{
    CMXSound a, b;
    for (CMXSound* s : {&a, &b}) {
        s->SetDeviceSetting("null");
        s->SetLocalAddress("127.0.3.12");
        ASSERT_EQ(s->CMXSoundAPI_StartSoundEngine(), 0);
    }
    ASSERT_EQ(a.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.13", 37644), 0) << a.GetLastErrorText();
    EXPECT_EQ(b.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.13", 37644), MXSOUND_ERROR_NETWORK);
    EXPECT_NE(b.GetLastErrorText().find("Unable to bind media port 37644 on 127.0.3.12"), std::string::npos)
        << b.GetLastErrorText();
}

TEST(SoundEngine, CallsFromTwoThreadsAtOnceStayConsistent)
{
    CMXSound s;
    s.SetDeviceSetting("null");
    s.SetLocalAddress("127.0.3.14");
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
    TempDir dir;
    const std::string ring = dir.File("ring.wav");
    ASSERT_TRUE(WriteWav(ring, Tone(425, 0.2), 8000, 1));
    std::atomic<int> failures{0};
    std::thread signalling([&] {
        for (int i = 0; i < 20; ++i) {
            s.CMXSoundAPI_StopVoiceCall();
            if (s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.15", 37644) != 0)
                ++failures;
            std::this_thread::sleep_for(5ms);
        }
    });
    for (int i = 0; i < 20; ++i) {
        if (s.CMXSoundAPI_PlayFile(ring.c_str(), MXSOUND_PLAY_LOOP) != 0)
            ++failures;
        s.CMXSoundAPI_SetSpeakerVolume(i * 10);
        s.CMXSoundAPI_PlayLocalDTMFTone(i % 12);
        std::this_thread::sleep_for(5ms);
        s.CMXSoundAPI_StopPlayFile();
    }
    signalling.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(s.CMXSoundAPI_Terminate(), 0);
}

TEST(SoundEngine, FileDeviceRecordsPlayOnceLoopStopAndLocalKeys)
{
    TempDir dir;
    const std::string ring = dir.File("ring.wav"), once = dir.File("once.wav"), rec = dir.File("rec.wav");
    ASSERT_TRUE(WriteWav(ring, Tone(425, 0.3), 8000, 1));
    ASSERT_TRUE(WriteWav(once, Tone(1000, 0.3), 8000, 1));
    CMXSound s;
    s.SetDeviceSetting(FileDevice("", rec));
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0) << s.GetLastErrorText();
    // 0.0-1.2 s: the ring loops (four times its length), then stops.
    ASSERT_EQ(s.CMXSoundAPI_PlayFile(ring.c_str(), MXSOUND_PLAY_LOOP), 0);
    std::this_thread::sleep_for(1200ms);
    EXPECT_TRUE(s.IsFilePlaying());
    ASSERT_EQ(s.CMXSoundAPI_StopPlayFile(), 0);
    EXPECT_FALSE(s.IsFilePlaying());
    std::this_thread::sleep_for(300ms);
    // 1.5-2.5 s: a once-play ends by itself after 0.3 s.
    ASSERT_EQ(s.CMXSoundAPI_PlayFile(once.c_str(), MXSOUND_PLAY_ONCE), 0);
    std::this_thread::sleep_for(1000ms);
    EXPECT_FALSE(s.IsFilePlaying());
    // 2.5-3.5 s: a local key tone reaches the speaker.
    ASSERT_EQ(s.CMXSoundAPI_PlayLocalDTMFTone(10), 0);
    ASSERT_EQ(s.CMXSoundAPI_PlayLocalDTMFTone(3), 0);
    std::this_thread::sleep_for(1000ms);
    ASSERT_EQ(s.CMXSoundAPI_Terminate(), 0);

    int rate = 0;
    const auto r = ReadWav(rec, &rate);
    ASSERT_EQ(rate, 8000);
    // The recording is complete and as long as the engine ran (paced at real time).
    EXPECT_NEAR(double(r.size()) / 8000.0, 3.5, 0.3);
    const double level = Rms(Tone(425, 0.3));
    const auto loop = Slice(r, 0.1, 1.1);
    EXPECT_NEAR(Rms(loop), level, level * 0.1);
    EXPECT_LT(LongestQuietRun(loop, level * 0.1), 2);
    EXPECT_NEAR(PeakFrequency(loop, 300, 600, 2), 425, 3);
    EXPECT_LT(Rms(Slice(r, 1.3, 1.45)), 1.0);
    // The once-play: about 0.3 s of 1 kHz in its second, silence after.
    const auto onceSec = Slice(r, 1.45, 2.5);
    int loud = 0;
    for (size_t i = 0; i + 80 <= onceSec.size(); i += 80)
        if (Rms(onceSec.data() + i, 80) > level * 0.5)
            ++loud;
    EXPECT_NEAR(loud, 30, 3);
    EXPECT_NEAR(PeakFrequency(onceSec, 800, 1200, 5), 1000, 5);
    EXPECT_EQ(DetectDtmf(Slice(r, 2.4, 3.5)), "*3");
}

TEST(SoundEngine, StereoWavAt44100PlaysAtTheRightPitchAndVolumeScales)
{
    TempDir dir;
    const auto mono = Tone(1000, 1.0, 44100, 0.4);
    std::vector<int16_t> stereo;
    for (int16_t v : mono) {
        stereo.push_back(v);
        stereo.push_back(v);
    }
    const std::string file = dir.File("ring44.wav"), rec = dir.File("rec.wav");
    ASSERT_TRUE(WriteWav(file, stereo, 44100, 2));
    CMXSound s;
    s.SetDeviceSetting(FileDevice("", rec));
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
    ASSERT_EQ(s.CMXSoundAPI_PlayFile(file.c_str(), MXSOUND_PLAY_LOOP), 0);
    std::this_thread::sleep_for(1000ms);
    ASSERT_EQ(s.CMXSoundAPI_SetSpeakerVolume(64), 0); // half of unity
    std::this_thread::sleep_for(1000ms);
    ASSERT_EQ(s.CMXSoundAPI_Terminate(), 0);
    const auto r = ReadWav(rec);
    const auto full = Slice(r, 0.2, 0.9), half = Slice(r, 1.2, 1.9);
    EXPECT_NEAR(PeakFrequency(full, 900, 1100, 1), 1000, 2);
    EXPECT_NEAR(Rms(full), Rms(mono), Rms(mono) * 0.05);
    EXPECT_NEAR(Rms(half) / Rms(full), 0.5, 0.03);
}

TEST(SoundEngine, CaptureFileLoopsIntoTheCallAndMicVolumeMutes)
{
    // A peer socket stands in for the far end: it counts packets and checks their level.
    TempDir dir;
    const std::string in = dir.File("in.wav"), rec = dir.File("rec.wav");
    ASSERT_TRUE(WriteWav(in, Tone(1000, 0.25), 8000, 1));
    CMXSound s;
    s.SetDeviceSetting(FileDevice(in, rec));
    s.SetLocalAddress("127.0.3.16");
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);

    CMXSound peer;
    const std::string peerRec = dir.File("peer.wav");
    peer.SetDeviceSetting(FileDevice("", peerRec));
    peer.SetLocalAddress("127.0.3.17");
    ASSERT_EQ(peer.CMXSoundAPI_StartSoundEngine(), 0);
    ASSERT_EQ(peer.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.16", 37644), 0);
    ASSERT_EQ(s.CMXSoundAPI_StartVoiceCall(0, "PCMU", 37644, "127.0.3.17", 37644), 0);
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(s.CMXSoundAPI_SetMicVolume(0), 0);
    std::this_thread::sleep_for(1000ms);
    ASSERT_EQ(s.CMXSoundAPI_Terminate(), 0);
    ASSERT_EQ(peer.CMXSoundAPI_Terminate(), 0);
    const auto r = ReadWav(peerRec);
    // The 0.25 s capture file loops: the tone is continuous, not a quarter second once.
    const auto talking = Slice(r, 0.4, 1.4);
    const double level = Rms(Tone(1000, 0.25));
    EXPECT_NEAR(Rms(talking), level, level * 0.12);
    EXPECT_LT(LongestQuietRun(talking, level * 0.2), 2);
    EXPECT_LT(Rms(Slice(r, 1.9, 2.4)), level * 0.02);
}
