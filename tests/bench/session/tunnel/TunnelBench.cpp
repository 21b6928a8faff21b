// Framing and TLV throughput.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelFrameCodec.h"
#include "session/tunnel/CTunnelRingBuffer.h"

namespace {

std::vector<std::uint8_t> MediaPacket(std::size_t rtpBytes)
{
    std::vector<std::uint8_t> p(rtpBytes + 1);
    p[0] = CTunnelFrameCodec::kTypeMedia;
    for (std::size_t i = 1; i < p.size(); ++i)
        p[i] = static_cast<std::uint8_t>(i * 37); // about 1 byte in 85 needs escaping
    return p;
}

// Encode one packet and take it back out of a ring buffer, as the two ends of the tunnel do.
void BM_FrameEncodeDecode(benchmark::State& state)
{
    auto packet = MediaPacket(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> encoded(packet.size() * 2 + 2);
    std::vector<std::uint8_t> frame(3000);
    CTunnelRingBuffer ring(3000);
    for (auto _ : state) {
        int n = CTunnelFrameCodec::Encode(packet.data(), static_cast<int>(packet.size()), encoded.data(),
                                          static_cast<int>(encoded.size()));
        ring.Append(encoded.data(), static_cast<std::size_t>(n));
        int length = 0;
        auto r = CTunnelFrameCodec::TakeFrame(ring, frame.data(), length);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(packet.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameEncodeDecode)->Arg(172)->Arg(1024);

std::vector<std::uint8_t> IncomingCallFrame()
{
    std::uint8_t f[1024];
    f[0] = 0;
    int off = 1;
    auto num = [&](std::uint8_t t, int v) { off = CTunnelDataParser::AddServerNumber(f, 1024, off, t, v); };
    auto txt = [&](std::uint8_t t, const char* v) { off = CTunnelDataParser::AddServerText(f, 1024, off, t, v); };
    num(ELEMENT_TYPE_SIP_CID, 1234);
    num(ELEMENT_TYPE_SIP_DID, 5678);
    num(ELEMENT_TYPE_SIP_TID, 42);
    num(ELEMENT_TYPE_SIP_SELECTED_CODEC_INDEX, 1);
    txt(ELEMENT_TYPE_SIP_RTP_PORT, "40002");
    txt(ELEMENT_TYPE_SIP_RTP_IP, "192.0.2.10");
    txt(ELEMENT_TYPE_SIP_CODEC_NAME, "PCMA");
    txt(ELEMENT_TYPE_SIP_CODEC_PAYLOAD, "8");
    txt(ELEMENT_TYPE_SIP_CODEC_FREQ, "8000");
    txt(ELEMENT_TYPE_SIP_CODEC_MODE, "0");
    txt(ELEMENT_TYPE_SIP_FROM_USERNAME, "alice");
    txt(ELEMENT_TYPE_SIP_TO_USERNAME, "bob");
    txt(ELEMENT_TYPE_SIP_FROM_HOST, "sip.example");
    txt(ELEMENT_TYPE_SIP_TO_HOST, "sip.example");
    num(ELEMENT_TYPE_SIP_SERVER_COMMAND, 4);
    return std::vector<std::uint8_t>(f, f + off);
}

void BM_TLVParse(benchmark::State& state)
{
    auto frame = IncomingCallFrame();
    SESSION_EVENT_INFO info;
    char ts[SESSION_TEXT_SIZE];
    for (auto _ : state) {
        CTunnelDataParser::ParseTLVFrame(frame.data(), static_cast<int>(frame.size()), &info, ts);
        benchmark::DoNotOptimize(info.cid);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(frame.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TLVParse);

void BM_TLVMake(benchmark::State& state)
{
    TUNNEL_CLIENT_DATA d;
    std::memset(&d, 0, sizeof d);
    d.command = 2;
    CopyText(d.userName, "alice");
    CopyText(d.toUserName, "bob");
    CopyText(d.toHost, "sip.example");
    CopyText(d.toHostPort, "5060");
    CopyText(d.codecList, "102,8,0,");
    std::uint8_t out[1024];
    for (auto _ : state) {
        int n = CTunnelDataParser::MakeTLVFrame(out, sizeof out, &d);
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TLVMake);

} // namespace
