#pragma once
// One running voice call: capture -> encoder -> RTP out, and RTP in ->
// jitter buffer -> decoder/concealment -> speaker. A receive thread takes
// packets off the socket; the device thread drives Tick().
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/CCodec.h"
#include "audio/CJitterBuffer.h"
#include "audio/CRtpSession.h"
#include "audio/CTonePlayer.h"

struct VoiceCallStats {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t wrongPayload = 0;
    uint64_t malformed = 0;
    uint64_t decodeErrors = 0;
    JitterBufferStats jitter;
};

class CVoiceCall {
public:
    CVoiceCall();
    ~CVoiceCall();
    CVoiceCall(const CVoiceCall&) = delete;
    CVoiceCall& operator=(const CVoiceCall&) = delete;

    // Returns 0 or an MXSoundResult with error.
    int Start(int payloadType, const std::string& codecName, const std::string& localAddress, int localPort,
              const std::string& remoteAddress, int remotePort, std::string& error);
    void Stop();

    // One device frame: mic samples in, decoded far-end audio out (overwritten).
    void Tick(const int16_t* mic, int16_t* speaker, size_t samples);
    // In-band key: replaces the microphone for 100 ms of tone and 50 ms of pause.
    bool SendKey(int key);
    VoiceCallStats Stats();

    // The sample clock shared by arrival stamps and playout (8 kHz units).
    static int64_t NowSamples();

private:
    void ReceiveLoop();
    void FillPlayout(size_t wanted);

    std::unique_ptr<CCodec> m_codec;
    CRtpSession m_rtp;
    std::mutex m_jitterLock; // receive thread vs device thread
    CJitterBuffer m_jitter;
    std::mutex m_keyLock;
    CTonePlayer m_keys;
    std::vector<int16_t> m_captureFifo;
    std::deque<int16_t> m_playoutFifo;
    std::vector<int16_t> m_scratch;
    std::vector<uint8_t> m_payload;
    std::atomic<bool> m_running{false};
    std::thread m_receiver;
    std::atomic<uint64_t> m_received{0}, m_wrongPayload{0}, m_malformed{0};
    uint64_t m_decodeErrors = 0;
};
