#include "CTunnelFrame.h"

#include <cstring>

#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelFrameCodec.h"

CTunnelFrame& CTunnelFrame::Number(std::uint8_t type, int value)
{
    int next = CTunnelDataParser::AddServerNumber(m_tlv, sizeof m_tlv, m_length, type, value);
    if (next > 0)
        m_length = next;
    return *this;
}

CTunnelFrame& CTunnelFrame::Text(std::uint8_t type, const std::string& value)
{
    if (value.empty())
        return *this;
    int next = CTunnelDataParser::AddServerText(m_tlv, sizeof m_tlv, m_length, type, value.substr(0, 255).c_str());
    if (next > 0)
        m_length = next;
    return *this;
}

CTunnelFrame& CTunnelFrame::Status(int status, const char* reason)
{
    return Number(ELEMENT_TYPE_SIP_STATUS_CODE, status).Text(ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, reason);
}

int CTunnelFrame::Packet(int command, std::uint8_t* out, int size)
{
    Number(ELEMENT_TYPE_SIP_SERVER_COMMAND, command);
    if (size < m_length + 1)
        return -1;
    out[0] = CTunnelFrameCodec::kTypeSignalling;
    std::memcpy(out + 1, m_tlv, static_cast<std::size_t>(m_length));
    return m_length + 1;
}
