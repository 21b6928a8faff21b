#pragma once
// Reads one HTTP/1.x response from a byte stream as it arrives: the final status, the headers
// the client reports, the body within a size limit. Interim (1xx) responses are counted and
// passed over. The parser is Debian's http-parser; this class only keeps what we report.
#include <http_parser.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelora::inet {

class CHttpReply {
public:
    enum class Result {
        More, // the response goes on
        Complete, // the final response has been read whole
        Malformed, // not HTTP, or broken framing
        TooLarge, // the body passed the limit
        Cut, // the peer closed before the response was whole
    };

    // `bodyless`: the answer to a HEAD request, whose headers announce a body never sent.
    CHttpReply(std::size_t maxBody, bool bodyless);
    CHttpReply(const CHttpReply&) = delete;
    CHttpReply& operator=(const CHttpReply&) = delete;

    Result Feed(std::string_view bytes);
    // The peer closed its side: ends a body that runs to the close. Once either has given
    // anything but More, both give that again.
    Result End();

    bool Started() const { return m_started; }
    int Interim() const { return m_interim; }
    // The final response's status, 0 until its headers are complete.
    int Status() const { return m_headersDone ? m_status : 0; }
    bool HeadersDone() const { return m_headersDone; }
    const std::string& ContentLength() const { return m_contentLength; }
    const std::string& Location() const { return m_location; }
    std::string TakeBody() { return std::move(m_body); }

private:
    static CHttpReply& Of(http_parser* parser) { return *static_cast<CHttpReply*>(parser->data); }
    static int OnHeaderField(http_parser* parser, const char* at, std::size_t length);
    static int OnHeaderValue(http_parser* parser, const char* at, std::size_t length);
    static int OnHeadersComplete(http_parser* parser);
    static int OnBody(http_parser* parser, const char* at, std::size_t length);
    static int OnMessageComplete(http_parser* parser);
    void KeepHeader();
    Result Outcome(std::size_t parsed, std::size_t given);
    Result Settle(Result result);

    http_parser m_parser{};
    http_parser_settings m_settings{};
    std::size_t m_maxBody;
    bool m_bodyless;
    bool m_started = false;
    bool m_headersDone = false;
    bool m_complete = false;
    bool m_tooLarge = false;
    std::optional<Result> m_final;
    int m_interim = 0;
    int m_status = 0;
    // The header being read; the parser bounds the whole header block.
    std::string m_field;
    std::string m_value;
    bool m_inValue = false;
    std::string m_contentLength;
    std::string m_location;
    std::string m_body;
};

} // namespace zelora::inet
