#include "audio/CTonePlayer.h"

#include <string>

#include "app/CLogger.h"
#include "audio/CAudioLibraries.h"

struct CTonePlayer::State {
    const SpanDspApi* dsp = nullptr;
    dtmf_tx_state_t* tx = nullptr;
    ~State()
    {
        if (tx)
            dsp->DtmfFree(tx);
    }
    // The generator is made at the first key: a phone nobody types on never loads spandsp.
    bool Ready()
    {
        if (tx != nullptr)
            return true;
        std::string error;
        dsp = CAudioLibraries::SpanDsp(error);
        if (dsp == nullptr)
            return false;
        tx = dsp->DtmfInit(nullptr);
        if (tx != nullptr)
            dsp->DtmfSetTiming(tx, kToneMs, kPauseMs);
        return tx != nullptr;
    }
};

CTonePlayer::CTonePlayer() : m_state(std::make_unique<State>()) { }

CTonePlayer::~CTonePlayer() = default;

char CTonePlayer::KeyChar(int key)
{
    if (key >= 0 && key <= 9)
        return static_cast<char>('0' + key);
    if (key == 10)
        return '*';
    if (key == 11)
        return '#';
    return '\0';
}

bool CTonePlayer::Queue(int key)
{
    ZLOG_SCOPE();
    const char c = KeyChar(key);
    if (c == '\0' || !m_state->Ready())
        return false;
    const char digits[2] = {c, '\0'};
    if (m_state->dsp->DtmfPut(m_state->tx, digits, 1) != 0) {
        ZLOG(LOG_WARNING, "Key queue full, key %d dropped", key);
        return false;
    }
    m_active = true;
    return true;
}

size_t CTonePlayer::Generate(int16_t* out, size_t n)
{
    if (!m_active || m_state->tx == nullptr)
        return 0;
    const int got = m_state->dsp->DtmfTx(m_state->tx, out, static_cast<int>(n));
    if (got <= 0) {
        m_active = false;
        return 0;
    }
    return static_cast<size_t>(got);
}
