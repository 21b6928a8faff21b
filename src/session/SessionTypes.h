#pragma once
// Records and codes shared by every session protocol and by call control.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

constexpr int MAX_CODEC_COUNT = 20;
constexpr int SESSION_TEXT_SIZE = 256; // 255 characters and the terminator

struct CODEC_INFO {
    char name[SESSION_TEXT_SIZE];
    char fmtp[SESSION_TEXT_SIZE];
    std::uint8_t payload;
    std::int32_t frequency;
    std::int32_t mode;
};

struct SESSION_EVENT_INFO {
    std::int32_t cid;
    std::int32_t did;
    std::int32_t tid;
    std::int32_t command;
    std::int32_t statusCode;
    std::int32_t dtmfSignal;
    std::int32_t dtmfDuration;
    std::int32_t selectedCodecIndex;
    char rtpPort[SESSION_TEXT_SIZE];
    char rtpIp[SESSION_TEXT_SIZE];
    char codecName[SESSION_TEXT_SIZE];
    char codecPayload[SESSION_TEXT_SIZE];
    char codecFreq[SESSION_TEXT_SIZE];
    char codecMode[SESSION_TEXT_SIZE];
    char fromUserName[SESSION_TEXT_SIZE];
    char toUserName[SESSION_TEXT_SIZE];
    char fromHost[SESSION_TEXT_SIZE];
    char toHost[SESSION_TEXT_SIZE];
    char responseMessage[SESSION_TEXT_SIZE];
    std::int32_t telephoneEventIndex;
    std::int32_t telephoneEventPayload;
    std::int32_t ptime;
    char telephoneEventFmtp[SESSION_TEXT_SIZE];
};

// Called from the protocol's worker thread; `record` is valid only during the call and is
// null for the SIP stack's registration events (1, 2, 3). The result is ignored.
typedef int (*SESSION_CALLBACK)(int status, void* context, SESSION_EVENT_INFO* record);

enum MXSS_STATUS {
    MXSS_STATUS_REGISTRATION_SUCCESSFUL = 1,
    MXSS_STATUS_REGISTRATION_FAILURE = 2,
    MXSS_STATUS_REGISTRATION_TIMEOUT = 3,
    MXSS_STATUS_INCOMING_CALL = 4,
    MXSS_STATUS_CALL_NOANSWER = 6,
    MXSS_STATUS_CALL_PROCEEDING = 7,
    MXSS_STATUS_CALL_RINGING = 8,
    MXSS_STATUS_OUTGOING_CALL_ANSWERED = 9,
    MXSS_STATUS_CALL_REDIRECTED = 10,
    MXSS_STATUS_CALL_REQUESTFAILURE = 11,
    MXSS_STATUS_CALL_SERVERFAILURE = 12,
    MXSS_STATUS_CALL_GLOBALFAILURE = 13,
    MXSS_STATUS_CALL_ACK = 14,
    MXSS_STATUS_CALL_CANCELLED = 15,
    MXSS_STATUS_CALL_TIMEOUT = 16,
    MXSS_STATUS_CALL_CLOSED = 17,
    MXSS_STATUS_CALL_RELEASED = 18,
    MXSS_STATUS_DTMF = 19,
    MXSS_STATUS_CALL_MESSAGE_REQUESTFAILURE = 20,
    MXSS_STATUS_OTHER_SIP_MESSAGE = 21,
    MXSS_STATUS_TIMESTAMP = 100,
    MXSS_STATUS_INVITE_RESULT = 101,
    MXSS_STATUS_LOGOUT = 102,
    // SIP: the keep-alive MESSAGE went unanswered or failed; the binding may be lost.
    MXSS_STATUS_KEEPALIVE_LOST = 103,
};

// "MXSS_STATUS_CALL_RINGING" for 8; "UNKNOWN" for codes outside the table.
const char* MXSSStatusName(int status);

// Bounded copy into a record's text field: at most 255 characters, always terminated.
template <std::size_t N>
inline void CopyText(char (&dst)[N], std::string_view src)
{
    std::size_t n = src.size() < N - 1 ? src.size() : N - 1;
    if (n > 0)
        std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

template <std::size_t N>
inline void CopyText(char (&dst)[N], const char* src)
{
    CopyText(dst, std::string_view(src != nullptr ? src : ""));
}

// A cleared record: zeros everywhere, telephone-event fields at "none".
inline void ClearEventInfo(SESSION_EVENT_INFO& info)
{
    std::memset(&info, 0, sizeof info);
    info.telephoneEventIndex = -1;
    info.telephoneEventPayload = -1;
}
