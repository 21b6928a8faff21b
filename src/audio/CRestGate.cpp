#include "audio/CRestGate.h"

void CRestGate::Close()
{
    m_closed = true;
    m_wake.Set();
}

void CRestGate::Reset()
{
    m_closed = false;
    m_wake.Reset();
}

bool CRestGate::Rest()
{
    m_wake.Wait();
    // A wake between the wait and this reset is not lost: the frame that follows sees its sound.
    m_wake.Reset();
    return !m_closed;
}
