#pragma once
// Circular receive store of the tunnel stream; one byte always stays free.
#include <cstddef>
#include <cstdint>
#include <memory>

class CTunnelRingBuffer {
public:
    static constexpr std::size_t kDefaultCapacity = 3000;

    explicit CTunnelRingBuffer(std::size_t capacity = kDefaultCapacity);

    // Stores as many bytes as fit and returns that count; the rest is dropped.
    std::size_t Append(const std::uint8_t* data, std::size_t length);
    std::size_t Size() const;
    std::size_t Free() const { return m_capacity - 1 - Size(); }
    std::size_t Capacity() const { return m_capacity; }
    bool Full() const { return Free() == 0; }
    // The byte `index` places after the read position; index < Size().
    std::uint8_t At(std::size_t index) const
    {
        std::size_t i = m_read + index; // both below capacity: one subtraction wraps it
        return m_data[i >= m_capacity ? i - m_capacity : i];
    }
    // Removes up to `count` bytes in order, copying them out when `out` is given; returns the count.
    std::size_t Read(std::uint8_t* out, std::size_t count);
    std::size_t Discard(std::size_t count) { return Read(nullptr, count); }

private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_capacity;
    std::size_t m_write = 0;
    std::size_t m_read = 0;
};
