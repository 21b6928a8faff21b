#include "platform/inet/CHttpReply.h"

#include <strings.h>

namespace zelora::inet {

CHttpReply::CHttpReply(std::size_t maxBody, bool bodyless) : m_maxBody(maxBody), m_bodyless(bodyless)
{
    http_parser_init(&m_parser, HTTP_RESPONSE);
    m_parser.data = this;
    m_settings.on_header_field = &CHttpReply::OnHeaderField;
    m_settings.on_header_value = &CHttpReply::OnHeaderValue;
    m_settings.on_headers_complete = &CHttpReply::OnHeadersComplete;
    m_settings.on_body = &CHttpReply::OnBody;
    m_settings.on_message_complete = &CHttpReply::OnMessageComplete;
}

void CHttpReply::KeepHeader()
{
    if (m_inValue) {
        if (strcasecmp(m_field.c_str(), "Content-Length") == 0) {
            m_contentLength = m_value;
        } else if (strcasecmp(m_field.c_str(), "Location") == 0) {
            m_location = m_value;
        }
    }
    m_field.clear();
    m_value.clear();
    m_inValue = false;
}

int CHttpReply::OnHeaderField(http_parser* parser, const char* at, std::size_t length)
{
    CHttpReply& self = Of(parser);
    if (self.m_inValue) {
        self.KeepHeader();
    }
    self.m_field.append(at, length);
    return 0;
}

int CHttpReply::OnHeaderValue(http_parser* parser, const char* at, std::size_t length)
{
    CHttpReply& self = Of(parser);
    self.m_inValue = true;
    self.m_value.append(at, length);
    return 0;
}

int CHttpReply::OnHeadersComplete(http_parser* parser)
{
    CHttpReply& self = Of(parser);
    self.KeepHeader();
    if (parser->status_code < 100) {
        return -1; // no such status: the reply is broken
    }
    if (parser->status_code / 100 == 1) {
        return 1; // an interim response has no body, whatever its headers say
    }
    self.m_status = static_cast<int>(parser->status_code);
    self.m_headersDone = true;
    return self.m_bodyless ? 1 : 0; // 1: no body follows
}

int CHttpReply::OnBody(http_parser* parser, const char* at, std::size_t length)
{
    CHttpReply& self = Of(parser);
    if (self.m_body.size() + length > self.m_maxBody) {
        self.m_tooLarge = true;
        http_parser_pause(parser, 1);
        return 0;
    }
    self.m_body.append(at, length);
    return 0;
}

int CHttpReply::OnMessageComplete(http_parser* parser)
{
    CHttpReply& self = Of(parser);
    if (!self.m_headersDone) {
        // The end of an interim response: the next one starts afresh.
        ++self.m_interim;
        self.m_contentLength.clear();
        self.m_location.clear();
        return 0;
    }
    self.m_complete = true;
    // Whatever follows on the connection is not ours.
    http_parser_pause(parser, 1);
    return 0;
}

CHttpReply::Result CHttpReply::Outcome(std::size_t parsed, std::size_t given)
{
    if (m_tooLarge) {
        return Result::TooLarge;
    }
    if (m_complete) {
        return Result::Complete;
    }
    const http_errno error = HTTP_PARSER_ERRNO(&m_parser);
    if (error != HPE_OK || parsed != given || m_parser.upgrade) {
        return Result::Malformed;
    }
    return Result::More;
}

CHttpReply::Result CHttpReply::Settle(Result result)
{
    if (result != Result::More) {
        m_final = result;
    }
    return result;
}

CHttpReply::Result CHttpReply::Feed(std::string_view bytes)
{
    if (m_final) {
        return *m_final;
    }
    if (!bytes.empty()) {
        m_started = true;
    }
    const std::size_t parsed = http_parser_execute(&m_parser, &m_settings, bytes.data(), bytes.size());
    return Settle(Outcome(parsed, bytes.size()));
}

CHttpReply::Result CHttpReply::End()
{
    if (m_final) {
        return *m_final;
    }
    if (!m_started) {
        return Settle(Result::Cut);
    }
    // A zero-length run tells the parser the stream ended: a body read to the close is done.
    http_parser_execute(&m_parser, &m_settings, nullptr, 0);
    const Result result = Outcome(0, 0);
    if (result == Result::More ||
        (result == Result::Malformed && HTTP_PARSER_ERRNO(&m_parser) == HPE_INVALID_EOF_STATE)) {
        return Settle(Result::Cut);
    }
    return Settle(result);
}

} // namespace zelora::inet
