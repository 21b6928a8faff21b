#pragma once
// The TLV body of one signalling frame the server sends; elements that do not fit are left out.
#include <cstdint>
#include <string>

class CTunnelFrame {
public:
    CTunnelFrame() { m_tlv[0] = 0; }
    CTunnelFrame& Number(std::uint8_t type, int value);
    // Empty texts are left out; longer ones are cut to the 255 bytes an element holds.
    CTunnelFrame& Text(std::uint8_t type, const std::string& value);
    // The SIP status code and its reason phrase.
    CTunnelFrame& Status(int status, const char* reason);
    // The packet with its type byte in front: signalling, ending with the server command.
    int Packet(int command, std::uint8_t* out, int size);

    static constexpr int kMaxPacket = 1 + 1024;

private:
    std::uint8_t m_tlv[1024];
    int m_length = 1;
};
