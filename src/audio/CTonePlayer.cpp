#include "audio/CTonePlayer.h"

#include <spandsp.h>

#include "app/CLogger.h"

struct CTonePlayer::State {
    dtmf_tx_state_t* tx = nullptr;
    ~State()
    {
        if (tx)
            dtmf_tx_free(tx);
    }
};

CTonePlayer::CTonePlayer() : m_state(std::make_unique<State>())
{
    m_state->tx = dtmf_tx_init(nullptr);
    if (m_state->tx)
        dtmf_tx_set_timing(m_state->tx, kToneMs, kPauseMs);
}

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
    if (c == '\0' || m_state->tx == nullptr)
        return false;
    const char digits[2] = {c, '\0'};
    if (dtmf_tx_put(m_state->tx, digits, 1) != 0) {
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
    const int got = dtmf_tx(m_state->tx, out, static_cast<int>(n));
    if (got <= 0) {
        m_active = false;
        return 0;
    }
    return static_cast<size_t>(got);
}
