#include "audio/CVoiceCall.h"

#include <algorithm>
#include <chrono>

#include "audio/AudioResult.h"
#include "app/CLogger.h"
#include "audio/MediaThread.h"

CVoiceCall::CVoiceCall() : m_scratch(CCodec::kMaxDecodedSamples) { }

CVoiceCall::~CVoiceCall() { Stop(); }

int64_t CVoiceCall::NowSamples()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count() * 8 / 1000;
}

int CVoiceCall::Start(int payloadType, const std::string& codecName, const std::string& localAddress, int localPort,
                      const std::string& remoteAddress, int remotePort, std::string& error)
{
    ZLOG_SCOPE();
    m_codec = CCodec::Create(payloadType, codecName, error);
    if (!m_codec)
        return MXSOUND_ERROR_CODEC;
    const int rc = m_rtp.Open(localAddress, localPort, remoteAddress, remotePort, error);
    if (rc != MXSOUND_OK)
        return rc;
    JitterBufferConfig config;
    config.frameSamples = static_cast<int>(m_codec->FrameSamples());
    m_jitter = CJitterBuffer(config);
    m_running = true;
    try {
        m_receiver = std::thread(&CVoiceCall::ReceiveLoop, this);
    } catch (const std::exception& e) {
        m_running = false;
        m_rtp.Close();
        error = std::string("Unable to start the media thread: ") + e.what();
        ZLOG(LOG_ERROR, "Unable to start the media thread: %s", e.what());
        return MXSOUND_ERROR_RESOURCE;
    }
    ZLOG(LOG_DEBUG, "Voice call %s/%d from %s:%d to %s:%d, SSRC %08x", m_codec->Name(), payloadType,
         localAddress.empty() ? "*" : localAddress.c_str(), localPort, remoteAddress.c_str(), remotePort, m_rtp.Ssrc());
    return MXSOUND_OK;
}

void CVoiceCall::Stop()
{
    ZLOG_SCOPE();
    m_running = false;
    m_rtp.Interrupt();
    if (m_receiver.joinable())
        m_receiver.join();
    if (m_rtp.IsOpen()) {
        const VoiceCallStats s = Stats();
        ZLOG(LOG_DEBUG,
             "Sent %llu, received %llu, played %llu, concealed %llu, late %llu, duplicates %llu, resyncs %llu",
             static_cast<unsigned long long>(s.sent), static_cast<unsigned long long>(s.received),
             static_cast<unsigned long long>(s.jitter.played), static_cast<unsigned long long>(s.jitter.concealed),
             static_cast<unsigned long long>(s.jitter.late), static_cast<unsigned long long>(s.jitter.duplicates),
             static_cast<unsigned long long>(s.jitter.resyncs));
    }
    m_rtp.Close();
}

void CVoiceCall::ReceiveLoop()
{
    ZLOG_SCOPE();
    zelora::audio::PrepareMediaThread("zelora-rtp-rx");
    uint8_t buffer[CRtpPacket::kMaxPacket];
    const int payloadType = m_codec->PayloadType();
    while (m_running) {
        // Blocks until a packet or Stop; the bound only guards against a lost wake-up.
        const int n = m_rtp.Receive(buffer, sizeof buffer, 1000);
        if (n <= 0) {
            if (n < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const int64_t arrival = NowSamples();
        RtpHeader header;
        const uint8_t* payload = nullptr;
        size_t len = 0;
        if (CRtpPacket::Parse(buffer, static_cast<size_t>(n), header, payload, len) != CRtpPacket::RTP_OK || len == 0) {
            ++m_malformed;
            continue;
        }
        // Comfort noise, telephone events and anything unnegotiated are not for the decoder.
        if (header.payloadType != payloadType) {
            ++m_wrongPayload;
            continue;
        }
        ++m_received;
        std::lock_guard<std::mutex> guard(m_jitterLock);
        m_jitter.Put(header, payload, len, arrival);
    }
}

bool CVoiceCall::SendKey(int key)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_keyLock);
    return m_keys.Queue(key);
}

VoiceCallStats CVoiceCall::Stats()
{
    VoiceCallStats s;
    s.sent = m_rtp.PacketsSent();
    s.received = m_received;
    s.wrongPayload = m_wrongPayload;
    s.malformed = m_malformed;
    s.decodeErrors = m_decodeErrors;
    std::lock_guard<std::mutex> guard(m_jitterLock);
    s.jitter = m_jitter.Stats();
    return s;
}

// Device thread, every frame: no entering/leaving trace.
void CVoiceCall::Tick(const int16_t* mic, int16_t* speaker, size_t samples)
{
    // Sending side: a key being sent takes the place of the microphone.
    const size_t start = m_captureFifo.size();
    m_captureFifo.insert(m_captureFifo.end(), mic, mic + samples);
    {
        std::lock_guard<std::mutex> guard(m_keyLock);
        if (m_keys.Active()) {
            const size_t got = m_keys.Generate(m_captureFifo.data() + start, samples);
            std::fill(m_captureFifo.begin() + static_cast<long>(start + got), m_captureFifo.end(), int16_t(0));
        }
    }
    const size_t frame = m_codec->FrameSamples();
    size_t used = 0;
    uint8_t encoded[CRtpPacket::kMaxPacket];
    while (m_captureFifo.size() - used >= frame) {
        const int bytes = m_codec->Encode(m_captureFifo.data() + used, frame, encoded, sizeof encoded);
        if (bytes > 0)
            m_rtp.Send(static_cast<uint8_t>(m_codec->PayloadType()), encoded, static_cast<size_t>(bytes),
                       static_cast<uint32_t>(frame));
        used += frame;
    }
    if (used > 0)
        m_captureFifo.erase(m_captureFifo.begin(), m_captureFifo.begin() + static_cast<long>(used));

    // Receiving side.
    FillPlayout(samples);
    const size_t take = std::min(samples, m_playoutFifo.size());
    std::copy_n(m_playoutFifo.begin(), take, speaker);
    std::fill(speaker + take, speaker + samples, int16_t(0));
    m_playoutFifo.erase(m_playoutFifo.begin(), m_playoutFifo.begin() + static_cast<long>(take));
}

void CVoiceCall::FillPlayout(size_t wanted)
{
    const int64_t now = NowSamples();
    while (m_playoutFifo.size() < wanted) {
        int samples = 0;
        CJitterBuffer::GetResult result;
        {
            std::lock_guard<std::mutex> guard(m_jitterLock);
            m_jitter.SetFrameSamples(static_cast<int>(m_codec->FrameSamples()));
            result = m_jitter.Get(now, m_payload, samples);
            if (result == CJitterBuffer::GET_PACKET) {
                const int decoded =
                    m_codec->Decode(m_payload.data(), m_payload.size(), m_scratch.data(), m_scratch.size());
                if (decoded > 0) {
                    m_jitter.Advance(decoded);
                    samples = decoded;
                } else {
                    ++m_decodeErrors;
                    samples = static_cast<int>(m_codec->FrameSamples());
                    m_jitter.Advance(samples);
                    m_codec->Conceal(m_scratch.data(), static_cast<size_t>(samples));
                }
            }
        }
        if (result == CJitterBuffer::GET_BUFFERING) {
            m_playoutFifo.insert(m_playoutFifo.end(), wanted - m_playoutFifo.size(), int16_t(0));
            return;
        }
        if (result == CJitterBuffer::GET_MISSING) {
            samples = std::min<int>(samples, static_cast<int>(m_scratch.size()));
            m_codec->Conceal(m_scratch.data(), static_cast<size_t>(samples));
        }
        m_playoutFifo.insert(m_playoutFifo.end(), m_scratch.begin(), m_scratch.begin() + samples);
        if (samples <= 0)
            return;
    }
}
