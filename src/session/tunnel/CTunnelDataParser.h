#pragma once
// Type-length-value frames carried by tunnel signalling packets.
#include <cstdint>

#include "session/SessionTypes.h"

// Client-to-server element types.
enum : std::uint8_t {
    ELEMENT_TYPE_SIP_CLIENT_CID = 1,
    ELEMENT_TYPE_SIP_CLIENT_DID = 2,
    ELEMENT_TYPE_SIP_CLIENT_TID = 3,
    ELEMENT_TYPE_SIP_CLIENT_DTMF_SIGNAL = 4,
    ELEMENT_TYPE_SIP_CLIENT_DTMF_DURATION = 5,
    ELEMENT_TYPE_SIP_CLIENT_CODEC_LIST = 6,
    ELEMENT_TYPE_SIP_CLIENT_USER_NAME = 7,
    ELEMENT_TYPE_SIP_CLIENT_PASSWORD = 8,
    ELEMENT_TYPE_SIP_CLIENT_TO_USER_NAME = 9,
    ELEMENT_TYPE_SIP_CLIENT_FROM_HOST = 10,
    ELEMENT_TYPE_SIP_CLIENT_TO_HOST = 11,
    ELEMENT_TYPE_SIP_CLIENT_TIMESTAMP = 12,
    ELEMENT_TYPE_SIP_CLIENT_COMMAND = 13,
    ELEMENT_TYPE_SIP_CLIENT_FROM_HOST_PORT = 14,
    ELEMENT_TYPE_SIP_CLIENT_TO_HOST_PORT = 15,
    ELEMENT_TYPE_SIP_CLIENT_REGISTRATION_TIMEOUT = 16,
};

// Server-to-client element types.
enum : std::uint8_t {
    ELEMENT_TYPE_SIP_CID = 31,
    ELEMENT_TYPE_SIP_DID = 32,
    ELEMENT_TYPE_SIP_TID = 33,
    ELEMENT_TYPE_SIP_STATUS_CODE = 34,
    ELEMENT_TYPE_SIP_DTMF_SIGNAL = 35,
    ELEMENT_TYPE_SIP_DTMF_DURATION = 36,
    ELEMENT_TYPE_SIP_SELECTED_CODEC_INDEX = 37,
    ELEMENT_TYPE_SIP_RTP_PORT = 38,
    ELEMENT_TYPE_SIP_RTP_IP = 39,
    ELEMENT_TYPE_SIP_CODEC_NAME = 40,
    ELEMENT_TYPE_SIP_CODEC_PAYLOAD = 41,
    ELEMENT_TYPE_SIP_CODEC_FREQ = 42,
    ELEMENT_TYPE_SIP_CODEC_MODE = 43,
    ELEMENT_TYPE_SIP_FROM_USERNAME = 44,
    ELEMENT_TYPE_SIP_TO_USERNAME = 45,
    ELEMENT_TYPE_SIP_FROM_HOST = 46,
    ELEMENT_TYPE_SIP_TO_HOST = 47,
    ELEMENT_TYPE_SIP_RESPONSE_MESSAGE = 50,
    ELEMENT_TYPE_SIP_SERVER_TIMESTAMP = 51,
    ELEMENT_TYPE_SIP_SERVER_COMMAND = 52,
};

constexpr int TUNNEL_CODEC_LIST_SIZE = 511;
constexpr int TUNNEL_ELEMENT_MAX = 255;

struct TUNNEL_CLIENT_DATA {
    std::int32_t cid;
    std::int32_t did;
    std::int32_t tid;
    std::int32_t registrationTimeout;
    std::int32_t dtmfSignal;
    std::int32_t dtmfDuration;
    char codecList[TUNNEL_CODEC_LIST_SIZE];
    char userName[SESSION_TEXT_SIZE];
    char password[SESSION_TEXT_SIZE];
    char toUserName[SESSION_TEXT_SIZE];
    char fromHost[SESSION_TEXT_SIZE];
    char toHost[SESSION_TEXT_SIZE];
    char timestamp[SESSION_TEXT_SIZE];
    char fromHostPort[SESSION_TEXT_SIZE];
    char toHostPort[SESSION_TEXT_SIZE];
    std::uint8_t command;
};

class CTunnelDataParser {
public:
    // The offset after the element, or -1 when it does not fit or the value length is not 1 to 255.
    static int AddElement(std::uint8_t* buffer, int bufferLength, int offset, std::uint8_t type, int valueLength,
                          const std::uint8_t* value);
    // The offset after the element (value NUL-terminated, `value` must hold 256 bytes), or
    // -1 offset at or past the end, -2 header does not fit, -3 zero length, -4 value does not fit.
    static int GetElement(const std::uint8_t* buffer, int bufferLength, int offset, std::uint8_t& type, int& length,
                          char* value);
    // Total frame length, -1 null destination or an element that does not fit, -2 null record.
    static int MakeTLVFrame(std::uint8_t* destination, int destinationLength, const TUNNEL_CLIENT_DATA* data);
    // Fills the record and the 256-byte timestamp text from a server frame; always 1.
    static int ParseTLVFrame(const std::uint8_t* frame, int frameLength, SESSION_EVENT_INFO* info, char* timestamp);
    // The server's side: a client frame back into its record; 1, or -1 for a null argument.
    static int ParseClientFrame(const std::uint8_t* frame, int frameLength, TUNNEL_CLIENT_DATA* data);
    // Adds one server element (decimal number or text) and counts it in frame[0]; as AddElement.
    static int AddServerNumber(std::uint8_t* frame, int frameLength, int offset, std::uint8_t type, int value);
    static int AddServerText(std::uint8_t* frame, int frameLength, int offset, std::uint8_t type, const char* value);
    static const char* ClientElementName(std::uint8_t type);
    static const char* ServerElementName(std::uint8_t type);
};
