// CPU cost of a two-way call's media work per second of call, per codec, and
// the delay the jitter buffer adds on a clean loopback path.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/CCodec.h"
#include "audio/CJitterBuffer.h"
#include "audio/CRtpPacket.h"
#include "audio/CVoiceCall.h"

namespace {

// One direction of a call: what the sender's tick and the receiver's tick do.
struct Direction {
    std::unique_ptr<CCodec> encoder, decoder;
    CJitterBuffer jitter;
    RtpHeader header;
    std::vector<int16_t> decoded = std::vector<int16_t>(CCodec::kMaxDecodedSamples);
    std::vector<uint8_t> payload;
    int64_t fifo = 0;

    Direction(int payloadType, const char* name)
    {
        std::string error;
        encoder = CCodec::Create(payloadType, name, error);
        decoder = CCodec::Create(payloadType, name, error);
        JitterBufferConfig c;
        c.frameSamples = int(encoder->FrameSamples());
        jitter = CJitterBuffer(c);
        header.ssrc = 0x12345678;
        header.payloadType = uint8_t(payloadType);
    }

    void Send(const int16_t* pcm, int64_t now, bool lost)
    {
        uint8_t encoded[1500], packet[1500];
        const int bytes = encoder->Encode(pcm, encoder->FrameSamples(), encoded, sizeof encoded);
        const size_t n = CRtpPacket::Build(header, encoded, size_t(bytes), packet, sizeof packet);
        header.sequence++;
        header.timestamp += uint32_t(encoder->FrameSamples());
        if (lost)
            return;
        RtpHeader parsed;
        const uint8_t* p = nullptr;
        size_t len = 0;
        if (CRtpPacket::Parse(packet, n, parsed, p, len) == CRtpPacket::RTP_OK)
            jitter.Put(parsed, p, len, now);
    }

    void Play(int64_t now, size_t samples)
    {
        while (fifo < int64_t(samples)) {
            int count = 0;
            const auto r = jitter.Get(now, payload, count);
            if (r == CJitterBuffer::GET_BUFFERING)
                return;
            if (r == CJitterBuffer::GET_PACKET) {
                count = decoder->Decode(payload.data(), payload.size(), decoded.data(), decoded.size());
                jitter.Advance(count);
            } else {
                decoder->Conceal(decoded.data(), size_t(count));
            }
            fifo += count;
        }
        fifo -= int64_t(samples);
    }
};

std::vector<int16_t> Speechish(size_t n)
{
    std::vector<int16_t> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / 8000;
        x[i] = int16_t(6000 * std::sin(2 * M_PI * 140 * t) + 3000 * std::sin(2 * M_PI * 700 * t) +
                       1500 * std::sin(2 * M_PI * 1250 * t));
    }
    return x;
}

// One iteration = one second of a two-way call (both directions' encode, RTP,
// jitter buffer, decode and concealment), driven in 10 ms ticks: the CPU
// column is the CPU time one second of call costs.
void BM_TwoWayCallSecond(benchmark::State& state, int payloadType, const char* name, double loss)
{
    const auto pcm = Speechish(8000 * 2);
    Direction ab(payloadType, name), ba(payloadType, name);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> coin(0, 1);
    const size_t frame = ab.encoder->FrameSamples();
    int64_t now = 0;
    size_t pos = 0;
    int64_t captured = 0;
    for (auto _ : state) {
        for (int tick = 0; tick < 100; ++tick) {
            now += 80;
            captured += 80;
            if (captured >= int64_t(frame)) {
                captured -= int64_t(frame);
                if (pos + frame > pcm.size())
                    pos = 0;
                ab.Send(pcm.data() + pos, now, coin(rng) < loss);
                ba.Send(pcm.data() + pos, now, coin(rng) < loss);
                pos += frame;
            }
            ab.Play(now, 80);
            ba.Play(now, 80);
        }
    }
    state.SetLabel(std::string(name) + (loss > 0 ? " 10% loss" : " clean"));
}

BENCHMARK_CAPTURE(BM_TwoWayCallSecond, PCMU, 0, "PCMU", 0.0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TwoWayCallSecond, PCMA, 8, "PCMA", 0.0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TwoWayCallSecond, PCMA_loss10, 8, "PCMA", 0.10)->Unit(benchmark::kMicrosecond);
#ifdef ZELORA_BENCH_ILBC
BENCHMARK_CAPTURE(BM_TwoWayCallSecond, iLBC30, 102, "iLBC", 0.0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TwoWayCallSecond, iLBC20, 102, "iLBC mode=20", 0.0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TwoWayCallSecond, iLBC30_loss10, 102, "iLBC", 0.10)->Unit(benchmark::kMicrosecond);
#endif

sockaddr_in Addr(const char* ip, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// Real sockets and threads as in a call: a sender paced at 20 ms, a receive
// thread stamping arrivals, a 10 ms playout tick. Reports the median time a
// packet spent in the jitter buffer.
void BM_JitterBufferDelayLoopback(benchmark::State& state)
{
    const int tx = socket(AF_INET, SOCK_DGRAM, 0), rx = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from = Addr("127.0.3.70", 37644), to = Addr("127.0.3.71", 37644);
    if (bind(tx, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        bind(rx, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        state.SkipWithError("cannot bind 127.0.3.70/71:37644");
        close(tx);
        close(rx);
        return;
    }
    std::vector<double> waitsMs;
    for (auto _ : state) {
        CJitterBuffer jb;
        std::mutex lock;
        std::atomic<bool> running{true};
        std::thread sender([&] {
            uint8_t packet[200] = {};
            RtpHeader h;
            h.ssrc = 99;
            auto next = std::chrono::steady_clock::now();
            for (int i = 0; i < 150 && running; ++i) {
                CRtpPacket::Build(h, packet + 12, 160, packet, sizeof packet);
                sendto(tx, packet, 172, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                h.sequence++;
                h.timestamp += 160;
                next += std::chrono::milliseconds(20);
                std::this_thread::sleep_until(next);
            }
        });
        std::thread receiver([&] {
            uint8_t buf[1500];
            while (running) {
                pollfd p{rx, POLLIN, 0};
                if (poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = recv(rx, buf, sizeof buf, 0);
                const int64_t at = CVoiceCall::NowSamples();
                RtpHeader h;
                const uint8_t* payload = nullptr;
                size_t len = 0;
                if (n > 0 && CRtpPacket::Parse(buf, size_t(n), h, payload, len) == CRtpPacket::RTP_OK) {
                    std::lock_guard<std::mutex> g(lock);
                    jb.Put(h, payload, len, at);
                }
            }
        });
        std::vector<uint8_t> out;
        int64_t fifo = 0;
        auto next = std::chrono::steady_clock::now();
        for (int tick = 0; tick < 300; ++tick) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            const int64_t now = CVoiceCall::NowSamples();
            std::lock_guard<std::mutex> g(lock);
            while (fifo < 80) {
                int count = 0;
                const auto r = jb.Get(now, out, count);
                if (r == CJitterBuffer::GET_BUFFERING)
                    break;
                if (r == CJitterBuffer::GET_PACKET) {
                    jb.Advance(160);
                    count = 160;
                    // The first half second is the start-up wait, not the steady state.
                    if (tick > 50)
                        waitsMs.push_back(double(jb.LastWait()) / 8.0);
                }
                fifo += count;
            }
            fifo = std::max<int64_t>(0, fifo - 80);
        }
        running = false;
        sender.join();
        receiver.join();
    }
    close(tx);
    close(rx);
    if (waitsMs.empty()) {
        state.SkipWithError("no packet played");
        return;
    }
    std::sort(waitsMs.begin(), waitsMs.end());
    state.counters["median_delay_ms"] = waitsMs[waitsMs.size() / 2];
    state.counters["p95_delay_ms"] = waitsMs[waitsMs.size() * 95 / 100];
    state.counters["packets"] = double(waitsMs.size());
}

BENCHMARK(BM_JitterBufferDelayLoopback)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
