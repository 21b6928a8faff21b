// zelora-diag tunnel commands: TLV frames, CRC, framing and signalling packets.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "session/tunnel/CCRC.h"
#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelFrameCodec.h"
#include "diag/DiagCommand.h"
#include "app/HexString.h"

namespace {

bool ReadHex(const std::string& text, std::vector<std::uint8_t>& out, std::ostream& err)
{
    if (zelora::ParseHexStrict(text, out) < 0) {
        err << "invalid hex text: " << text << "\n";
        return false;
    }
    return true;
}

bool ReadInt(const std::string& text, std::int32_t& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

template <std::size_t N>
bool SetText(char (&field)[N], const std::string& value)
{
    if (value.size() >= N)
        return false;
    CopyText(field, value);
    return true;
}

// One "field=value" of TUNNEL_CLIENT_DATA; false for an unknown field or a bad value.
bool SetField(TUNNEL_CLIENT_DATA& d, const std::string& name, const std::string& value)
{
    struct NumberField {
        const char* name;
        std::int32_t TUNNEL_CLIENT_DATA::*member;
    };
    static const NumberField numbers[] = {
        {"cid", &TUNNEL_CLIENT_DATA::cid},
        {"did", &TUNNEL_CLIENT_DATA::did},
        {"tid", &TUNNEL_CLIENT_DATA::tid},
        {"registrationTimeout", &TUNNEL_CLIENT_DATA::registrationTimeout},
        {"dtmfSignal", &TUNNEL_CLIENT_DATA::dtmfSignal},
        {"dtmfDuration", &TUNNEL_CLIENT_DATA::dtmfDuration},
    };
    for (const NumberField& f : numbers)
        if (name == f.name)
            return ReadInt(value, d.*(f.member));
    if (name == "command") {
        std::int32_t c = 0;
        if (!ReadInt(value, c) || c < 0 || c > 255)
            return false;
        d.command = static_cast<std::uint8_t>(c);
        return true;
    }
    if (name == "codecList")
        return SetText(d.codecList, value);
    if (name == "userName")
        return SetText(d.userName, value);
    if (name == "password")
        return SetText(d.password, value);
    if (name == "toUserName")
        return SetText(d.toUserName, value);
    if (name == "fromHost")
        return SetText(d.fromHost, value);
    if (name == "toHost")
        return SetText(d.toHost, value);
    if (name == "timestamp")
        return SetText(d.timestamp, value);
    if (name == "fromHostPort")
        return SetText(d.fromHostPort, value);
    if (name == "toHostPort")
        return SetText(d.toHostPort, value);
    return false;
}

int TlvMake(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    TUNNEL_CLIENT_DATA d;
    std::memset(&d, 0, sizeof d);
    for (const std::string& a : args) {
        std::size_t eq = a.find('=');
        if (eq == std::string::npos || !SetField(d, a.substr(0, eq), a.substr(eq + 1))) {
            err << "bad field: " << a << "\n";
            return 1;
        }
    }
    std::uint8_t frame[1024];
    int n = CTunnelDataParser::MakeTLVFrame(frame, sizeof frame, &d);
    if (n < 0) {
        err << "Unable to add element\n";
        return 1;
    }
    out << zelora::MakeHexString(frame, static_cast<std::size_t>(n)) << "\n";
    return 0;
}

int TlvParse(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1) {
        err << "usage: zelora-diag tlv parse <hex>\n";
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    if (!ReadHex(args[0], bytes, err))
        return 1;
    SESSION_EVENT_INFO info;
    char timestamp[SESSION_TEXT_SIZE];
    CTunnelDataParser::ParseTLVFrame(bytes.data(), static_cast<int>(bytes.size()), &info, timestamp);
    auto number = [&out](const char* name, std::int32_t v) {
        if (v != 0)
            out << name << "=" << v << "\n";
    };
    auto text = [&out](const char* name, const char* v) {
        if (v[0] != '\0')
            out << name << "=" << v << "\n";
    };
    number("cid", info.cid);
    number("did", info.did);
    number("tid", info.tid);
    number("command", info.command);
    number("statusCode", info.statusCode);
    number("dtmfSignal", info.dtmfSignal);
    number("dtmfDuration", info.dtmfDuration);
    number("selectedCodecIndex", info.selectedCodecIndex);
    text("rtpPort", info.rtpPort);
    text("rtpIp", info.rtpIp);
    text("codecName", info.codecName);
    text("codecPayload", info.codecPayload);
    text("codecFreq", info.codecFreq);
    text("codecMode", info.codecMode);
    text("fromUserName", info.fromUserName);
    text("toUserName", info.toUserName);
    text("fromHost", info.fromHost);
    text("toHost", info.toHost);
    text("responseMessage", info.responseMessage);
    out << "timestamp=" << timestamp << "\n";
    return 0;
}

int Tlv(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    if (!args.empty() && args[0] == "make")
        return TlvMake(DiagArgs(args.begin() + 1, args.end()), out, err);
    if (!args.empty() && args[0] == "parse")
        return TlvParse(DiagArgs(args.begin() + 1, args.end()), out, err);
    err << "usage: zelora-diag tlv make field=value ... | tlv parse <hex>\n";
    return 1;
}

int Crc(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::uint8_t> bytes;
    if (args.size() != 1) {
        err << "usage: zelora-diag crc <hex>\n";
        return 1;
    }
    if (!ReadHex(args[0], bytes, err))
        return 1;
    std::uint16_t crc = CCRC::Compute(bytes.data(), bytes.size());
    std::uint8_t be[2] = {static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc & 0xFF)};
    out << zelora::MakeHexString(be, 2) << "\n";
    return 0;
}

int FrameCommand(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::uint8_t> bytes;
    if (args.size() != 2 || (args[0] != "encode" && args[0] != "decode")) {
        err << "usage: zelora-diag frame encode <hex> | frame decode <hex>\n";
        return 1;
    }
    if (!ReadHex(args[1], bytes, err))
        return 1;
    if (args[0] == "encode") {
        std::vector<std::uint8_t> enc(bytes.size() * 2 + 2);
        int n = CTunnelFrameCodec::Encode(bytes.data(), static_cast<int>(bytes.size()), enc.data(),
                                          static_cast<int>(enc.size()));
        out << zelora::MakeHexString(enc.data(), static_cast<std::size_t>(n)) << "\n";
        return 0;
    }
    auto frames = CTunnelFrameCodec::DecodeStream(bytes.data(), bytes.size());
    if (frames.empty()) {
        err << "no complete frame in the stream\n";
        return 1;
    }
    for (const auto& f : frames)
        out << zelora::MakeHexString(f) << "\n";
    return 0;
}

int Packet(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::uint8_t> tlv;
    if (args.size() != 2 || args[0] != "signalling") {
        err << "usage: zelora-diag packet signalling <tlv hex>\n";
        return 1;
    }
    if (!ReadHex(args[1], tlv, err))
        return 1;
    std::vector<std::uint8_t> enc(2 * (tlv.size() + 3) + 2);
    int n = CTunnelFrameCodec::BuildSignallingPacket(tlv.data(), static_cast<int>(tlv.size()), 1024, enc.data(),
                                                     static_cast<int>(enc.size()));
    if (n < 0) {
        err << "packet longer than 1024 bytes\n";
        return 1;
    }
    out << zelora::MakeHexString(enc.data(), static_cast<std::size_t>(n)) << "\n";
    return 0;
}

DiagRegistrar tlvReg("tlv", "tlv make field=value ... | tlv parse <hex>", Tlv);
DiagRegistrar crcReg("crc", "crc <hex>", Crc);
DiagRegistrar frameReg("frame", "frame encode <hex> | frame decode <hex>", FrameCommand);
DiagRegistrar packetReg("packet", "packet signalling <tlv hex>", Packet);

} // namespace
