// Any bytes as the SDP body of an incoming INVITE: negotiation must never read or write
// outside its buffers, and a success must leave a consistent record.
//
// osip2's parser is not instrumented, so its strict line rules would hide the negotiator
// from the fuzzer's feedback. Each input is therefore negotiated twice: as text through the
// real parser, and as a structure built line by line here with no rules beyond "x=value",
// which hands every "c=", "m=" and "a=" line straight to the negotiator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <strings.h>

#include <osipparser2/osip_port.h>
#include <osipparser2/sdp_message.h>

#include "FuzzSupport.h"
#include "session/sdp/CMXSdpNegotiator.h"

using fuzzsupport::Check;

namespace {

struct LocalList {
    CODEC_INFO codecs[MAX_CODEC_COUNT] = {};
    int count = 0;
    LocalList()
    {
        count = CMXSdpNegotiator::BuildCodecList("0,8,97,100,101,102,103,", codecs, MAX_CODEC_COUNT);
        CopyText(codecs[count].name, "telephone-event");
        codecs[count].payload = 101;
        codecs[count].frequency = 8000;
        ++count;
    }
};

char* Dup(std::string_view s)
{
    std::string copy(s);
    return osip_strdup(copy.c_str());
}

std::vector<std::string_view> Words(std::string_view s)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t end = s.find(' ', i);
        if (end == std::string_view::npos)
            end = s.size();
        if (end > i)
            out.push_back(s.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

// "c=" sets the connection of the session (the first before any "m=") or adds one to the last media,
// "m=" adds a media with its payloads, "a=" an attribute; other lines are ignored.
sdp_message_t* BuildLeniently(std::string_view text)
{
    sdp_message_t* sdp = nullptr;
    if (sdp_message_init(&sdp) != 0)
        return nullptr;
    int media = -1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() < 2 || line[1] != '=')
            continue;
        std::string_view value = line.substr(2);
        auto words = Words(value);
        if (line[0] == 'c' && !words.empty()) {
            if (media < 0 && sdp->c_connection != nullptr)
                continue; // the session has one; osip would drop the old one unfreed
            sdp_message_c_connection_add(sdp, media, Dup("IN"), Dup("IP4"), Dup(words.back()), nullptr, nullptr);
        } else if (line[0] == 'm' && words.size() >= 2) {
            if (sdp_message_m_media_add(sdp, Dup(words[0]), Dup(words[1]), nullptr,
                                        Dup(words.size() > 2 ? words[2] : "RTP/AVP")) != 0)
                continue;
            ++media;
            for (std::size_t w = 3; w < words.size(); ++w)
                sdp_message_m_payload_add(sdp, media, Dup(words[w]));
        } else if (line[0] == 'a') {
            std::size_t colon = value.find(':');
            char* field = Dup(value.substr(0, colon));
            char* att = colon == std::string_view::npos ? nullptr : Dup(value.substr(colon + 1));
            sdp_message_a_attribute_add(sdp, media, field, att);
        }
    }
    return sdp;
}

void CheckRecord(int result, const SESSION_EVENT_INFO& record, const LocalList& local)
{
    Check(result == 1 || result == CMXSdpNegotiator::kNoRemoteSdp || result == CMXSdpNegotiator::kNoRemoteAudio ||
          result == CMXSdpNegotiator::kNoMatchingCodec);
    // Every text field stays terminated within its 256 bytes.
    Check(std::memchr(record.rtpIp, '\0', sizeof record.rtpIp) != nullptr);
    Check(std::memchr(record.rtpPort, '\0', sizeof record.rtpPort) != nullptr);
    Check(std::memchr(record.telephoneEventFmtp, '\0', sizeof record.telephoneEventFmtp) != nullptr);
    Check(std::memchr(record.codecName, '\0', sizeof record.codecName) != nullptr);
    if (result == 1) {
        Check(record.selectedCodecIndex >= 0 && record.selectedCodecIndex < local.count);
        Check(strcasecmp(record.codecName, local.codecs[record.selectedCodecIndex].name) == 0);
        Check(record.telephoneEventIndex == -1 || record.telephoneEventIndex == local.count - 1);
        Check((record.telephoneEventIndex == -1) == (record.telephoneEventPayload == -1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static LocalList local;
    static bool quiet = [] {
        // Parse errors of hostile input would otherwise go to stdout.
        for (int level = 0; level < END_TRACE_LEVEL; ++level)
            osip_trace_disable_level(static_cast<osip_trace_level_t>(level));
        return true;
    }();
    (void)quiet;
    std::string_view text(reinterpret_cast<const char*>(data), size);

    SESSION_EVENT_INFO record;
    ClearEventInfo(record);
    CheckRecord(CMXSdpNegotiator::ProcessSDPText(text, local.codecs, local.count, record), record, local);

    if (text.find('\0') != std::string_view::npos)
        return 0; // a C string cannot carry it, so no parsed SDP ever does
    sdp_message_t* built = BuildLeniently(text);
    if (built == nullptr)
        return 0;
    ClearEventInfo(record);
    int result = CMXSdpNegotiator::ProcessSDP(built, CMXSdpNegotiator::FirstAudioMedia(built), local.codecs,
                                              local.count, record);
    sdp_message_free(built);
    CheckRecord(result, record, local);
    return 0;
}
