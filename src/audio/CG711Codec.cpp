#include "audio/CG711Codec.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "audio/CAudioLibraries.h"

struct CG711Codec::Plc {
    plc_state_t state;
    const SpanDspApi* dsp = nullptr; // null: no concealment, a gap is silence
    bool tried = false;
    // At the first packet, on the media thread: the library's loading stays off the path that
    // reports the call answered.
    const SpanDspApi* Ready()
    {
        if (!tried) {
            tried = true;
            std::string error;
            dsp = CAudioLibraries::SpanDsp(error);
            if (dsp != nullptr)
                dsp->PlcInit(&state);
        }
        return dsp;
    }
};

CG711Codec::CG711Codec(Law law) : m_law(law), m_plc(std::make_unique<Plc>()) { }

CG711Codec::~CG711Codec() = default;

// G.711 is stateless sample by sample; the inline converters are all it takes.
int CG711Codec::Encode(const int16_t* pcm, size_t samples, uint8_t* out, size_t cap)
{
    if (samples > cap)
        return -1;
    if (m_law == ALAW)
        for (size_t i = 0; i < samples; ++i)
            out[i] = linear_to_alaw(pcm[i]);
    else
        for (size_t i = 0; i < samples; ++i)
            out[i] = linear_to_ulaw(pcm[i]);
    return static_cast<int>(samples);
}

int CG711Codec::Decode(const uint8_t* payload, size_t len, int16_t* out, size_t cap)
{
    if (len == 0 || len > cap)
        return -1;
    if (m_law == ALAW)
        for (size_t i = 0; i < len; ++i)
            out[i] = alaw_to_linear(payload[i]);
    else
        for (size_t i = 0; i < len; ++i)
            out[i] = ulaw_to_linear(payload[i]);
    // Feeds the concealment history and smooths the join after a gap.
    if (const SpanDspApi* dsp = m_plc->Ready())
        dsp->PlcRx(&m_plc->state, out, static_cast<int>(len));
    return static_cast<int>(len);
}

void CG711Codec::Conceal(int16_t* out, size_t samples)
{
    // At the start of a gap spandsp puts its ring of history in order with a memcpy between
    // overlapping ranges; doing that rotation here first leaves it nothing to move.
    const SpanDspApi* dsp = m_plc->Ready();
    if (dsp == nullptr) {
        std::memset(out, 0, samples * sizeof *out);
        return;
    }
    plc_state_t& s = m_plc->state;
    if (s.missing_samples == 0 && s.buf_ptr > 0 && s.buf_ptr < PLC_HISTORY_LEN) {
        std::rotate(s.history, s.history + s.buf_ptr, s.history + PLC_HISTORY_LEN);
        s.buf_ptr = 0;
    }
    dsp->PlcFillIn(&s, out, static_cast<int>(samples));
}
