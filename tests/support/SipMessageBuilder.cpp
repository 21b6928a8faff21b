#include "SipMessageBuilder.h"

#include <strings.h>

namespace zelora::test {

SipMessageBuilder SipMessageBuilder::Request(const std::string& method, const std::string& uri)
{
    return SipMessageBuilder(method + " " + uri + " SIP/2.0");
}

SipMessageBuilder SipMessageBuilder::ResponseTo(const std::string& request, int status, const std::string& reason,
                                                const std::string& toTag)
{
    std::string to = HeaderOf(request, "To");
    if (!toTag.empty() && to.find(";tag=") == std::string::npos)
        to += ";tag=" + toTag;
    SipMessageBuilder b("SIP/2.0 " + std::to_string(status) + " " + reason);
    b.Header("Via", HeaderOf(request, "Via"))
        .Header("From", HeaderOf(request, "From"))
        .Header("To", to)
        .Header("Call-ID", HeaderOf(request, "Call-ID"))
        .Header("CSeq", HeaderOf(request, "CSeq"));
    return b;
}

SipMessageBuilder& SipMessageBuilder::Header(const std::string& name, const std::string& value)
{
    m_text += name + ": " + value + "\r\n";
    return *this;
}

SipMessageBuilder& SipMessageBuilder::Lines(const std::string& lines)
{
    m_text += lines;
    return *this;
}

SipMessageBuilder& SipMessageBuilder::Body(const std::string& contentType, const std::string& body)
{
    if (!contentType.empty())
        Header("Content-Type", contentType);
    m_body = body;
    return *this;
}

std::string SipMessageBuilder::Text() const
{
    return m_text + "Content-Length: " + std::to_string(m_body.size()) + "\r\n\r\n" + m_body;
}

std::string SipMessageBuilder::HeaderOf(const std::string& message, const std::string& name)
{
    std::size_t pos = message.find("\r\n");
    std::size_t headersEnd = message.find("\r\n\r\n");
    while (pos != std::string::npos && pos < headersEnd) {
        std::size_t start = pos + 2;
        std::size_t end = message.find("\r\n", start);
        std::string line = message.substr(start, end - start);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string field = line.substr(0, colon);
            while (!field.empty() && field.back() == ' ')
                field.pop_back();
            if (strcasecmp(field.c_str(), name.c_str()) == 0) {
                std::string value = line.substr(colon + 1);
                std::size_t first = value.find_first_not_of(' ');
                return first == std::string::npos ? std::string() : value.substr(first);
            }
        }
        pos = end;
    }
    return {};
}

} // namespace zelora::test
