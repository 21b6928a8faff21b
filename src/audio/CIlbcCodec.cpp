#include "audio/CIlbcCodec.h"

#include <algorithm>

#include <modules/audio_coding/codecs/ilbc/ilbc.h>

// This file stays free of std::string: see the link order note in CMakeLists.txt.

CIlbcCodec::CIlbcCodec(int payloadType, int modeMs)
    : m_payloadType(payloadType), m_mode(modeMs == 20 ? 20 : 30), m_decoderMode(m_mode)
{
    if (WebRtcIlbcfix_EncoderCreate(&m_encoder) != 0)
        m_encoder = nullptr;
    if (WebRtcIlbcfix_DecoderCreate(&m_decoder) != 0)
        m_decoder = nullptr;
    if (m_encoder)
        WebRtcIlbcfix_EncoderInit(m_encoder, static_cast<int16_t>(m_mode));
    if (m_decoder)
        WebRtcIlbcfix_DecoderInit(m_decoder, static_cast<int16_t>(m_decoderMode));
}

CIlbcCodec::~CIlbcCodec()
{
    if (m_encoder)
        WebRtcIlbcfix_EncoderFree(m_encoder);
    if (m_decoder)
        WebRtcIlbcfix_DecoderFree(m_decoder);
}

int CIlbcCodec::Encode(const int16_t* pcm, size_t samples, uint8_t* out, size_t cap)
{
    if (!Valid() || samples != FrameSamples())
        return -1;
    const size_t bytes = m_mode == 20 ? kBytes20 : kBytes30;
    if (cap < bytes)
        return -1;
    return WebRtcIlbcfix_Encode(m_encoder, pcm, samples, out);
}

int CIlbcCodec::Decode(const uint8_t* payload, size_t len, int16_t* out, size_t cap)
{
    if (!Valid() || len == 0)
        return -1;
    int mode = 0;
    // 950 bytes is a multiple of both: keep the current mode then.
    if (len % kBytes30 == 0 && len % kBytes20 == 0)
        mode = m_decoderMode;
    else if (len % kBytes30 == 0)
        mode = 30;
    else if (len % kBytes20 == 0)
        mode = 20;
    else
        return -1;
    const size_t frames = len / (mode == 20 ? kBytes20 : kBytes30);
    const size_t samples = frames * (mode == 20 ? 160 : 240);
    if (samples > cap)
        return -1;
    if (mode != m_decoderMode) {
        m_decoderMode = mode;
        WebRtcIlbcfix_DecoderInit(m_decoder, static_cast<int16_t>(mode));
    }
    if (mode == 20 && m_mode != 20) {
        m_mode = 20;
        WebRtcIlbcfix_EncoderInit(m_encoder, 20);
    }
    int16_t speechType = 0;
    const int got = WebRtcIlbcfix_Decode(m_decoder, payload, len, out, &speechType);
    if (got < 0 || static_cast<size_t>(got) > cap)
        return -1;
    return got;
}

void CIlbcCodec::Conceal(int16_t* out, size_t samples)
{
    if (!Valid()) {
        std::fill(out, out + samples, int16_t(0));
        return;
    }
    int16_t frame[240];
    const size_t frameSamples = m_decoderMode == 20 ? 160 : 240;
    size_t done = 0;
    while (done < samples) {
        const size_t got = WebRtcIlbcfix_DecodePlc(m_decoder, frame, 1);
        const size_t take = std::min({samples - done, got, frameSamples});
        if (take == 0) {
            std::fill(out + done, out + samples, int16_t(0));
            return;
        }
        std::copy(frame, frame + take, out + done);
        done += take;
    }
}
