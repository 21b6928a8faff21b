#include "audio/CCodec.h"

#include <algorithm>
#include <cctype>

#include "audio/CG711Codec.h"
#include "app/CLogger.h"
#ifdef ZELORA_HAVE_ILBC
#include "audio/CIlbcCodec.h"
#endif

namespace {

// "iLBC/8000" and "ilbc" name the same codec.
std::string BaseName(std::string_view name)
{
    std::string out;
    for (char c : name) {
        if (c == '/' || c == ';' || c == ' ')
            break;
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

#ifdef ZELORA_HAVE_ILBC
bool Contains(std::string_view text, std::string_view what)
{
    std::string lower;
    for (char c : text)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return lower.find(what) != std::string::npos;
}
#endif

} // namespace

bool CCodec::IlbcAvailable()
{
#ifdef ZELORA_HAVE_ILBC
    return true;
#else
    return false;
#endif
}

std::vector<int> CCodec::SupportedPayloads()
{
    std::vector<int> payloads;
    if (IlbcAvailable())
        payloads.push_back(102);
    payloads.push_back(8);
    payloads.push_back(0);
    return payloads;
}

std::unique_ptr<CCodec> CCodec::Create(int payloadType, std::string_view name, std::string& error)
{
    ZLOG_SCOPE();
    const std::string base = BaseName(name);
    if (payloadType < 0 || payloadType > 127) {
        error = "Invalid payload type " + std::to_string(payloadType);
        return nullptr;
    }
    // Static payload numbers mean one codec whatever the name says.
    if (payloadType == 0)
        return std::make_unique<CG711Codec>(CG711Codec::ULAW);
    if (payloadType == 8)
        return std::make_unique<CG711Codec>(CG711Codec::ALAW);
    if (payloadType >= 96) {
        if (base == "pcmu")
            return std::make_unique<CG711Codec>(CG711Codec::ULAW);
        if (base == "pcma")
            return std::make_unique<CG711Codec>(CG711Codec::ALAW);
        if (base == "ilbc") {
#ifdef ZELORA_HAVE_ILBC
            // The mode travels in the name when signalling negotiated 20 ms ("iLBC/8000 mode=20").
            const int mode = Contains(name, "mode=20") || Contains(name, "ilbc20") ? 20 : 30;
            auto codec = std::make_unique<CIlbcCodec>(payloadType, mode);
            if (!codec->Valid()) {
                error = "Unable to create the iLBC coder";
                return nullptr;
            }
            return codec;
#else
            error = "iLBC is not available in this build";
            return nullptr;
#endif
        }
    }
    error = "Unsupported codec " + std::string(name.empty() ? "(none)" : name) + " with payload " +
        std::to_string(payloadType);
    ZLOG(LOG_ERROR, "Unsupported codec %s payload %d", base.c_str(), payloadType);
    return nullptr;
}
