#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "AudioTestSignals.h"
#include "audio/CCodec.h"
#include "audio/CMXSound.h"

using namespace audiotest;

namespace {

struct RoundTrip {
    std::vector<int16_t> decoded;
    std::vector<size_t> packetBytes;
};

// Encodes x frame by frame and decodes each payload, dropping the packets whose index is in lost.
RoundTrip CodecRun(CCodec& enc, CCodec& dec, const std::vector<int16_t>& x, const std::vector<size_t>& lost = {})
{
    RoundTrip r;
    const size_t frame = enc.FrameSamples();
    std::vector<int16_t> out(CCodec::kMaxDecodedSamples);
    uint8_t payload[1500];
    for (size_t i = 0, k = 0; i + frame <= x.size(); i += frame, ++k) {
        const int bytes = enc.Encode(x.data() + i, frame, payload, sizeof payload);
        EXPECT_GT(bytes, 0);
        r.packetBytes.push_back(size_t(bytes));
        if (std::find(lost.begin(), lost.end(), k) != lost.end()) {
            dec.Conceal(out.data(), frame);
            r.decoded.insert(r.decoded.end(), out.begin(), out.begin() + long(frame));
            continue;
        }
        const int n = dec.Decode(payload, size_t(bytes), out.data(), out.size());
        EXPECT_EQ(n, int(frame));
        if (n > 0)
            r.decoded.insert(r.decoded.end(), out.begin(), out.begin() + n);
    }
    return r;
}

double SnrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& got, size_t delay = 0)
{
    double sig = 0, err = 0;
    for (size_t i = delay; i < std::min(ref.size(), got.size()); ++i) {
        sig += double(ref[i - delay]) * ref[i - delay];
        const double e = double(got[i]) - ref[i - delay];
        err += e * e;
    }
    return 10 * std::log10(sig / std::max(err, 1.0));
}

} // namespace

TEST(Codec, FactoryPicksByStaticNumberOrDynamicName)
{
    std::string error;
    auto pcmu = CCodec::Create(0, "", error);
    ASSERT_TRUE(pcmu);
    EXPECT_STREQ(pcmu->Name(), "PCMU");
    auto pcma = CCodec::Create(8, "whatever", error);
    ASSERT_TRUE(pcma);
    EXPECT_STREQ(pcma->Name(), "PCMA");
    EXPECT_EQ(pcma->FrameSamples(), 160u);
    auto dyn = CCodec::Create(97, "PCMA/8000", error);
    ASSERT_TRUE(dyn);
    EXPECT_STREQ(dyn->Name(), "PCMA");

    EXPECT_FALSE(CCodec::Create(18, "G729", error));
    EXPECT_NE(error.find("G729"), std::string::npos);
    EXPECT_FALSE(CCodec::Create(200, "PCMU", error));
    EXPECT_FALSE(CCodec::Create(101, "telephone-event", error));
}

TEST(Codec, SupportedPayloadsMatchWhatTheFactoryBuilds)
{
    const auto payloads = CMXSound::SupportedPayloads();
    ASSERT_GE(payloads.size(), 2u);
    // Preference order of the phone's list: iLBC first when present, then PCMA, PCMU.
    EXPECT_EQ(payloads[payloads.size() - 2], 8);
    EXPECT_EQ(payloads.back(), 0);
    for (int p : payloads) {
        std::string error;
        EXPECT_TRUE(CCodec::Create(p, p == 102 ? "iLBC" : "", error)) << p << ": " << error;
        EXPECT_TRUE(CMXSound::IsPayloadSupported(p));
    }
    EXPECT_FALSE(CMXSound::IsPayloadSupported(18));
    EXPECT_EQ(CMXSound::IsPayloadSupported(102), CCodec::IlbcAvailable());
}

TEST(Codec, G711RoundTripKeepsSignal)
{
    std::vector<int16_t> x = Tone(1000, 1.0, 8000, 0.4);
    const auto low = Tone(313, 1.0, 8000, 0.2);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = int16_t(x[i] + low[i]);
    for (int pt : {0, 8}) {
        std::string error;
        auto enc = CCodec::Create(pt, "", error);
        auto dec = CCodec::Create(pt, "", error);
        const auto r = CodecRun(*enc, *dec, x);
        EXPECT_EQ(r.packetBytes.front(), 160u);
        EXPECT_GT(SnrDb(x, r.decoded), 33.0) << "payload " << pt;
    }
}

TEST(Codec, G711EveryCodeDecodesAndReencodesToItself)
{
    std::string error;
    for (int pt : {0, 8}) {
        auto c = CCodec::Create(pt, "", error);
        std::vector<uint8_t> codes(256);
        for (int i = 0; i < 256; ++i)
            codes[size_t(i)] = uint8_t(i);
        std::vector<int16_t> pcm(256);
        ASSERT_EQ(c->Decode(codes.data(), 256, pcm.data(), pcm.size()), 256);
        // Decode smooths after concealment only; a fresh decoder leaves samples untouched.
        std::vector<uint8_t> again(256);
        ASSERT_EQ(c->Encode(pcm.data(), 256, again.data(), again.size()), 256);
        for (int i = 0; i < 256; ++i) {
            // A-law and mu-law both have a code pair for zero; either is fine.
            if (pcm[size_t(i)] == 0)
                continue;
            EXPECT_EQ(again[size_t(i)], codes[size_t(i)]) << "payload " << pt << " code " << i;
        }
    }
}

TEST(Codec, G711ConcealmentBridgesLostPackets)
{
    const auto x = Tone(1000, 2.0, 8000, 0.4);
    std::string error;
    auto enc = CCodec::Create(8, "", error);
    auto dec = CCodec::Create(8, "", error);
    std::vector<size_t> lost;
    for (size_t k = 5; k < 100; k += 10)
        lost.push_back(k); // 10 % loss
    const auto r = CodecRun(*enc, *dec, x, lost);
    // Concealed frames continue the tone instead of leaving silence.
    for (size_t k : lost) {
        const double rms = Rms(r.decoded.data() + k * 160, 160);
        EXPECT_GT(rms, 0.25 * Rms(x)) << "lost frame " << k;
    }
    EXPECT_GT(SnrDb(x, r.decoded), 12.0);
}

// A gap after four frames, when the concealment history's start is 80 samples into its
// ring: putting it in order must not copy between overlapping ranges (the sanitizer run
// reports that) and the lost frame still continues the tone.
TEST(Codec, G711ConcealmentAfterAWrappedHistory)
{
    const auto x = Tone(1000, 1.0, 8000, 0.4);
    std::string error;
    auto enc = CCodec::Create(0, "", error);
    auto dec = CCodec::Create(0, "", error);
    const auto r = CodecRun(*enc, *dec, x, {4});
    EXPECT_GT(Rms(r.decoded.data() + 4 * 160, 160), 0.25 * Rms(x));
}

#ifdef ZELORA_TEST_ILBC
TEST(Codec, IlbcModes30And20EncodeAndDecode)
{
    ASSERT_TRUE(CCodec::IlbcAvailable());
    std::string error;
    const auto x = Tone(1000, 1.2, 8000, 0.3);
    {
        auto enc = CCodec::Create(102, "iLBC", error);
        auto dec = CCodec::Create(102, "iLBC", error);
        ASSERT_TRUE(enc && dec) << error;
        EXPECT_EQ(enc->FrameSamples(), 240u);
        const auto r = CodecRun(*enc, *dec, x);
        EXPECT_EQ(r.packetBytes.front(), 50u);
        const auto tail = Slice(r.decoded, 0.3, 1.1);
        EXPECT_NEAR(PeakFrequency(tail, 800, 1200, 5), 1000, 10);
        EXPECT_NEAR(20 * std::log10(Rms(tail) / Rms(x)), 0.0, 3.0);
    }
    {
        auto enc = CCodec::Create(97, "iLBC/8000 mode=20", error);
        auto dec = CCodec::Create(97, "iLBC", error);
        ASSERT_TRUE(enc && dec) << error;
        EXPECT_EQ(enc->FrameSamples(), 160u);
        const auto r = CodecRun(*enc, *dec, x);
        EXPECT_EQ(r.packetBytes.front(), 38u);
        // The mode-30 decoder followed the 20 ms peer, and its own encoder went to 20 ms too.
        EXPECT_EQ(dec->FrameSamples(), 160u);
        EXPECT_NEAR(PeakFrequency(Slice(r.decoded, 0.3, 1.1), 800, 1200, 5), 1000, 10);
    }
}

TEST(Codec, IlbcRejectsPayloadOfNoFrameSizeAndConceals)
{
    std::string error;
    auto enc = CCodec::Create(102, "iLBC", error);
    auto dec = CCodec::Create(102, "iLBC", error);
    std::vector<int16_t> out(CCodec::kMaxDecodedSamples);
    uint8_t junk[49] = {};
    EXPECT_LT(dec->Decode(junk, sizeof junk, out.data(), out.size()), 0);
    EXPECT_LT(dec->Decode(junk, 0, out.data(), out.size()), 0);

    const auto x = Tone(1000, 1.0, 8000, 0.3);
    std::vector<size_t> lost = {20, 21};
    const auto r = CodecRun(*enc, *dec, x, lost);
    EXPECT_GT(Rms(r.decoded.data() + 20 * 240, 240), 0.2 * Rms(x));
    // Two frames in one packet decode to 480 samples.
    uint8_t two[100];
    ASSERT_EQ(enc->Encode(x.data(), 240, two, 50), 50);
    ASSERT_EQ(enc->Encode(x.data() + 240, 240, two + 50, 50), 50);
    EXPECT_EQ(dec->Decode(two, 100, out.data(), out.size()), 480);
    EXPECT_LT(dec->Decode(two, 100, out.data(), 479), 0);
}
#else
TEST(Codec, BuildWithoutIlbcDropsPayload102)
{
    EXPECT_FALSE(CCodec::IlbcAvailable());
    EXPECT_EQ(CMXSound::SupportedPayloads(), (std::vector<int>{8, 0}));
    std::string error;
    EXPECT_FALSE(CCodec::Create(102, "iLBC", error));
    EXPECT_NE(error.find("iLBC is not available"), std::string::npos);
}
#endif
