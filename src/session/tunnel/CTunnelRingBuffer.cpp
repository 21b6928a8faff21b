#include "session/tunnel/CTunnelRingBuffer.h"

#include <algorithm>
#include <cstring>

CTunnelRingBuffer::CTunnelRingBuffer(std::size_t capacity)
    : m_data(new std::uint8_t[capacity < 2 ? 2 : capacity]), m_capacity(capacity < 2 ? 2 : capacity)
{
}

std::size_t CTunnelRingBuffer::Size() const
{
    return m_write >= m_read ? m_write - m_read : m_capacity - m_read + m_write;
}

std::size_t CTunnelRingBuffer::Append(const std::uint8_t* data, std::size_t length)
{
    if (data == nullptr)
        return 0;
    std::size_t n = std::min(length, Free());
    std::size_t first = std::min(n, m_capacity - m_write);
    std::memcpy(m_data.get() + m_write, data, first);
    std::memcpy(m_data.get(), data + first, n - first);
    m_write = (m_write + n) % m_capacity;
    return n;
}

std::size_t CTunnelRingBuffer::Read(std::uint8_t* out, std::size_t count)
{
    std::size_t n = std::min(count, Size());
    if (out != nullptr) {
        std::size_t first = std::min(n, m_capacity - m_read);
        std::memcpy(out, m_data.get() + m_read, first);
        std::memcpy(out + first, m_data.get(), n - first);
    }
    m_read = (m_read + n) % m_capacity;
    return n;
}
