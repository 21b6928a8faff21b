#pragma once
// Local codec list, the SDP we send (offer and one-codec answer) and the
// negotiation of a peer's SDP against our codec list.
#include <cstddef>
#include <string_view>

#include "session/SessionTypes.h"

struct sdp_message;
struct sdp_media;
struct osip_message;

class CMXSdpNegotiator {
public:
    // Fixed sizes of the texts we assemble: payload list, attribute lines and the whole SDP
    // (terminator included in the last).
    static constexpr std::size_t kPayloadListLimit = 255;
    static constexpr std::size_t kAttributeLinesLimit = 510;
    static constexpr std::size_t kSdpBufferSize = 1020;
    static constexpr std::size_t kTextLimit = 255;
    static constexpr const char* kDefaultCodecText = "102,8,0,";

    // Failures of ProcessSDP before the 488 is attempted. When the 488 cannot be built the
    // result is the code + 2, when it cannot be sent the code + 1 (see AnswerFailureCode).
    static constexpr int kNoRemoteSdp = -3;
    static constexpr int kNoRemoteAudio = -6;
    static constexpr int kNoMatchingCodec = -10;

    // What became of the 488 that answers a failed negotiation.
    enum class AnswerResult { Sent, BuildFailed, SendFailed };
    static int AnswerFailureCode(int failure, AnswerResult answer);

    // Codec list from a codec text such as "102,8,0,": only tokens ended by a comma count;
    // at most `capacity` (bounded to 20) entries. Returns the number of entries.
    static int BuildCodecList(std::string_view text, CODEC_INFO* out, int capacity);

    // Writes the SDP for `count` codecs (at most 20) into `out`. Codecs that do not fit the
    // payload list, the attribute lines or the whole SDP are dropped from the end, each with
    // its payload and attribute lines. Returns the number of codecs written, or -1 when not
    // even one fits or an argument is unusable (null, empty, or holding control characters).
    static int CreateSDP(char* out, std::size_t outSize, const CODEC_INFO* codecs, int count, const char* mediaIp,
                         const char* mediaPort, const char* sessionName);

    // Fills name, frequency and mode of the static payload numbers of a peer list.
    static int PreProcessCodeList(CODEC_INFO* peer, int peerCount);

    // First common codec in the peer's order: 2, 1 for iLBC (modes must agree), -1 for none.
    static int MatchCodec(const CODEC_INFO* local, int localCount, CODEC_INFO* peer, int peerCount, int& localIndex,
                          int& peerIndex);

    // Peer index of the first "telephone-event" both sides have, -1 for none.
    static int SearchTelephoneEvent(const CODEC_INFO* local, int localCount, const CODEC_INFO* peer, int peerCount,
                                    int& localIndex);

    // Index of the first entry with this payload number, -1 for none.
    static int FindCodecIndexByPayLoad(const CODEC_INFO* list, int count, int payload);

    // Negotiates a parsed SDP whose audio description is `audio` (may be null). Fills the
    // record's media address, codec, telephone-event and ptime fields. Returns 1, or
    // kNoRemoteSdp, kNoRemoteAudio, kNoMatchingCodec; the caller answers a failure with 488.
    static int ProcessSDP(sdp_message* sdp, sdp_media* audio, const CODEC_INFO* local, int localCount,
                          SESSION_EVENT_INFO& record);

    // Parses an SDP text and negotiates its first audio description.
    static int ProcessSDPText(std::string_view text, const CODEC_INFO* local, int localCount,
                              SESSION_EVENT_INFO& record);

    // First "m=audio" description of a parsed SDP, or null.
    static sdp_media* FirstAudioMedia(sdp_message* sdp);

    // From user/host of the request's From, to user/host of its request URI (each only when present).
    static void CopyAddresses(osip_message* request, SESSION_EVENT_INFO& record);
};
