#pragma once
// iLBC (dynamic payload, usually 102): 30 ms frames of 50 bytes or 20 ms of 38.
#include "audio/CCodec.h"

struct iLBC_encinst_t_;
struct iLBC_decinst_t_;

class CIlbcCodec : public CCodec {
public:
    CIlbcCodec(int payloadType, int modeMs);
    ~CIlbcCodec() override;
    CIlbcCodec(const CIlbcCodec&) = delete;
    CIlbcCodec& operator=(const CIlbcCodec&) = delete;

    bool Valid() const { return m_encoder != nullptr && m_decoder != nullptr; }
    int Mode() const { return m_mode; }
    const char* Name() const override { return "iLBC"; }
    int PayloadType() const override { return m_payloadType; }
    size_t FrameSamples() const override { return m_mode == 20 ? 160 : 240; }
    int Encode(const int16_t* pcm, size_t samples, uint8_t* out, size_t cap) override;
    // Follows a peer that sends 20 ms frames: both directions then use 20 ms.
    int Decode(const uint8_t* payload, size_t len, int16_t* out, size_t cap) override;
    void Conceal(int16_t* out, size_t samples) override;

    static constexpr size_t kBytes30 = 50;
    static constexpr size_t kBytes20 = 38;

private:
    int m_payloadType;
    int m_mode;
    int m_decoderMode;
    iLBC_encinst_t_* m_encoder = nullptr;
    iLBC_decinst_t_* m_decoder = nullptr;
};
