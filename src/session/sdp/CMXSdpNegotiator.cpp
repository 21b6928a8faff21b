#include "session/sdp/CMXSdpNegotiator.h"

#include <sys/time.h>

#include <cinttypes>
#include <cstring>
#include <ctime>

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_port.h>
#include <osipparser2/sdp_message.h>

#include "app/CLogger.h"
#include "platform/RandomNumber.h"

namespace {

struct KnownCodec {
    int payload;
    const char* name;
    int frequency;
    int mode;
};

// Codecs our side can offer, by the payload numbers the codec setting uses.
constexpr KnownCodec kLocalCodecs[] = {
    {0, "PCMU", 8000, 0},     {8, "PCMA", 8000, 0},    {97, "IPCMWB", 8000, 0}, {100, "EG711U", 8000, 0},
    {101, "EG711A", 8000, 0}, {102, "iLBC", 8000, 30}, {103, "ISAC", 8000, 0},
};

// Static payload numbers a peer may offer without an rtpmap line.
constexpr KnownCodec kStaticPayloads[] = {
    {0, "PCMU", 8000, 0}, {3, "GSM", 8000, 0}, {8, "PCMA", 8000, 0}, {15, "G728", 8000, 0}, {18, "G729", 8000, 0},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Leading decimal number of `s` (no sign, no spaces). False when `s` does not start with a
// digit; digits past nine are ignored so the value always fits 32 bits.
bool LeadingNumber(std::string_view s, long& value)
{
    if (s.empty() || !IsDigit(s[0]))
        return false;
    value = 0;
    for (std::size_t i = 0; i < s.size() && i < 9 && IsDigit(s[i]); ++i)
        value = value * 10 + (s[i] - '0');
    return true;
}

// The whole of `s` is a decimal number from 0 to 255.
bool WholeByte(std::string_view s, long& value)
{
    if (s.empty() || s.size() > 3)
        return false;
    for (char c : s)
        if (!IsDigit(c))
            return false;
    LeadingNumber(s, value);
    return value <= 255;
}

bool EqualNoCase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

bool HasControl(std::string_view s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

// Usable text for an SDP field: present, not empty, one line, within 255 characters.
bool UsableField(const char* s)
{
    if (s == nullptr || *s == '\0')
        return false;
    std::string_view v(s);
    return v.size() <= CMXSdpNegotiator::kTextLimit && !HasControl(v);
}

void SetCodec(CODEC_INFO& codec, const KnownCodec& known)
{
    CopyText(codec.name, known.name);
    codec.frequency = known.frequency;
    codec.mode = known.mode;
}

std::string_view Bounded(const char* s)
{
    if (s == nullptr)
        return {};
    std::string_view v(s);
    return v.substr(0, CMXSdpNegotiator::kTextLimit);
}

void LogCodecs(const char* method, const CODEC_INFO* list, int count)
{
    for (int i = 0; i < count; ++i) {
        ZLOG_AS(LOG_DATA, method, "Coded Name = %s", list[i].name);
        ZLOG_AS(LOG_DATA, method, "Payload = %d", list[i].payload);
        ZLOG_AS(LOG_DATA, method, "Frequency = %d", list[i].frequency);
        ZLOG_AS(LOG_DATA, method, "Mode = %d", list[i].mode);
    }
}

// "rtpmap" value "97 iLBC/8000" or "97 iLBC/8000/1".
bool ApplyRtpmap(std::string_view value, CODEC_INFO* peer, int peerCount)
{
    std::size_t space = value.find(' ');
    std::size_t slash = value.find('/');
    if (space == std::string_view::npos || slash == std::string_view::npos || slash < space)
        return false;
    long payload = 0;
    if (!WholeByte(value.substr(0, space), payload))
        return false;
    std::string_view name = value.substr(space + 1, slash - space - 1);
    std::size_t lastSlash = value.rfind('/');
    std::string_view freqText =
        lastSlash == slash ? value.substr(slash + 1) : value.substr(slash + 1, lastSlash - slash - 1);
    long frequency = 0;
    if (name.empty() || !LeadingNumber(freqText, frequency))
        return false;
    int index = CMXSdpNegotiator::FindCodecIndexByPayLoad(peer, peerCount, static_cast<int>(payload));
    if (index < 0)
        return true; // a map for a payload the media line does not carry
    CopyText(peer[index].name, name);
    peer[index].frequency = static_cast<std::int32_t>(frequency);
    return true;
}

// "fmtp" value carrying a mode: "102 mode=30".
bool ApplyFmtpMode(std::string_view value, CODEC_INFO* peer, int peerCount)
{
    std::size_t space = value.find(' ');
    std::size_t modeAt = value.find("mode");
    std::size_t equals = modeAt == std::string_view::npos ? std::string_view::npos : value.find('=', modeAt);
    if (space == std::string_view::npos || equals == std::string_view::npos)
        return false;
    long payload = 0;
    long mode = 0;
    std::string_view modeText = value.substr(equals + 1);
    while (!modeText.empty() && modeText.front() == ' ')
        modeText.remove_prefix(1);
    if (!LeadingNumber(value, payload) || payload > 255 || !LeadingNumber(modeText, mode))
        return false;
    int index = CMXSdpNegotiator::FindCodecIndexByPayLoad(peer, peerCount, static_cast<int>(payload));
    if (index >= 0)
        peer[index].mode = static_cast<std::int32_t>(mode);
    return true;
}

// Any other "fmtp" value: "101 0-15".
bool ApplyFmtpParameters(std::string_view value, CODEC_INFO* peer, int peerCount)
{
    std::size_t space = value.find(' ');
    long payload = 0;
    if (space == std::string_view::npos || !LeadingNumber(value, payload) || payload > 255)
        return false;
    int index = CMXSdpNegotiator::FindCodecIndexByPayLoad(peer, peerCount, static_cast<int>(payload));
    if (index >= 0)
        CopyText(peer[index].fmtp, value.substr(space + 1));
    return true;
}

} // namespace

int CMXSdpNegotiator::AnswerFailureCode(int failure, AnswerResult answer)
{
    switch (answer) {
    case AnswerResult::BuildFailed:
        return failure + 2;
    case AnswerResult::SendFailed:
        return failure + 1;
    case AnswerResult::Sent:
        break;
    }
    return failure;
}

int CMXSdpNegotiator::BuildCodecList(std::string_view text, CODEC_INFO* out, int capacity)
{
    ZLOG_SCOPE();
    if (out == nullptr || capacity <= 0)
        return 0;
    if (capacity > MAX_CODEC_COUNT)
        capacity = MAX_CODEC_COUNT;
    int count = 0;
    std::size_t start = 0;
    while (count < capacity) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            break; // a token after the last comma is not part of the list
        std::string_view token = text.substr(start, comma - start);
        start = comma + 1;
        long payload = 0;
        if (!WholeByte(token, payload)) {
            ZLOG(LOG_WARNING, "Invalid codec number [%.*s] skipped",
                 static_cast<int>(token.size() > kTextLimit ? kTextLimit : token.size()), token.data());
            continue;
        }
        CODEC_INFO& codec = out[count++];
        std::memset(&codec, 0, sizeof codec);
        codec.payload = static_cast<std::uint8_t>(payload);
        for (const KnownCodec& known : kLocalCodecs)
            if (known.payload == payload)
                SetCodec(codec, known);
    }
    return count;
}

int CMXSdpNegotiator::CreateSDP(char* out, std::size_t outSize, const CODEC_INFO* codecs, int count,
                                const char* mediaIp, const char* mediaPort, const char* sessionName)
{
    ZLOG_SCOPE();
    if (out == nullptr || outSize == 0)
        return -1;
    out[0] = '\0';
    if (codecs == nullptr || count <= 0 || !UsableField(mediaIp) || !UsableField(mediaPort) ||
        !UsableField(sessionName)) {
        ZLOG(LOG_ERROR, "Invalid SDP arguments");
        return -1;
    }
    if (count > MAX_CODEC_COUNT)
        count = MAX_CODEC_COUNT;
    std::size_t limit = (outSize < kSdpBufferSize ? outSize : kSdpBufferSize) - 1;

    static const char kFormat[] =
        "v=0\r\no=%s 2%s 3%s IN IP4 %s\r\ns=%s\r\nc=IN IP4 %s\r\nt=0 0\r\nm=audio %s RTP/AVP%s\r\n%sa=direction:"
        "active\r\n";
    char sessionId[16];
    char sessionVersion[16];
    std::snprintf(sessionId, sizeof sessionId, "%u", zelora::RandomNumber());
    std::snprintf(sessionVersion, sizeof sessionVersion, "%u", zelora::RandomNumber());
    int fixedLength = std::snprintf(nullptr, 0, kFormat, "-", sessionId, sessionVersion, mediaIp, sessionName, mediaIp,
                                    mediaPort, "", "");
    if (fixedLength < 0)
        return -1;

    char payloads[kPayloadListLimit + 1] = "";
    char attributes[kAttributeLinesLimit + 1] = "";
    std::size_t payloadLength = 0;
    std::size_t attributeLength = 0;
    int written = 0;
    for (int i = 0; i < count; ++i) {
        const CODEC_INFO& codec = codecs[i];
        char payloadText[8];
        int p = std::snprintf(payloadText, sizeof payloadText, " %d", codec.payload);
        // One codec's lines: rtpmap (name within 255) and the mode line, under 300 characters.
        char lines[kTextLimit + 64] = "";
        int a = 0;
        bool named = codec.name[0] != '\0' && !HasControl(Bounded(codec.name));
        if (named) {
            a = std::snprintf(lines, sizeof lines, "a=rtpmap:%d %s/%d\r\n", codec.payload, codec.name, codec.frequency);
            if (codec.mode != 0 && a > 0 && static_cast<std::size_t>(a) < sizeof lines)
                a += std::snprintf(lines + a, sizeof lines - a, "a=fmtp:%d mode=%d\r\n", codec.payload, codec.mode);
        }
        if (p < 0 || a < 0 || static_cast<std::size_t>(a) >= sizeof lines || payloadLength + p > kPayloadListLimit ||
            attributeLength + a > kAttributeLinesLimit ||
            static_cast<std::size_t>(fixedLength) + payloadLength + p + attributeLength + a > limit) {
            ZLOG(LOG_WARNING, "SDP full, %d of %d codecs written", written, count);
            break;
        }
        std::memcpy(payloads + payloadLength, payloadText, static_cast<std::size_t>(p) + 1);
        payloadLength += p;
        std::memcpy(attributes + attributeLength, lines, static_cast<std::size_t>(a) + 1);
        attributeLength += a;
        ++written;
    }
    if (written == 0) {
        ZLOG(LOG_ERROR, "No codec fits the SDP");
        return -1;
    }
    std::snprintf(out, limit + 1, kFormat, "-", sessionId, sessionVersion, mediaIp, sessionName, mediaIp, mediaPort,
                  payloads, attributes);
    ZLOG(LOG_DATA, "SDP data\n%s ", out);
    return written;
}

int CMXSdpNegotiator::PreProcessCodeList(CODEC_INFO* peer, int peerCount)
{
    ZLOG_SCOPE();
    if (peer == nullptr)
        return -1;
    for (int i = 0; i < peerCount && i < MAX_CODEC_COUNT; ++i) {
        bool known = false;
        for (const KnownCodec& codec : kStaticPayloads) {
            if (codec.payload == peer[i].payload) {
                SetCodec(peer[i], codec);
                known = true;
            }
        }
        if (!known)
            ZLOG(LOG_INFO, "Currently this codec is not pre processed %d", peer[i].payload);
    }
    return 1;
}

int CMXSdpNegotiator::MatchCodec(const CODEC_INFO* local, int localCount, CODEC_INFO* peer, int peerCount,
                                 int& localIndex, int& peerIndex)
{
    ZLOG_SCOPE();
    localIndex = -1;
    peerIndex = -1;
    if (local == nullptr || peer == nullptr)
        return -1;
    for (int p = 0; p < peerCount && p < MAX_CODEC_COUNT; ++p) {
        // An entry nobody named (dynamic payload without rtpmap) matches nothing.
        if (peer[p].name[0] == '\0')
            continue;
        for (int l = 0; l < localCount && l < MAX_CODEC_COUNT; ++l) {
            if (local[l].name[0] == '\0' || !EqualNoCase(peer[p].name, local[l].name))
                continue;
            if (EqualNoCase(peer[p].name, "iLBC")) {
                if (peer[p].mode == 0)
                    peer[p].mode = 30;
                if (peer[p].mode != local[l].mode)
                    continue;
                localIndex = l;
                peerIndex = p;
                return 1;
            }
            localIndex = l;
            peerIndex = p;
            return 2;
        }
    }
    return -1;
}

int CMXSdpNegotiator::SearchTelephoneEvent(const CODEC_INFO* local, int localCount, const CODEC_INFO* peer,
                                           int peerCount, int& localIndex)
{
    ZLOG_SCOPE();
    localIndex = -1;
    if (local == nullptr || peer == nullptr)
        return -1;
    for (int p = 0; p < peerCount && p < MAX_CODEC_COUNT; ++p) {
        if (!EqualNoCase(peer[p].name, "telephone-event"))
            continue;
        for (int l = 0; l < localCount && l < MAX_CODEC_COUNT; ++l) {
            if (EqualNoCase(peer[p].name, local[l].name)) {
                localIndex = l;
                ZLOG(LOG_INFO, "Telephone Event Match at B Index[%d] Our Index [%d]", p, l);
                return p;
            }
        }
    }
    return -1;
}

int CMXSdpNegotiator::FindCodecIndexByPayLoad(const CODEC_INFO* list, int count, int payload)
{
    ZLOG_SCOPE();
    if (list == nullptr)
        return -1;
    for (int i = 0; i < count && i < MAX_CODEC_COUNT; ++i)
        if (list[i].payload == payload)
            return i;
    return -1;
}

sdp_media* CMXSdpNegotiator::FirstAudioMedia(sdp_message* sdp)
{
    ZLOG_SCOPE();
    if (sdp == nullptr)
        return nullptr;
    for (int pos = 0; !osip_list_eol(&sdp->m_medias, pos); ++pos) {
        auto* media = static_cast<sdp_media_t*>(osip_list_get(&sdp->m_medias, pos));
        if (media != nullptr && media->m_media != nullptr && osip_strcasecmp(media->m_media, "audio") == 0)
            return media;
    }
    return nullptr;
}

int CMXSdpNegotiator::ProcessSDP(sdp_message* sdp, sdp_media* audio, const CODEC_INFO* local, int localCount,
                                 SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    if (sdp == nullptr) {
        ZLOG(LOG_ERROR, "Unable to get remote SDP");
        return kNoRemoteSdp;
    }
    if (audio == nullptr || audio->m_port == nullptr) {
        ZLOG(LOG_ERROR, "Unable to get remote audio");
        return kNoRemoteAudio;
    }
    CopyText(record.rtpPort, Bounded(audio->m_port));
    // Only the session-level connection line counts; one inside the media description is not read.
    if (sdp->c_connection == nullptr || sdp->c_connection->c_addr == nullptr) {
        ZLOG(LOG_ERROR, "Unable to get remote address");
        return kNoRemoteAudio;
    }
    CopyText(record.rtpIp, Bounded(sdp->c_connection->c_addr));
    ZLOG(LOG_DEBUG, "Remote media IP %s Remote Media Port %s", record.rtpIp, record.rtpPort);

    CODEC_INFO peer[MAX_CODEC_COUNT];
    std::memset(peer, 0, sizeof peer);
    int peerCount = 0;
    for (int pos = 0;; ++pos) {
        if (osip_list_eol(&audio->m_payloads, pos)) {
            ZLOG(LOG_DEBUG, "Payload list finished at index %d", pos);
            break;
        }
        if (peerCount >= MAX_CODEC_COUNT) {
            ZLOG(LOG_DEBUG, "Max pay load reached");
            break;
        }
        auto* text = static_cast<const char*>(osip_list_get(&audio->m_payloads, pos));
        long payload = 0;
        if (text == nullptr || !WholeByte(text, payload)) {
            ZLOG(LOG_WARNING, "Invalid payload %.255s skipped", text != nullptr ? text : "");
            continue;
        }
        peer[peerCount++].payload = static_cast<std::uint8_t>(payload);
    }
    ZLOG(LOG_DEBUG, "Total Codec Offered %d", peerCount);
    PreProcessCodeList(peer, peerCount);
    LogCodecs(ZLOG_METHOD, peer, peerCount);

    for (int pos = 0; !osip_list_eol(&audio->a_attributes, pos); ++pos) {
        if (pos >= MAX_CODEC_COUNT) {
            ZLOG(LOG_DEBUG, "Max pay load reached");
            break;
        }
        auto* attribute = static_cast<sdp_attribute_t*>(osip_list_get(&audio->a_attributes, pos));
        if (attribute == nullptr || attribute->a_att_field == nullptr)
            continue;
        std::string_view field = Bounded(attribute->a_att_field);
        std::string_view value = Bounded(attribute->a_att_value);
        bool valid = true;
        if (field == "rtpmap") {
            valid = ApplyRtpmap(value, peer, peerCount);
        } else if (field == "fmtp") {
            valid = value.find("mode") != std::string_view::npos ? ApplyFmtpMode(value, peer, peerCount)
                                                                 : ApplyFmtpParameters(value, peer, peerCount);
        } else if (field == "ptime") {
            long ptime = 0;
            ZLOG(LOG_DEBUG, "ptime value found in sdp attribute[%.*s]", static_cast<int>(value.size()), value.data());
            valid = LeadingNumber(value, ptime);
            if (valid) {
                record.ptime = static_cast<std::int32_t>(ptime);
                ZLOG(LOG_DEBUG, "Processed ptime[%d]", record.ptime);
            }
        }
        if (!valid)
            ZLOG(LOG_WARNING, "Invalid SDP attribute %.*s", static_cast<int>(field.size()), field.data());
    }
    ZLOG(LOG_DATA, "Codecs Offered");
    LogCodecs(ZLOG_METHOD, peer, peerCount);

    int localIndex = -1;
    int peerIndex = -1;
    if (MatchCodec(local, localCount, peer, peerCount, localIndex, peerIndex) < 0) {
        ZLOG(LOG_WARNING, "Unable to find a matching codec, Can not establish call.Sending BYE");
        return kNoMatchingCodec;
    }
    record.selectedCodecIndex = localIndex;
    record.telephoneEventIndex = -1;
    record.telephoneEventPayload = -1;
    record.telephoneEventFmtp[0] = '\0';
    int eventLocal = -1;
    int eventPeer = SearchTelephoneEvent(local, localCount, peer, peerCount, eventLocal);
    if (eventPeer >= 0) {
        record.telephoneEventIndex = eventLocal;
        record.telephoneEventPayload = peer[eventPeer].payload;
        CopyText(record.telephoneEventFmtp, peer[eventPeer].fmtp);
    }
    const CODEC_INFO& chosen = peer[peerIndex];
    CopyText(record.codecName, chosen.name);
    std::snprintf(record.codecPayload, sizeof record.codecPayload, "%d", chosen.payload);
    std::snprintf(record.codecFreq, sizeof record.codecFreq, "%" PRId32, chosen.frequency);
    std::snprintf(record.codecMode, sizeof record.codecMode, "%" PRId32, chosen.mode);
    ZLOG(LOG_DATA, "Selected codec %s payload %s", record.codecName, record.codecPayload);
    return 1;
}

int CMXSdpNegotiator::ProcessSDPText(std::string_view text, const CODEC_INFO* local, int localCount,
                                     SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    // The parser needs a terminated text; SIP bodies are bounded well below this.
    static constexpr std::size_t kMaxBody = 8000;
    if (text.size() > kMaxBody || text.find('\0') != std::string_view::npos)
        return ProcessSDP(nullptr, nullptr, local, localCount, record);
    char buffer[kMaxBody + 1];
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    sdp_message_t* sdp = nullptr;
    if (sdp_message_init(&sdp) != 0)
        return ProcessSDP(nullptr, nullptr, local, localCount, record);
    if (sdp_message_parse(sdp, buffer) != 0) {
        sdp_message_free(sdp);
        sdp = nullptr;
    }
    int result = ProcessSDP(sdp, FirstAudioMedia(sdp), local, localCount, record);
    if (sdp != nullptr)
        sdp_message_free(sdp);
    return result;
}

void CMXSdpNegotiator::CopyAddresses(osip_message* request, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    if (request == nullptr)
        return;
    if (request->from != nullptr && request->from->url != nullptr) {
        if (request->from->url->username != nullptr)
            CopyText(record.fromUserName, request->from->url->username);
        if (request->from->url->host != nullptr)
            CopyText(record.fromHost, request->from->url->host);
    }
    if (request->req_uri != nullptr) {
        if (request->req_uri->username != nullptr)
            CopyText(record.toUserName, request->req_uri->username);
        if (request->req_uri->host != nullptr)
            CopyText(record.toHost, request->req_uri->host);
    }
}
