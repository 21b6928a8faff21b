#pragma once
// A received request read as text, beside osip2's parser: the start line as RFC 3261 writes it,
// and the header lines an answer copies when the parser gives up on the rest of the message.
#include <string>
#include <string_view>

namespace zelora {

class CRawRequest {
public:
    // "METHOD SP Request-URI SP SIP/2.0": 0 when usable, 400 when not well formed, 505 for another
    // version, 416 for a URI scheme other than sip, sips and tel. `method` gets the first word.
    static int CheckStartLine(std::string_view text, std::string& method);
    // Every Via and the first From, To, Call-ID and CSeq of `text`, unfolded, under their long names,
    // each line ending CRLF: true when all five are there.
    static bool AnswerHeaders(std::string_view text, std::string& lines);
    // Whether the message declares a multipart body (a Content-Type of multipart/...).
    static bool HasMultipartBody(std::string_view text);
    // The start line and the header lines without Content-Length, closed by a blank line: the
    // message as if it had no body.
    static std::string WithoutBody(std::string_view text);
    // Whether a request method is one of SIP's (RFC 3261 and its extensions).
    static bool IsKnownMethod(std::string_view method);
    // Text helpers of header values: blanks around cut off; equal ignoring case.
    static std::string_view Trim(std::string_view text);
    static bool SameWord(std::string_view a, std::string_view b);
};

} // namespace zelora
