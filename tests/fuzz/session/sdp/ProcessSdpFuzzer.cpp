// Any bytes as the SDP body of an incoming INVITE: negotiation must never read or write
// outside its buffers, and a success must leave a consistent record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <strings.h>

#include <osipparser2/osip_port.h>

#include "session/sdp/CMXSdpNegotiator.h"

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

void Check(bool condition)
{
    if (!condition)
        std::abort();
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
    SESSION_EVENT_INFO record;
    ClearEventInfo(record);
    std::string_view text(reinterpret_cast<const char*>(data), size);
    int result = CMXSdpNegotiator::ProcessSDPText(text, local.codecs, local.count, record);
    Check(result == 1 || result == CMXSdpNegotiator::kNoRemoteSdp || result == CMXSdpNegotiator::kNoRemoteAudio ||
          result == CMXSdpNegotiator::kNoMatchingCodec);
    // Every text field stays terminated within its 256 bytes.
    Check(std::memchr(record.rtpIp, '\0', sizeof record.rtpIp) != nullptr);
    Check(std::memchr(record.rtpPort, '\0', sizeof record.rtpPort) != nullptr);
    Check(std::memchr(record.telephoneEventFmtp, '\0', sizeof record.telephoneEventFmtp) != nullptr);
    if (result == 1) {
        Check(record.selectedCodecIndex >= 0 && record.selectedCodecIndex < local.count);
        Check(strcasecmp(record.codecName, local.codecs[record.selectedCodecIndex].name) == 0);
        Check(record.telephoneEventIndex == -1 || record.telephoneEventIndex == local.count - 1);
        Check((record.telephoneEventIndex == -1) == (record.telephoneEventPayload == -1));
    }
    return 0;
}
