#include "presence/CPresenceData.h"

CPresenceData::~CPresenceData() = default;

CVCard::CVCard() = default;
CVCard::~CVCard() = default;

std::string BoundedText(const std::string& text, std::size_t max)
{
    if (text.size() <= max)
        return text;
    // Never cut inside a UTF-8 sequence.
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}
