#pragma once
// G.711 A-law (PCMA, 8) and mu-law (PCMU, 0), 20 ms packets, spandsp concealment.
#include <memory>

#include "audio/CCodec.h"

class CG711Codec : public CCodec {
public:
    enum Law { ULAW, ALAW };
    explicit CG711Codec(Law law);
    ~CG711Codec() override;
    CG711Codec(const CG711Codec&) = delete;
    CG711Codec& operator=(const CG711Codec&) = delete;

    bool Valid() const { return m_plc != nullptr; }
    const char* Name() const override { return m_law == ALAW ? "PCMA" : "PCMU"; }
    int PayloadType() const override { return m_law == ALAW ? 8 : 0; }
    size_t FrameSamples() const override { return 160; }
    int Encode(const int16_t* pcm, size_t samples, uint8_t* out, size_t cap) override;
    int Decode(const uint8_t* payload, size_t len, int16_t* out, size_t cap) override;
    void Conceal(int16_t* out, size_t samples) override;

private:
    Law m_law;
    struct Plc;
    std::unique_ptr<Plc> m_plc;
};
