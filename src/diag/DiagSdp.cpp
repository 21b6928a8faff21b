// zelora-diag sdp: the SDP offer the phone sends, and the negotiation of a peer's SDP file.
#include <iostream>
#include <iterator>
#include <string>

#include "session/sdp/CMXSdpNegotiator.h"
#include "diag/DiagCommand.h"

namespace {

constexpr const char* kSessionName = "zeloraTALK";
// Larger than any SIP datagram can carry.
constexpr std::size_t kMaxSdpFile = 8000;

const char* FailureText(int result)
{
    switch (result) {
    case CMXSdpNegotiator::kNoRemoteSdp:
        return "Unable to get remote SDP";
    case CMXSdpNegotiator::kNoRemoteAudio:
        return "Unable to get remote audio or remote address";
    case CMXSdpNegotiator::kNoMatchingCodec:
        return "Unable to find a matching codec, Can not establish call";
    default:
        return "SDP negotiation failed";
    }
}

int Offer(DiagArgs args, std::ostream& out, std::ostream& err)
{
    std::string codecs = CMXSdpNegotiator::kDefaultCodecText;
    std::string ip;
    std::string port;
    DiagTakeOption(args, "--codecs", codecs);
    if (!DiagTakeOption(args, "--ip", ip) || !DiagTakeOption(args, "--port", port) || !args.empty()) {
        err << "usage: zelora-diag sdp offer [--codecs TEXT] --ip IP --port PORT\n";
        return 1;
    }
    CODEC_INFO list[MAX_CODEC_COUNT];
    int count = CMXSdpNegotiator::BuildCodecList(codecs, list, MAX_CODEC_COUNT);
    if (count <= 0) {
        err << "No codec in the codec text " << codecs << "\n";
        return 1;
    }
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    if (CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, count, ip.c_str(), port.c_str(), kSessionName) < 0) {
        err << "Unable to build SDP offer\n";
        return 1;
    }
    out << sdp;
    return 0;
}

int Negotiate(DiagArgs args, std::ostream& out, std::ostream& err)
{
    std::string codecs = CMXSdpNegotiator::kDefaultCodecText;
    DiagTakeOption(args, "--codecs", codecs);
    if (args.size() != 1) {
        err << "usage: zelora-diag sdp negotiate [--codecs TEXT] <sdp file>\n";
        return 1;
    }
    std::string text;
    if (!DiagReadFile(args[0], kMaxSdpFile, text, err))
        return 1;
    CODEC_INFO list[MAX_CODEC_COUNT];
    int count = CMXSdpNegotiator::BuildCodecList(codecs, list, MAX_CODEC_COUNT);
    if (count <= 0) {
        err << "No codec in the codec text " << codecs << "\n";
        return 1;
    }
    SESSION_EVENT_INFO record;
    ClearEventInfo(record);
    int result = CMXSdpNegotiator::ProcessSDPText(text, list, count, record);
    out << "result=" << result << "\n";
    if (result < 0) {
        err << FailureText(result) << "\n";
        return 1;
    }
    out << "selectedCodecIndex=" << record.selectedCodecIndex << "\n"
        << "codecName=" << record.codecName << "\n"
        << "codecPayload=" << record.codecPayload << "\n"
        << "codecFreq=" << record.codecFreq << "\n"
        << "codecMode=" << record.codecMode << "\n"
        << "rtpIp=" << record.rtpIp << "\n"
        << "rtpPort=" << record.rtpPort << "\n"
        << "telephoneEventIndex=" << record.telephoneEventIndex << "\n"
        << "telephoneEventPayload=" << record.telephoneEventPayload << "\n"
        << "telephoneEventFmtp=" << record.telephoneEventFmtp << "\n"
        << "ptime=" << record.ptime << "\n";
    return 0;
}

int Sdp(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    if (!args.empty() && args[0] == "offer")
        return Offer(DiagArgs(args.begin() + 1, args.end()), out, err);
    if (!args.empty() && args[0] == "negotiate")
        return Negotiate(DiagArgs(args.begin() + 1, args.end()), out, err);
    err << "usage: zelora-diag sdp offer [--codecs TEXT] --ip IP --port PORT\n"
        << "       zelora-diag sdp negotiate [--codecs TEXT] <sdp file>\n";
    return 1;
}

DiagRegistrar reg("sdp", "sdp offer [--codecs TEXT] --ip IP --port PORT | sdp negotiate [--codecs TEXT] <sdp file>",
                  Sdp);

} // namespace
