#pragma once
// One voice codec instance: encoder and decoder state for one call.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CCodec {
public:
    static constexpr size_t kMaxDecodedSamples = 4800; // 600 ms in one packet is plenty

    virtual ~CCodec() = default;

    virtual const char* Name() const = 0;
    virtual int PayloadType() const = 0;
    // Samples taken per packet we send (20 or 30 ms at 8 kHz).
    virtual size_t FrameSamples() const = 0;
    // Encodes exactly FrameSamples() samples; returns bytes written or < 0.
    virtual int Encode(const int16_t* pcm, size_t samples, uint8_t* out, size_t cap) = 0;
    // Decodes one payload; returns samples written or < 0 for a payload it cannot take.
    virtual int Decode(const uint8_t* payload, size_t len, int16_t* out, size_t cap) = 0;
    // Makes up `samples` samples for a packet that did not come.
    virtual void Conceal(int16_t* out, size_t samples) = 0;

    // The codec for a negotiated payload: static payloads by number, dynamic ones by name.
    // Returns nullptr with a reason when this build cannot do it.
    static std::unique_ptr<CCodec> Create(int payloadType, std::string_view name, std::string& error);
    static std::vector<int> SupportedPayloads();
    static bool IlbcAvailable();
};
