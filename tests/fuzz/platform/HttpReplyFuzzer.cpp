// Any bytes as an HTTP server's reply, read once whole and once in pieces of the sizes the first
// byte picks: both readings agree, the body stays within its limit, and an ended stream never
// leaves the reply waiting for more.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/inet/CHttpReply.h"

using fuzzsupport::Check;
using zelora::inet::CHttpReply;

namespace {

constexpr std::size_t kLimit = 4096;

struct Reading {
    CHttpReply::Result result;
    int status;
    std::string body;
    std::string contentLength;
    std::string location;
};

Reading Read(std::string_view bytes, std::size_t piece, bool bodyless)
{
    CHttpReply reply(kLimit, bodyless);
    CHttpReply::Result result = CHttpReply::Result::More;
    for (std::size_t at = 0; at < bytes.size() && result == CHttpReply::Result::More; at += piece)
        result = reply.Feed(bytes.substr(at, piece));
    if (result == CHttpReply::Result::More)
        result = reply.End();
    Check(result != CHttpReply::Result::More);
    // A finished reading stays finished.
    Check(reply.Feed("HTTP/1.1 200 OK\r\n\r\n") == result);
    if (result == CHttpReply::Result::Complete)
        Check(reply.Status() >= 200 && reply.Status() <= 999);
    Reading reading{result, reply.Status(), reply.TakeBody(), reply.ContentLength(), reply.Location()};
    Check(reading.body.size() <= kLimit);
    if (bodyless)
        Check(reading.body.empty());
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool bodyless = (data[0] & 0x80) != 0;
    const std::size_t piece = 1 + (data[0] & 0x0F);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const Reading whole = Read(bytes, bytes.size() + 1, bodyless);
    const Reading pieces = Read(bytes, piece, bodyless);
    Check(whole.result == pieces.result);
    if (whole.result == CHttpReply::Result::Complete) {
        Check(whole.status == pieces.status);
        Check(whole.body == pieces.body);
        Check(whole.contentLength == pieces.contentLength);
        Check(whole.location == pieces.location);
    }
    return 0;
}
