#include "session/tunnel/CTunnelDataParser.h"

#include <cstdlib>
#include <cstring>

#include "app/CLogger.h"

namespace {

struct NameEntry {
    std::uint8_t type;
    const char* name;
};

constexpr NameEntry kClientNames[] = {
    {ELEMENT_TYPE_SIP_CLIENT_CID, "ELEMENT_TYPE_SIP_CLIENT_CID"},
    {ELEMENT_TYPE_SIP_CLIENT_DID, "ELEMENT_TYPE_SIP_CLIENT_DID"},
    {ELEMENT_TYPE_SIP_CLIENT_TID, "ELEMENT_TYPE_SIP_CLIENT_TID"},
    {ELEMENT_TYPE_SIP_CLIENT_DTMF_SIGNAL, "ELEMENT_TYPE_SIP_CLIENT_DTMF_SIGNAL"},
    {ELEMENT_TYPE_SIP_CLIENT_DTMF_DURATION, "ELEMENT_TYPE_SIP_CLIENT_DTMF_DURATION"},
    {ELEMENT_TYPE_SIP_CLIENT_CODEC_LIST, "ELEMENT_TYPE_SIP_CLIENT_CODEC_LIST"},
    {ELEMENT_TYPE_SIP_CLIENT_USER_NAME, "ELEMENT_TYPE_SIP_CLIENT_USER_NAME"},
    {ELEMENT_TYPE_SIP_CLIENT_PASSWORD, "ELEMENT_TYPE_SIP_CLIENT_PASSWORD"},
    {ELEMENT_TYPE_SIP_CLIENT_TO_USER_NAME, "ELEMENT_TYPE_SIP_CLIENT_TO_USER_NAME"},
    {ELEMENT_TYPE_SIP_CLIENT_FROM_HOST, "ELEMENT_TYPE_SIP_CLIENT_FROM_HOST"},
    {ELEMENT_TYPE_SIP_CLIENT_TO_HOST, "ELEMENT_TYPE_SIP_CLIENT_TO_HOST"},
    {ELEMENT_TYPE_SIP_CLIENT_TIMESTAMP, "ELEMENT_TYPE_SIP_CLIENT_TIMESTAMP"},
    {ELEMENT_TYPE_SIP_CLIENT_COMMAND, "ELEMENT_TYPE_SIP_CLIENT_COMMAND"},
    {ELEMENT_TYPE_SIP_CLIENT_FROM_HOST_PORT, "ELEMENT_TYPE_SIP_CLIENT_FROM_HOST_PORT"},
    {ELEMENT_TYPE_SIP_CLIENT_TO_HOST_PORT, "ELEMENT_TYPE_SIP_CLIENT_TO_HOST_PORT"},
    {ELEMENT_TYPE_SIP_CLIENT_REGISTRATION_TIMEOUT, "ELEMENT_TYPE_SIP_CLIENT_REGISTRATION_TIMEOUT"},
};

constexpr NameEntry kServerNames[] = {
    {ELEMENT_TYPE_SIP_CID, "ELEMENT_TYPE_SIP_CID"},
    {ELEMENT_TYPE_SIP_DID, "ELEMENT_TYPE_SIP_DID"},
    {ELEMENT_TYPE_SIP_TID, "ELEMENT_TYPE_SIP_TID"},
    {ELEMENT_TYPE_SIP_STATUS_CODE, "ELEMENT_TYPE_SIP_STATUS_CODE"},
    {ELEMENT_TYPE_SIP_DTMF_SIGNAL, "ELEMENT_TYPE_SIP_DTMF_SIGNAL"},
    {ELEMENT_TYPE_SIP_DTMF_DURATION, "ELEMENT_TYPE_SIP_DTMF_DURATION"},
    {ELEMENT_TYPE_SIP_SELECTED_CODEC_INDEX, "ELEMENT_TYPE_SIP_SELECTED_CODEC_INDEX"},
    {ELEMENT_TYPE_SIP_RTP_PORT, "ELEMENT_TYPE_SIP_RTP_PORT"},
    {ELEMENT_TYPE_SIP_RTP_IP, "ELEMENT_TYPE_SIP_RTP_IP"},
    {ELEMENT_TYPE_SIP_CODEC_NAME, "ELEMENT_TYPE_SIP_CODEC_NAME"},
    {ELEMENT_TYPE_SIP_CODEC_PAYLOAD, "ELEMENT_TYPE_SIP_CODEC_PAYLOAD"},
    {ELEMENT_TYPE_SIP_CODEC_FREQ, "ELEMENT_TYPE_SIP_CODEC_FREQ"},
    {ELEMENT_TYPE_SIP_CODEC_MODE, "ELEMENT_TYPE_SIP_CODEC_MODE"},
    {ELEMENT_TYPE_SIP_FROM_USERNAME, "ELEMENT_TYPE_SIP_FROM_USERNAME"},
    {ELEMENT_TYPE_SIP_TO_USERNAME, "ELEMENT_TYPE_SIP_TO_USERNAME"},
    {ELEMENT_TYPE_SIP_FROM_HOST, "ELEMENT_TYPE_SIP_FROM_HOST"},
    {ELEMENT_TYPE_SIP_TO_HOST, "ELEMENT_TYPE_SIP_TO_HOST"},
    {ELEMENT_TYPE_SIP_RESPONSE_MESSAGE, "ELEMENT_TYPE_SIP_RESPONSE_MESSAGE"},
    {ELEMENT_TYPE_SIP_SERVER_TIMESTAMP, "ELEMENT_TYPE_SIP_SERVER_TIMESTAMP"},
    {ELEMENT_TYPE_SIP_SERVER_COMMAND, "ELEMENT_TYPE_SIP_SERVER_COMMAND"},
};

template <std::size_t N>
const char* FindName(const NameEntry (&table)[N], std::uint8_t type)
{
    for (const NameEntry& e : table)
        if (e.type == type)
            return e.name;
    return nullptr;
}

// Decimal text of a value element; anything that is not a number counts as 0, like atoi.
int ToNumber(const char* text)
{
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text)
        return 0;
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(v);
}

// Writes one element from the record and counts it; -1 when it does not fit.
int AddCounted(std::uint8_t* dst, int dstLength, int& offset, std::uint8_t type, const char* text)
{
    const char* name = FindName(kClientNames, type);
    ZLOG(LOG_DATA, "Adding Element %s [%s]", name != nullptr ? name : "?", text);
    int next = CTunnelDataParser::AddElement(dst, dstLength, offset, type, static_cast<int>(std::strlen(text)),
                                             reinterpret_cast<const std::uint8_t*>(text));
    if (next < 0) {
        ZLOG(LOG_ERROR, "Unable to add element");
        return -1;
    }
    offset = next;
    dst[0] = static_cast<std::uint8_t>(dst[0] + 1);
    return 0;
}

int AddNumber(std::uint8_t* dst, int dstLength, int& offset, std::uint8_t type, int value)
{
    if (value == 0)
        return 0;
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return AddCounted(dst, dstLength, offset, type, text);
}

template <std::size_t N>
int AddText(std::uint8_t* dst, int dstLength, int& offset, std::uint8_t type, const char (&value)[N])
{
    // The record's text may lack its terminator; never read past the field.
    std::size_t n = strnlen(value, N);
    if (n == 0)
        return 0;
    if (n >= N) {
        ZLOG(LOG_ERROR, "Unable to add element");
        return -1;
    }
    return AddCounted(dst, dstLength, offset, type, value);
}

} // namespace

const char* CTunnelDataParser::ClientElementName(std::uint8_t type) { return FindName(kClientNames, type); }
const char* CTunnelDataParser::ServerElementName(std::uint8_t type) { return FindName(kServerNames, type); }

int CTunnelDataParser::AddElement(std::uint8_t* buffer, int bufferLength, int offset, std::uint8_t type,
                                  int valueLength, const std::uint8_t* value)
{
    ZLOG_SCOPE();
    if (buffer == nullptr || offset < 0 || valueLength < 1 || valueLength > TUNNEL_ELEMENT_MAX || value == nullptr ||
        offset + valueLength + 2 > bufferLength) {
        ZLOG(LOG_WARNING, "Can not add element, buffer of [%d] size is short", bufferLength);
        return -1;
    }
    buffer[offset] = type;
    buffer[offset + 1] = static_cast<std::uint8_t>(valueLength);
    std::memcpy(buffer + offset + 2, value, static_cast<std::size_t>(valueLength));
    ZLOG(LOG_DATA, "Element Length [%d], Element Data [%.*s]", valueLength, valueLength,
         reinterpret_cast<const char*>(value));
    return offset + 2 + valueLength;
}

int CTunnelDataParser::GetElement(const std::uint8_t* buffer, int bufferLength, int offset, std::uint8_t& type,
                                  int& length, char* value)
{
    ZLOG_SCOPE();
    length = 0;
    if (value != nullptr)
        value[0] = '\0';
    if (buffer == nullptr || offset < 0 || offset >= bufferLength) {
        ZLOG(LOG_WARNING, "Trying to get element with 0 length");
        return -1;
    }
    if (offset + 2 > bufferLength) {
        ZLOG(LOG_WARNING, "Invalid length [%d] Buffer length [%d]", offset + 2, bufferLength);
        return -2;
    }
    type = buffer[offset];
    int len = buffer[offset + 1];
    if (len == 0) {
        ZLOG(LOG_WARNING, "Trying to get elment with 0 length");
        return -3;
    }
    if (offset + 2 + len > bufferLength) {
        ZLOG(LOG_WARNING, "Element length [%d] Buffer length [%d]", len, bufferLength);
        return -4;
    }
    length = len;
    if (value != nullptr) {
        std::memcpy(value, buffer + offset + 2, static_cast<std::size_t>(len));
        value[len] = '\0';
    }
    return offset + 2 + len;
}

int CTunnelDataParser::MakeTLVFrame(std::uint8_t* destination, int destinationLength, const TUNNEL_CLIENT_DATA* data)
{
    ZLOG_SCOPE();
    if (destination == nullptr || destinationLength < 1) {
        ZLOG(LOG_ERROR, "Null value passed for destination buffer");
        return -1;
    }
    if (data == nullptr) {
        ZLOG(LOG_ERROR, "Null value passed for source structure");
        return -2;
    }
    std::uint8_t* d = destination;
    int n = destinationLength;
    int off = 1;
    d[0] = 0;
    if (AddNumber(d, n, off, ELEMENT_TYPE_SIP_CLIENT_COMMAND, data->command) < 0 ||
        AddNumber(d, n, off, ELEMENT_TYPE_SIP_CLIENT_CID, data->cid) < 0 ||
        AddNumber(d, n, off, ELEMENT_TYPE_SIP_CLIENT_DID, data->did) < 0 ||
        AddNumber(d, n, off, ELEMENT_TYPE_SIP_CLIENT_TID, data->tid) < 0 ||
        AddNumber(d, n, off, ELEMENT_TYPE_SIP_CLIENT_REGISTRATION_TIMEOUT, data->registrationTimeout) < 0 ||
        AddNumber(d, n, off, ELEMENT_TYPE_SIP_CLIENT_DTMF_DURATION, data->dtmfDuration) < 0 ||
        AddNumber(d, n, off, ELEMENT_TYPE_SIP_CLIENT_DTMF_SIGNAL, data->dtmfSignal) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_CODEC_LIST, data->codecList) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_FROM_HOST, data->fromHost) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_PASSWORD, data->password) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_TIMESTAMP, data->timestamp) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_TO_HOST, data->toHost) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_TO_USER_NAME, data->toUserName) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_USER_NAME, data->userName) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_FROM_HOST_PORT, data->fromHostPort) < 0 ||
        AddText(d, n, off, ELEMENT_TYPE_SIP_CLIENT_TO_HOST_PORT, data->toHostPort) < 0)
        return -1;
    ZLOG(LOG_DEBUG, "Total Frame Length %d", off);
    return off;
}

int CTunnelDataParser::ParseTLVFrame(const std::uint8_t* frame, int frameLength, SESSION_EVENT_INFO* info,
                                     char* timestamp)
{
    ZLOG_SCOPE();
    if (info != nullptr)
        ClearEventInfo(*info);
    if (timestamp != nullptr)
        timestamp[0] = '\0';
    if (frame == nullptr || info == nullptr) {
        ZLOG(LOG_WARNING, "No more elements");
        return 1;
    }
    char value[SESSION_TEXT_SIZE];
    int offset = 1;
    for (;;) {
        std::uint8_t type = 0;
        int length = 0;
        std::memset(value, 0, sizeof value);
        int next = GetElement(frame, frameLength, offset, type, length, value);
        if (next < 0) {
            ZLOG(LOG_WARNING, "No more elements");
            return 1;
        }
        offset = next;
        const char* name = FindName(kServerNames, type);
        if (name == nullptr) {
            ZLOG(LOG_WARNING, "@@@@@@@@@@@@@@@@@@@@@@Element type Unknown@@@@@@@@@@@@@@@@@@@@@@");
            continue;
        }
        ZLOG(LOG_DATA, "Element type %s", name);
        std::int32_t* number = nullptr;
        char* text = nullptr;
        switch (type) {
        case ELEMENT_TYPE_SIP_CID:
            number = &info->cid;
            break;
        case ELEMENT_TYPE_SIP_DID:
            number = &info->did;
            break;
        case ELEMENT_TYPE_SIP_TID:
            number = &info->tid;
            break;
        case ELEMENT_TYPE_SIP_STATUS_CODE:
            number = &info->statusCode;
            break;
        case ELEMENT_TYPE_SIP_DTMF_SIGNAL:
            number = &info->dtmfSignal;
            break;
        case ELEMENT_TYPE_SIP_DTMF_DURATION:
            number = &info->dtmfDuration;
            break;
        case ELEMENT_TYPE_SIP_SELECTED_CODEC_INDEX:
            number = &info->selectedCodecIndex;
            break;
        case ELEMENT_TYPE_SIP_SERVER_COMMAND:
            number = &info->command;
            break;
        case ELEMENT_TYPE_SIP_RTP_PORT:
            text = info->rtpPort;
            break;
        case ELEMENT_TYPE_SIP_RTP_IP:
            text = info->rtpIp;
            break;
        case ELEMENT_TYPE_SIP_CODEC_NAME:
            text = info->codecName;
            break;
        case ELEMENT_TYPE_SIP_CODEC_PAYLOAD:
            text = info->codecPayload;
            break;
        case ELEMENT_TYPE_SIP_CODEC_FREQ:
            text = info->codecFreq;
            break;
        case ELEMENT_TYPE_SIP_CODEC_MODE:
            text = info->codecMode;
            break;
        case ELEMENT_TYPE_SIP_FROM_USERNAME:
            text = info->fromUserName;
            break;
        case ELEMENT_TYPE_SIP_TO_USERNAME:
            text = info->toUserName;
            break;
        case ELEMENT_TYPE_SIP_FROM_HOST:
            text = info->fromHost;
            break;
        case ELEMENT_TYPE_SIP_TO_HOST:
            text = info->toHost;
            break;
        case ELEMENT_TYPE_SIP_RESPONSE_MESSAGE:
            text = info->responseMessage;
            break;
        case ELEMENT_TYPE_SIP_SERVER_TIMESTAMP:
            text = timestamp;
            break;
        default:
            break;
        }
        if (number != nullptr) {
            *number = ToNumber(value);
            ZLOG(LOG_DATA, "Element Data [%d]", *number);
        } else if (text != nullptr) {
            // Values are at most 255 bytes, every destination holds 256.
            std::memcpy(text, value, static_cast<std::size_t>(length));
            text[length] = '\0';
            ZLOG(LOG_DATA, "Element Data [%s]", text);
        }
    }
}

int CTunnelDataParser::ParseClientFrame(const std::uint8_t* frame, int frameLength, TUNNEL_CLIENT_DATA* data)
{
    ZLOG_SCOPE();
    if (frame == nullptr || data == nullptr)
        return -1;
    std::memset(data, 0, sizeof *data);
    char value[SESSION_TEXT_SIZE];
    int offset = 1;
    for (;;) {
        std::uint8_t type = 0;
        int length = 0;
        int next = GetElement(frame, frameLength, offset, type, length, value);
        if (next < 0)
            return 1;
        offset = next;
        char* text = nullptr;
        switch (type) {
        case ELEMENT_TYPE_SIP_CLIENT_CID:
            data->cid = ToNumber(value);
            break;
        case ELEMENT_TYPE_SIP_CLIENT_DID:
            data->did = ToNumber(value);
            break;
        case ELEMENT_TYPE_SIP_CLIENT_TID:
            data->tid = ToNumber(value);
            break;
        case ELEMENT_TYPE_SIP_CLIENT_REGISTRATION_TIMEOUT:
            data->registrationTimeout = ToNumber(value);
            break;
        case ELEMENT_TYPE_SIP_CLIENT_DTMF_SIGNAL:
            data->dtmfSignal = ToNumber(value);
            break;
        case ELEMENT_TYPE_SIP_CLIENT_DTMF_DURATION:
            data->dtmfDuration = ToNumber(value);
            break;
        case ELEMENT_TYPE_SIP_CLIENT_COMMAND: {
            int c = ToNumber(value);
            data->command = static_cast<std::uint8_t>(c >= 0 && c <= 255 ? c : 0);
            break;
        }
        case ELEMENT_TYPE_SIP_CLIENT_CODEC_LIST:
            text = data->codecList;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_USER_NAME:
            text = data->userName;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_PASSWORD:
            text = data->password;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_TO_USER_NAME:
            text = data->toUserName;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_FROM_HOST:
            text = data->fromHost;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_TO_HOST:
            text = data->toHost;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_TIMESTAMP:
            text = data->timestamp;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_FROM_HOST_PORT:
            text = data->fromHostPort;
            break;
        case ELEMENT_TYPE_SIP_CLIENT_TO_HOST_PORT:
            text = data->toHostPort;
            break;
        default:
            ZLOG(LOG_WARNING, "@@@@@@@@@@@@@@@@@@@@@@Element type Unknown@@@@@@@@@@@@@@@@@@@@@@");
            break;
        }
        if (text != nullptr) {
            std::memcpy(text, value, static_cast<std::size_t>(length));
            text[length] = '\0';
        }
    }
}

int CTunnelDataParser::AddServerNumber(std::uint8_t* frame, int frameLength, int offset, std::uint8_t type, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return AddServerText(frame, frameLength, offset, type, text);
}

int CTunnelDataParser::AddServerText(std::uint8_t* frame, int frameLength, int offset, std::uint8_t type,
                                     const char* value)
{
    if (frame == nullptr || value == nullptr)
        return -1;
    int next = AddElement(frame, frameLength, offset, type, static_cast<int>(strnlen(value, 256)),
                          reinterpret_cast<const std::uint8_t*>(value));
    if (next > 0)
        frame[0] = static_cast<std::uint8_t>(frame[0] + 1);
    return next;
}
