// TLV frames, CRC, escaping and frame extraction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "session/tunnel/CCRC.h"
#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelFrameCodec.h"
#include "session/tunnel/CTunnelRingBuffer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TUNNEL_CLIENT_DATA Cleared()
{
    TUNNEL_CLIENT_DATA d;
    std::memset(&d, 0, sizeof d);
    return d;
}

Bytes Make(const TUNNEL_CLIENT_DATA& d, int size = 1024)
{
    Bytes out(static_cast<std::size_t>(size));
    int n = CTunnelDataParser::MakeTLVFrame(out.data(), size, &d);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

Bytes Element(std::uint8_t type, const std::string& value)
{
    Bytes e(value.size() + 2);
    e[0] = type;
    e[1] = static_cast<std::uint8_t>(value.size());
    std::copy(value.begin(), value.end(), e.begin() + 2);
    return e;
}

TEST(TunnelCRC, CheckValueAndPieces)
{
    const char* text = "123456789";
    auto* p = reinterpret_cast<const std::uint8_t*>(text);
    EXPECT_EQ(CCRC::Compute(p, 9), 0x29B1);
    EXPECT_EQ(CCRC::Compute(p, 0), 0xFFFF);
    EXPECT_EQ(CCRC::Update(CCRC::Compute(p, 4), p + 4, 5), 0x29B1);
    const std::uint8_t a = 'A';
    EXPECT_EQ(CCRC::Compute(&a, 1), 0xB915);
}

TEST(TunnelTLV, MakeWritesOnlySetFieldsInWireOrder)
{
    TUNNEL_CLIENT_DATA d = Cleared();
    d.command = 6;
    d.cid = 5;
    d.did = 7;
    d.tid = 9;
    EXPECT_EQ(Make(d), (Bytes{4, 13, 1, '6', 1, 1, '5', 2, 1, '7', 3, 1, '9'}));

    // Zero numbers and empty texts are left out entirely.
    d = Cleared();
    d.command = 1;
    d.registrationTimeout = 0;
    EXPECT_EQ(Make(d), (Bytes{1, 13, 1, '1'}));

    TUNNEL_CLIENT_DATA all = Cleared();
    all.command = 2;
    all.cid = 11;
    all.did = 12;
    all.tid = -3;
    all.registrationTimeout = 3600;
    all.dtmfDuration = 250;
    all.dtmfSignal = 10;
    CopyText(all.codecList, "102,8,0,");
    CopyText(all.fromHost, "reg");
    CopyText(all.password, "PW");
    CopyText(all.timestamp, "TS");
    CopyText(all.toHost, "to");
    CopyText(all.toUserName, "bob");
    CopyText(all.userName, "alice");
    CopyText(all.fromHostPort, "5060");
    CopyText(all.toHostPort, "5061");
    Bytes expected{16};
    for (const Bytes& e : {Element(13, "2"), Element(1, "11"), Element(2, "12"), Element(3, "-3"), Element(16, "3600"),
                           Element(5, "250"), Element(4, "10"), Element(6, "102,8,0,"), Element(10, "reg"),
                           Element(8, "PW"), Element(12, "TS"), Element(11, "to"), Element(9, "bob"),
                           Element(7, "alice"), Element(14, "5060"), Element(15, "5061")})
        expected.insert(expected.end(), e.begin(), e.end());
    EXPECT_EQ(Make(all), expected);

    // The server side reads every field back.
    Bytes frame = Make(all);
    TUNNEL_CLIENT_DATA back;
    ASSERT_EQ(CTunnelDataParser::ParseClientFrame(frame.data(), static_cast<int>(frame.size()), &back), 1);
    EXPECT_EQ(std::memcmp(&back, &all, sizeof all), 0);
}

TEST(TunnelTLV, MakeRefusesWhatDoesNotFit)
{
    TUNNEL_CLIENT_DATA d = Cleared();
    d.command = 6;
    std::uint8_t buf[64];
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(nullptr, 64, &d), -1);
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(buf, 64, nullptr), -2);
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(buf, 4, &d), 4); // count + one 3-byte element: exact fit
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(buf, 3, &d), -1);

    // A value over 255 characters cannot be an element.
    std::string longList(300, '8');
    CopyText(d.codecList, longList);
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(buf, 64, &d), -1);
    Bytes big(1024);
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(big.data(), 1024, &d), -1);
    std::string max(255, 'x');
    CopyText(d.codecList, max);
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(big.data(), 1024, &d), 1 + 3 + 2 + 255);

    // A text field without its terminator is refused, not read past.
    TUNNEL_CLIENT_DATA raw = Cleared();
    std::memset(raw.userName, 'u', sizeof raw.userName);
    EXPECT_EQ(CTunnelDataParser::MakeTLVFrame(big.data(), 1024, &raw), -1);
}

TEST(TunnelTLV, AddAndGetElementBounds)
{
    std::uint8_t buf[8] = {};
    const std::uint8_t v[] = {'a', 'b', 'c'};
    EXPECT_EQ(CTunnelDataParser::AddElement(buf, 8, 1, 7, 3, v), 6);
    EXPECT_EQ(buf[1], 7);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(std::memcmp(buf + 3, "abc", 3), 0);
    EXPECT_EQ(CTunnelDataParser::AddElement(buf, 8, 3, 7, 3, v), 8); // offset + length + 2 == buffer length
    EXPECT_EQ(CTunnelDataParser::AddElement(buf, 8, 4, 7, 3, v), -1);
    EXPECT_EQ(CTunnelDataParser::AddElement(buf, 8, 1, 7, 0, v), -1);
    Bytes large(600);
    Bytes val(256, 'x');
    EXPECT_EQ(CTunnelDataParser::AddElement(large.data(), 600, 0, 7, 256, val.data()), -1);

    const std::uint8_t frame[] = {2, 31, 2, '4', '2', 50, 0, 9};
    std::uint8_t type = 0;
    int len = 0;
    char value[256];
    EXPECT_EQ(CTunnelDataParser::GetElement(frame, 8, 1, type, len, value), 5);
    EXPECT_EQ(type, 31);
    EXPECT_EQ(len, 2);
    EXPECT_STREQ(value, "42");
    EXPECT_EQ(CTunnelDataParser::GetElement(frame, 8, 5, type, len, value), -3);
    EXPECT_EQ(CTunnelDataParser::GetElement(frame, 8, 8, type, len, value), -1);
    EXPECT_EQ(CTunnelDataParser::GetElement(frame, 8, 7, type, len, value), -2);
    EXPECT_EQ(CTunnelDataParser::GetElement(frame, 4, 1, type, len, value), -4);
    EXPECT_EQ(CTunnelDataParser::GetElement(frame, 8, -1, type, len, value), -1);
}

Bytes ServerFrame(const std::vector<Bytes>& elements)
{
    Bytes f{static_cast<std::uint8_t>(elements.size())};
    for (const Bytes& e : elements)
        f.insert(f.end(), e.begin(), e.end());
    return f;
}

TEST(TunnelTLV, ParseFillsTheRecord)
{
    Bytes f = ServerFrame({Element(52, "9"),      Element(31, "12"),       Element(32, "13"),    Element(33, "14"),
                           Element(34, "200"),    Element(35, "11"),       Element(36, "160"),   Element(37, "2"),
                           Element(38, "40002"),  Element(39, "10.0.0.9"), Element(40, "PCMA"),  Element(41, "8"),
                           Element(42, "8000"),   Element(43, "0"),        Element(44, "alice"), Element(45, "bob"),
                           Element(46, "a.host"), Element(47, "b.host"),   Element(50, "OK"),    Element(51, "TS1"),
                           Element(48, "x"),      Element(49, "y"),        Element(200, "z")});
    SESSION_EVENT_INFO info;
    std::memset(&info, 0x55, sizeof info);
    char ts[256] = "old";
    EXPECT_EQ(CTunnelDataParser::ParseTLVFrame(f.data(), static_cast<int>(f.size()), &info, ts), 1);
    EXPECT_EQ(info.command, 9);
    EXPECT_EQ(info.cid, 12);
    EXPECT_EQ(info.did, 13);
    EXPECT_EQ(info.tid, 14);
    EXPECT_EQ(info.statusCode, 200);
    EXPECT_EQ(info.dtmfSignal, 11);
    EXPECT_EQ(info.dtmfDuration, 160);
    EXPECT_EQ(info.selectedCodecIndex, 2);
    EXPECT_STREQ(info.rtpPort, "40002");
    EXPECT_STREQ(info.rtpIp, "10.0.0.9");
    EXPECT_STREQ(info.codecName, "PCMA");
    EXPECT_STREQ(info.codecPayload, "8");
    EXPECT_STREQ(info.codecFreq, "8000");
    EXPECT_STREQ(info.codecMode, "0");
    EXPECT_STREQ(info.fromUserName, "alice");
    EXPECT_STREQ(info.toUserName, "bob");
    EXPECT_STREQ(info.fromHost, "a.host");
    EXPECT_STREQ(info.toHost, "b.host");
    EXPECT_STREQ(info.responseMessage, "OK");
    EXPECT_STREQ(ts, "TS1");
    // Cleared first: nothing of the old contents survives.
    EXPECT_EQ(info.telephoneEventIndex, -1);
    EXPECT_EQ(info.ptime, 0);
    EXPECT_STREQ(info.telephoneEventFmtp, "");
}

TEST(TunnelTLV, MalformedFramesKeepWhatWasRead)
{
    SESSION_EVENT_INFO info;
    char ts[256];
    // The last element claims more bytes than remain.
    Bytes truncated = ServerFrame({Element(31, "5"), Element(44, "carol")});
    truncated.push_back(45);
    truncated.push_back(20);
    truncated.push_back('x');
    EXPECT_EQ(CTunnelDataParser::ParseTLVFrame(truncated.data(), static_cast<int>(truncated.size()), &info, ts), 1);
    EXPECT_EQ(info.cid, 5);
    EXPECT_STREQ(info.fromUserName, "carol");
    EXPECT_STREQ(info.toUserName, "");

    // A zero length ends the parse; what follows is not read.
    Bytes zero = ServerFrame({Element(31, "6"), Bytes{32, 0}, Element(33, "8")});
    CTunnelDataParser::ParseTLVFrame(zero.data(), static_cast<int>(zero.size()), &info, ts);
    EXPECT_EQ(info.cid, 6);
    EXPECT_EQ(info.tid, 0);

    // Not numbers and out-of-range numbers, a lone trailing byte, the full 255-byte value.
    std::string longText(255, 'q');
    Bytes odd = ServerFrame({Element(31, "abc"), Element(32, "99999999999"), Element(50, longText)});
    odd.push_back(31);
    CTunnelDataParser::ParseTLVFrame(odd.data(), static_cast<int>(odd.size()), &info, ts);
    EXPECT_EQ(info.cid, 0);
    EXPECT_EQ(info.did, INT32_MAX);
    EXPECT_EQ(std::string(info.responseMessage), longText);

    EXPECT_EQ(CTunnelDataParser::ParseTLVFrame(nullptr, 10, &info, ts), 1);
    const std::uint8_t one = 3;
    EXPECT_EQ(CTunnelDataParser::ParseTLVFrame(&one, 1, &info, ts), 1);
    EXPECT_EQ(info.command, 0);
}

TEST(TunnelFraming, EscapesMarkersAndEscapeByte)
{
    const std::uint8_t content[] = {0x01, 0x7E, 0x7F, 0x5D, 0x20, 0x5E};
    std::uint8_t out[14];
    int n = CTunnelFrameCodec::Encode(content, 6, out, 14);
    EXPECT_EQ(Bytes(out, out + n), (Bytes{0x7E, 0x01, 0x5D, 0x5E, 0x5D, 0x5F, 0x5D, 0x7D, 0x20, 0x5E, 0x7F}));
    EXPECT_EQ(CTunnelFrameCodec::Encode(content, 6, out, 13), -1); // needs 2 x 6 + 2
    std::uint8_t back[6];
    EXPECT_EQ(CTunnelFrameCodec::Unescape(out + 1, n - 2, back), 6);
    EXPECT_EQ(std::memcmp(back, content, 6), 0);
    const std::uint8_t lone[] = {0x41, 0x5D};
    EXPECT_EQ(CTunnelFrameCodec::Unescape(lone, 2, back), 1);
}

TEST(TunnelFraming, RandomContentSurvivesEncodeAndDecode)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Bytes content(1 + rng() % 600);
        for (auto& b : content)
            b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0x7E + rng() % 2 : rng());
        Bytes out(content.size() * 2 + 2);
        int n = CTunnelFrameCodec::Encode(content.data(), static_cast<int>(content.size()), out.data(),
                                          static_cast<int>(out.size()));
        ASSERT_GT(n, 0);
        // Markers appear only at the ends.
        for (int i = 1; i + 1 < n; ++i)
            ASSERT_TRUE(out[static_cast<std::size_t>(i)] != 0x7E && out[static_cast<std::size_t>(i)] != 0x7F);
        auto frames = CTunnelFrameCodec::DecodeStream(out.data(), static_cast<std::size_t>(n));
        ASSERT_EQ(frames.size(), 1u);
        ASSERT_EQ(frames[0], content);
    }
}

TEST(TunnelFraming, StreamDecodeDropsGarbageAndRestarts)
{
    Bytes s{'p',  'n',  'g',  0x7F, 0x41, 0x7E, 0x01, 0x02, 0x7E, 0x03,
            0x5D, 0x5E, 0x7F, 0x7E, 0x7F, 0x7E, 0x04, 0x7F, 0x7E, 0x05};
    auto frames = CTunnelFrameCodec::DecodeStream(s.data(), s.size());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], (Bytes{0x03, 0x7E}));
    EXPECT_EQ(frames[1], (Bytes{0x04}));
}

TEST(TunnelFraming, SignallingPacketCarriesCrcHighByteFirst)
{
    const std::uint8_t tlv[] = {1, 13, 1, '6'};
    std::uint8_t out[64];
    int n = CTunnelFrameCodec::BuildSignallingPacket(tlv, 4, 1024, out, 64);
    ASSERT_GT(n, 0);
    auto frames = CTunnelFrameCodec::DecodeStream(out, static_cast<std::size_t>(n));
    ASSERT_EQ(frames.size(), 1u);
    const Bytes& c = frames[0];
    ASSERT_EQ(c.size(), 7u);
    EXPECT_EQ(c[0], 0x01);
    std::uint16_t crc = CCRC::Compute(c.data(), 5);
    EXPECT_EQ(c[5], crc >> 8);
    EXPECT_EQ(c[6], crc & 0xFF);
    EXPECT_TRUE(CTunnelFrameCodec::CheckCRC(c.data(), 7));
    Bytes bad = c;
    bad[3] ^= 1;
    EXPECT_FALSE(CTunnelFrameCodec::CheckCRC(bad.data(), 7));
    EXPECT_EQ(CTunnelFrameCodec::BuildSignallingPacket(tlv, 4, 6, out, 64), -1); // 1 + 4 + 2 > 6
    EXPECT_GT(CTunnelFrameCodec::BuildSignallingPacket(tlv, 4, 7, out, 64), 0);
}

TEST(TunnelRingBuffer, WrapsAroundAndKeepsOneByteFree)
{
    CTunnelRingBuffer ring(10);
    Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    EXPECT_EQ(ring.Append(data.data(), 11), 9u);
    EXPECT_TRUE(ring.Full());
    std::uint8_t out[16];
    EXPECT_EQ(ring.Read(out, 6), 6u);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ring.Append(data.data() + 6, 5), 5u); // wraps past the end
    EXPECT_EQ(ring.Size(), 8u);
    EXPECT_EQ(ring.At(3), 7);
    EXPECT_EQ(ring.At(6), 10);
    EXPECT_EQ(ring.Read(out, 16), 8u);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{7, 8, 9, 7, 8, 9, 10, 11}));
    EXPECT_EQ(ring.Size(), 0u);
    EXPECT_EQ(ring.Read(out, 1), 0u);
    CTunnelRingBuffer standard;
    Bytes many(5000, 1);
    EXPECT_EQ(standard.Append(many.data(), many.size()), 2999u);
}

Bytes Encoded(const Bytes& content)
{
    Bytes out(content.size() * 2 + 2);
    int n = CTunnelFrameCodec::Encode(content.data(), static_cast<int>(content.size()), out.data(),
                                      static_cast<int>(out.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

TEST(TunnelRingBuffer, TakeFrameAcrossPiecesAndWrap)
{
    CTunnelRingBuffer ring(3000);
    Bytes buffer(3000);
    int len = 0;
    // Fill and drain repeatedly so frames straddle the ring's end; feed them in odd pieces.
    std::mt19937 rng(3);
    for (int round = 0; round < 60; ++round) {
        Bytes content(1 + rng() % 700);
        for (auto& b : content)
            b = static_cast<std::uint8_t>(rng());
        Bytes wire{'p', 'n', 'g'};
        Bytes enc = Encoded(content);
        wire.insert(wire.end(), enc.begin(), enc.end());
        std::size_t pos = 0;
        bool got = false;
        while (pos < wire.size()) {
            std::size_t piece = std::min<std::size_t>(1 + rng() % 97, wire.size() - pos);
            ASSERT_EQ(ring.Append(wire.data() + pos, piece), piece);
            pos += piece;
            auto r = CTunnelFrameCodec::TakeFrame(ring, buffer.data(), len);
            if (pos < wire.size()) {
                ASSERT_EQ(r, CTunnelFrameCodec::kNeedMore) << "frame returned before its end marker";
            } else {
                ASSERT_EQ(r, CTunnelFrameCodec::kFrame);
                got = true;
            }
        }
        ASSERT_TRUE(got);
        ASSERT_EQ(Bytes(buffer.begin(), buffer.begin() + len), content);
        ASSERT_EQ(ring.Size(), 0u);
    }
}

TEST(TunnelRingBuffer, OversizeFrameIsDiscardedAndStreamGoesOn)
{
    CTunnelRingBuffer ring(3000);
    Bytes buffer(3000);
    int len = 0;
    // The largest frame that fits: 2999 encoded bytes.
    Bytes maxContent(2997, 0x41);
    Bytes enc = Encoded(maxContent);
    ASSERT_EQ(enc.size(), 2999u);
    ASSERT_EQ(ring.Append(enc.data(), enc.size()), 2999u);
    ASSERT_EQ(CTunnelFrameCodec::TakeFrame(ring, buffer.data(), len), CTunnelFrameCodec::kFrame);
    EXPECT_EQ(len, 2997);

    // One byte more never ends inside the ring: discarded, then the next frame is found.
    Bytes tooLong = Encoded(Bytes(2998, 0x42));
    Bytes next = Encoded(Bytes{0x02, 0x7E, 0x09});
    Bytes wire = tooLong;
    wire.insert(wire.end(), next.begin(), next.end());
    std::size_t pos = 0;
    int discarded = 0, frames = 0;
    while (pos < wire.size() || ring.Size() > 0) {
        pos += ring.Append(wire.data() + pos, wire.size() - pos);
        auto r = CTunnelFrameCodec::TakeFrame(ring, buffer.data(), len);
        if (r == CTunnelFrameCodec::kDiscarded)
            ++discarded;
        else if (r == CTunnelFrameCodec::kFrame) {
            ++frames;
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + len), (Bytes{0x02, 0x7E, 0x09}));
        } else if (pos >= wire.size())
            break;
    }
    EXPECT_EQ(discarded, 1);
    EXPECT_EQ(frames, 1);

    // Empty frames carry nothing and are skipped.
    Bytes empties{0x7E, 0x7F, 0x7E, 0x7F, 0x7E, 0x07, 0x7F};
    ring.Append(empties.data(), empties.size());
    ASSERT_EQ(CTunnelFrameCodec::TakeFrame(ring, buffer.data(), len), CTunnelFrameCodec::kFrame);
    EXPECT_EQ(len, 1);
    EXPECT_EQ(buffer[0], 0x07);
}

} // namespace
