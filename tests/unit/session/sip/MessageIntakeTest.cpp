#include <gtest/gtest.h>

#include <string>

#include "session/sip/CMessageIntake.h"
#include "session/sip/CRawRequest.h"

using zelora::CMessageIntake;
using zelora::IntakeVerdict;

namespace {

std::string Request(const std::string& headers, const std::string& body = {})
{
    return "OPTIONS sip:a@127.0.0.1 SIP/2.0\r\n" + headers + "\r\n" + body;
}

const std::string kVia = "Via: SIP/2.0/UDP 127.0.0.9:5060;branch=z9hG4bK1\r\n";
const std::string kFrom = "From: <sip:b@127.0.0.9>;tag=1\r\n";
const std::string kTo = "To: <sip:a@127.0.0.1>\r\n";
const std::string kCallId = "Call-ID: 42@127.0.0.9\r\n";
const std::string kCSeq = "CSeq: 1 OPTIONS\r\n";

IntakeVerdict Verdict(const std::string& text, std::string* reason = nullptr)
{
    auto r = CMessageIntake::Parse(text.data(), text.size());
    if (r.event != nullptr)
        osip_event_free(r.event);
    if (reason != nullptr)
        *reason = r.reason;
    return r.verdict;
}

} // namespace

TEST(SipUaIntake, CompleteRequestIsAccepted)
{
    auto text = Request(kVia + kFrom + kTo + kCallId + kCSeq + "Content-Length: 0\r\n");
    auto r = CMessageIntake::Parse(text.data(), text.size());
    ASSERT_EQ(r.verdict, IntakeVerdict::Accepted) << r.reason;
    ASSERT_NE(r.event, nullptr);
    EXPECT_STREQ(r.event->sip->sip_method, "OPTIONS");
    osip_event_free(r.event);
}

TEST(SipUaIntake, KeepAlivesAndGarbage)
{
    EXPECT_EQ(Verdict("\r\n\r\n"), IntakeVerdict::KeepAlive);
    EXPECT_EQ(Verdict("hello"), IntakeVerdict::KeepAlive);
    EXPECT_EQ(Verdict(std::string(40, '\n')), IntakeVerdict::KeepAlive);
    EXPECT_EQ(Verdict("\x01\x02\x03garbage that is not SIP at all\xff\xfe"), IntakeVerdict::Dropped);
    EXPECT_EQ(Verdict(std::string(100, '\0') + "INVITE"), IntakeVerdict::Dropped);
    EXPECT_EQ(Verdict(Request(kVia) + std::string(CMessageIntake::kMaxMessage, 'x')), IntakeVerdict::Dropped);
}

TEST(SipUaIntake, MissingMandatoryHeadersAreAnsweredWhenRoutable)
{
    std::string reason;
    EXPECT_EQ(Verdict(Request(kVia + kFrom + kTo + kCallId), &reason), IntakeVerdict::Refused);
    EXPECT_NE(reason.find("CSeq"), std::string::npos);
    EXPECT_EQ(Verdict(Request(kVia + kFrom + kTo + kCallId + "CSeq: x OPTIONS\r\n")), IntakeVerdict::Refused);
    EXPECT_EQ(Verdict(Request(kVia + kFrom + kTo + kCallId + "CSeq: 1 INVITE\r\n"), &reason), IntakeVerdict::Refused);
    EXPECT_NE(reason.find("method"), std::string::npos);
    // Without Via, From, To or Call-ID there is nowhere to send an answer.
    EXPECT_EQ(Verdict(Request(kFrom + kTo + kCallId + kCSeq)), IntakeVerdict::Dropped);
    EXPECT_EQ(Verdict(Request(kVia + kTo + kCallId + kCSeq)), IntakeVerdict::Dropped);
    EXPECT_EQ(Verdict(Request(kVia + kFrom + kCallId + kCSeq)), IntakeVerdict::Dropped);
    EXPECT_EQ(Verdict(Request(kVia + kFrom + kTo + kCSeq)), IntakeVerdict::Dropped);
}

TEST(SipUaIntake, ContentLengthBeyondTheDatagram)
{
    std::string reason;
    auto text = Request(kVia + kFrom + kTo + kCallId + kCSeq + "Content-Length: 99999\r\n", "v=0\r\n");
    EXPECT_EQ(Verdict(text, &reason), IntakeVerdict::Refused);
    EXPECT_NE(reason.find("Content-Length"), std::string::npos);
    text = Request(kVia + kFrom + kTo + kCallId + kCSeq + "Content-Length: 99999999999999999999\r\n");
    EXPECT_EQ(Verdict(text), IntakeVerdict::Refused);
    text = Request(kVia + kFrom + kTo + kCallId + kCSeq + "Content-Length: 5\r\n", "v=0\r\n");
    EXPECT_EQ(Verdict(text), IntakeVerdict::Accepted);
}

TEST(SipUaIntake, ResponsesNeedEveryHeaderAndAValidCode)
{
    std::string ok = "SIP/2.0 200 OK\r\n" + kVia + kFrom + kTo + kCallId + kCSeq + "Content-Length: 0\r\n\r\n";
    EXPECT_EQ(Verdict(ok), IntakeVerdict::Accepted);
    std::string noCseq = "SIP/2.0 200 OK\r\n" + kVia + kFrom + kTo + kCallId + "\r\n";
    EXPECT_EQ(Verdict(noCseq), IntakeVerdict::Dropped);
    std::string badCode = "SIP/2.0 999 Odd\r\n" + kVia + kFrom + kTo + kCallId + kCSeq + "\r\n";
    EXPECT_EQ(Verdict(badCode), IntakeVerdict::Dropped);
}

TEST(SipUaIntake, TruncatedAtEveryByteNeverCrashes)
{
    auto text = Request(kVia + kFrom + kTo + kCallId + kCSeq + "Content-Length: 4\r\n", "abcd");
    int accepted = 0;
    for (size_t n = 0; n <= text.size(); ++n) {
        auto r = CMessageIntake::Parse(text.data(), n);
        if (r.verdict == IntakeVerdict::Accepted)
            ++accepted;
        if (r.event != nullptr) {
            EXPECT_TRUE(r.verdict == IntakeVerdict::Accepted || r.verdict == IntakeVerdict::Refused);
            osip_event_free(r.event);
        }
    }
    // Only the complete message (the body being the last bytes) passes every check.
    EXPECT_EQ(accepted, 1);
}

TEST(SipUaIntake, StartLineAndCopiedHeadersAsWritten)
{
    using zelora::CRawRequest;
    std::string method;
    EXPECT_EQ(CRawRequest::CheckStartLine("OPTIONS sip:a@b SIP/2.0\r\n", method), 0);
    EXPECT_EQ(method, "OPTIONS");
    EXPECT_EQ(CRawRequest::CheckStartLine("OPTIONS TEL:+4930 sip/2.0\n", method), 0);
    EXPECT_EQ(CRawRequest::CheckStartLine(std::string_view("OPT\0ONS sip:a@b SIP/2.0\r\n", 25), method), 400);
    EXPECT_EQ(CRawRequest::CheckStartLine("OPTIONS sip:a@b SIP/2.0 \r\n", method), 400);
    EXPECT_EQ(CRawRequest::CheckStartLine("OPTIONS sip:a@b SIP/2\r\n", method), 400);
    EXPECT_EQ(CRawRequest::CheckStartLine("OPTIONS sip:a@b SIP/2.1\r\n", method), 505);
    EXPECT_EQ(CRawRequest::CheckStartLine("OPTIONS http://a SIP/2.0\r\n", method), 416);
    // Folded and compact headers come out whole, under their long names, the first of each but Via.
    std::string lines;
    ASSERT_TRUE(
        CRawRequest::AnswerHeaders("X y SIP/2.0\r\nv: SIP/2.0/UDP h\r\n ;branch=z9hG4bK1\r\nVia: SIP/2.0/UDP g\r\n"
                                   "f: <sip:b@h>;tag=1\r\nt : <sip:a@g>\r\ni: 1\r\nCSeq: 1 X\r\nCSeq: 2 X\r\n\r\n"
                                   "Call-ID: body",
                                   lines));
    EXPECT_EQ(lines,
              "Via: SIP/2.0/UDP h ;branch=z9hG4bK1\r\nVia: SIP/2.0/UDP g\r\nFrom: <sip:b@h>;tag=1\r\n"
              "To: <sip:a@g>\r\nCall-ID: 1\r\nCSeq: 1 X\r\n");
    EXPECT_FALSE(
        CRawRequest::AnswerHeaders("X y SIP/2.0\r\nVia: SIP/2.0/UDP h\r\nFrom: a\r\nTo: b\r\nCSeq: 1 X\r\n", lines));
}
