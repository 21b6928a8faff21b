#pragma once
// SIP text for the scripted test peers: requests and answers built one header at a time,
// Content-Length always matching the body, and the header readings the peers need.
#include <string>

namespace zelora::test {

class SipMessageBuilder {
public:
    static SipMessageBuilder Request(const std::string& method, const std::string& uri);
    // An answer to `request`: its Via, From, To, Call-ID and CSeq; `toTag` goes on To unless it has one.
    static SipMessageBuilder ResponseTo(const std::string& request, int status, const std::string& reason,
                                        const std::string& toTag = {});

    SipMessageBuilder& Header(const std::string& name, const std::string& value);
    // Header lines as they are, each ending in CRLF.
    SipMessageBuilder& Lines(const std::string& lines);
    SipMessageBuilder& Body(const std::string& contentType, const std::string& body);
    std::string Text() const;

    // Value of the first header `name` (case-insensitive, compact forms not expanded), "" if none.
    static std::string HeaderOf(const std::string& message, const std::string& name);

private:
    explicit SipMessageBuilder(std::string startLine) : m_text(std::move(startLine) + "\r\n") { }
    std::string m_text;
    std::string m_body;
};

} // namespace zelora::test
