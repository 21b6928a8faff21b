// Arbitrary bytes as a server TLV frame: the record's texts must stay terminated and bounded.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "session/tunnel/CTunnelDataParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SESSION_EVENT_INFO info;
    char timestamp[SESSION_TEXT_SIZE];
    int n = size > 4096 ? 4096 : static_cast<int>(size);
    if (CTunnelDataParser::ParseTLVFrame(data, n, &info, timestamp) != 1)
        __builtin_trap();
    const char* texts[] = {info.rtpPort,      info.rtpIp,           info.codecName,
                           info.fromUserName, info.responseMessage, timestamp};
    for (const char* text : texts)
        if (strnlen(text, SESSION_TEXT_SIZE) >= SESSION_TEXT_SIZE)
            __builtin_trap();
    TUNNEL_CLIENT_DATA client;
    CTunnelDataParser::ParseClientFrame(data, n, &client);
    // What the server reads back must be writable again.
    std::uint8_t out[8192];
    if (CTunnelDataParser::MakeTLVFrame(out, sizeof out, &client) < -2)
        __builtin_trap();
    return 0;
}
