#include "session/sip/CMessageIntake.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <osipparser2/osip_parser.h>

#include "app/CLogger.h"
#include "session/sip/CRawRequest.h"

namespace zelora {

namespace {

bool IsBlank(const char* data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (data[i] != '\r' && data[i] != '\n' && data[i] != ' ' && data[i] != '\t' && data[i] != '\0')
            return false;
    return true;
}

// Bytes after the blank line that ends the headers; -1 when there is no blank line.
long BodyBytes(const char* data, size_t length)
{
    for (size_t i = 0; i + 1 < length; ++i) {
        if (data[i] == '\n' && data[i + 1] == '\n')
            return static_cast<long>(length - (i + 2));
        if (i + 3 < length && data[i] == '\r' && data[i + 1] == '\n' && data[i + 2] == '\r' && data[i + 3] == '\n')
            return static_cast<long>(length - (i + 4));
    }
    return -1;
}

bool IsNumber(const char* text, long max, long& value)
{
    if (text == nullptr || *text == '\0')
        return false;
    value = 0;
    for (const char* p = text; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p)))
            return false;
        value = value * 10 + (*p - '0');
        if (value > max)
            return false;
    }
    return true;
}

bool HasUri(osip_from_t* header) { return header != nullptr && header->url != nullptr; }

} // namespace

bool CMessageIntake::CanAnswer(const osip_message_t* msg)
{
    ZLOG_SCOPE();
    if (msg == nullptr || !MSG_IS_REQUEST(msg) || msg->sip_method == nullptr)
        return false;
    auto* via = static_cast<osip_via_t*>(osip_list_get(&msg->vias, 0));
    return via != nullptr && via->host != nullptr && HasUri(msg->from) && HasUri(msg->to) && msg->call_id != nullptr &&
        msg->call_id->number != nullptr;
}

namespace {

// osip2 expects a terminated text; the datagram is not. Headers cut short keep their complete
// lines, closed, so that the sender can be told.
osip_event_t* ParseText(const char* data, size_t length, long present)
{
    static std::once_flag parserReady;
    std::call_once(parserReady, [] { parser_init(); });
    std::vector<char> text(data, data + length);
    if (present < 0) {
        while (!text.empty() && text.back() != '\n')
            text.pop_back();
        static const char kEnd[] = "\r\n";
        text.insert(text.end(), kEnd, kEnd + 2);
    }
    const size_t parsedLength = text.size();
    text.push_back('\0');
    return osip_parse(text.data(), parsedLength);
}

// The first fault that makes a parsed message unusable, or null.
const char* FirstFault(const osip_message_t* msg, long present)
{
    const bool request = MSG_IS_REQUEST(msg);
    long number = 0;
    auto* via = static_cast<osip_via_t*>(osip_list_get(&msg->vias, 0));
    if (via == nullptr || via->host == nullptr)
        return "missing Via";
    if (!HasUri(msg->from))
        return "missing From";
    if (!HasUri(msg->to))
        return "missing To";
    if (msg->call_id == nullptr || msg->call_id->number == nullptr)
        return "missing Call-ID";
    if (msg->cseq == nullptr || msg->cseq->method == nullptr || !IsNumber(msg->cseq->number, 0x7fffffffL, number))
        return "missing or bad CSeq";
    if (request && (msg->sip_method == nullptr || msg->req_uri == nullptr))
        return "bad request line";
    if (request && std::strcmp(msg->cseq->method, msg->sip_method) != 0)
        return "CSeq method differs from request method";
    if (!request && (msg->status_code < 100 || msg->status_code > 699))
        return "bad status code";
    if (present < 0)
        return "truncated headers";
    long declared = 0;
    if (msg->content_length != nullptr && !IsNumber(msg->content_length->value, 0x7fffffffL, declared))
        return "bad Content-Length";
    if (declared > present)
        return "Content-Length larger than the message";
    return nullptr;
}

const char* StartLineFault(int status)
{
    return status == 505 ? "SIP version not supported"
        : status == 416  ? "URI scheme not supported"
                         : "bad request line";
}

// A request osip2 cannot parse is answered from the header lines a response copies, when it has them.
void RefuseUnparsable(std::string_view raw, bool request, int lineStatus, IntakeResult& result)
{
    result.reason = "unparsable message";
    if (request && CRawRequest::AnswerHeaders(raw, result.answerHeaders)) {
        // Method inspection comes before the headers: an unknown method is not implemented.
        result.status = lineStatus != 0 ? lineStatus : CRawRequest::IsKnownMethod(result.method) ? 400 : 501;
        result.verdict = IntakeVerdict::Refused;
        ZLOG(LOG_WARNING, "refused unparsable request of %zu bytes with %d", raw.size(), result.status);
        return;
    }
    ZLOG(LOG_WARNING, "dropped unparsable datagram of %zu bytes", raw.size());
}

} // namespace

IntakeResult CMessageIntake::Parse(const char* data, size_t length)
{
    ZLOG_SCOPE();
    IntakeResult result;
    if (data == nullptr || length <= 5 || IsBlank(data, length)) {
        result.verdict = IntakeVerdict::KeepAlive;
        return result;
    }
    if (length > kMaxMessage) {
        result.reason = "message too large";
        ZLOG(LOG_WARNING, "dropped datagram of %zu bytes: too large", length);
        return result;
    }
    const long present = BodyBytes(data, length);
    const std::string_view raw(data, length);
    const bool request = raw.rfind("SIP/", 0) != 0;
    const int lineStatus = request ? CRawRequest::CheckStartLine(raw, result.method) : 0;
    // A multipart body is never read here: osip2's MIME parser is kept away from it (it leaks on
    // some), and the request is refused as a whole (415) from its headers.
    const bool multipart = request && CRawRequest::HasMultipartBody(raw);
    const std::string headersOnly = multipart ? CRawRequest::WithoutBody(raw) : std::string();
    osip_event_t* evt =
        multipart ? ParseText(headersOnly.data(), headersOnly.size(), 0) : ParseText(data, length, present);
    if (evt == nullptr || evt->sip == nullptr) {
        if (evt != nullptr)
            osip_event_free(evt);
        RefuseUnparsable(raw, request, lineStatus, result);
        return result;
    }
    osip_message_t* msg = evt->sip;
    const char* fault = FirstFault(msg, present);
    int status = 400;
    if (fault == nullptr && request && lineStatus != 0) {
        status = lineStatus;
        fault = StartLineFault(lineStatus);
    } else if (fault == nullptr && multipart) {
        status = 415;
        fault = "multipart body";
    } else if (fault != nullptr && request && msg->sip_method != nullptr &&
               !CRawRequest::IsKnownMethod(msg->sip_method)) {
        status = 501;
    }
    if (fault == nullptr) {
        result.verdict = IntakeVerdict::Accepted;
        result.event = evt;
        return result;
    }
    result.reason = fault;
    if (request && CanAnswer(msg)) {
        ZLOG(LOG_WARNING, "bad %s request: %s", msg->sip_method, fault);
        result.verdict = IntakeVerdict::Refused;
        result.status = status;
        result.event = evt;
        return result;
    }
    ZLOG(LOG_WARNING, "dropped malformed %s: %s", request ? "request" : "response", fault);
    osip_event_free(evt);
    return result;
}

} // namespace zelora
