// Any bytes as the RTP datagrams of one call, through the receive path of a voice call:
// header parse, the jitter buffer and the negotiated decoder. The first byte picks the
// codec; then each datagram is [length high, length low, arrival step in ms, bytes...].
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "audio/CCodec.h"
#include "audio/CJitterBuffer.h"
#include "audio/CRtpPacket.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const int kPayloads[] = {0, 8, 102};
    const int payloadType = kPayloads[data[0] % 3];
    std::string error;
    std::unique_ptr<CCodec> codec = CCodec::Create(payloadType, payloadType == 102 ? "iLBC" : "", error);
    if (!codec)
        return 0; // a build without iLBC
    JitterBufferConfig config;
    CJitterBuffer jitter(config);
    std::vector<std::int16_t> pcm(CCodec::kMaxDecodedSamples);
    std::vector<std::uint8_t> payloadOut;
    std::int64_t now = 0;

    std::size_t at = 1;
    while (at + 3 <= size) {
        std::size_t length = (static_cast<std::size_t>(data[at]) << 8 | data[at + 1]) % (CRtpPacket::kMaxPacket + 1);
        now += 8 * data[at + 2];
        at += 3;
        if (length > size - at)
            length = size - at;
        RtpHeader header;
        const std::uint8_t* payload = nullptr;
        std::size_t payloadLen = 0;
        if (CRtpPacket::Parse(data + at, length, header, payload, payloadLen) == CRtpPacket::RTP_OK) {
            Check(payload >= data + at && payload + payloadLen <= data + at + length);
            if (payloadLen > 0 && header.payloadType == payloadType)
                jitter.Put(header, payload, payloadLen, now);
        }
        at += length;
        Check(jitter.Size() <= config.maxPackets);

        // The playout side asks for one frame per arrival step.
        jitter.SetFrameSamples(static_cast<int>(codec->FrameSamples()));
        int samples = 0;
        CJitterBuffer::GetResult got = jitter.Get(now, payloadOut, samples);
        if (got == CJitterBuffer::GET_PACKET) {
            int decoded = codec->Decode(payloadOut.data(), payloadOut.size(), pcm.data(), pcm.size());
            Check(decoded <= static_cast<int>(pcm.size()));
            jitter.Advance(decoded > 0 ? decoded : static_cast<int>(codec->FrameSamples()));
        } else if (got == CJitterBuffer::GET_MISSING) {
            Check(samples >= 0);
            codec->Conceal(pcm.data(), std::min<std::size_t>(static_cast<std::size_t>(samples), pcm.size()));
        }
    }
    return 0;
}
