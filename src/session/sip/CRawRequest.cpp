#include "session/sip/CRawRequest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <strings.h>
#include <utility>
#include <vector>

namespace zelora {

namespace {

bool IsTokenChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || (c != '\0' && std::strchr("-.!%*_+`'~", c) != nullptr);
}

bool IsDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

using Text = CRawRequest;

// The long name of a header a response copies, or null.
const char* AnswerHeaderName(std::string_view name)
{
    static constexpr std::array<std::pair<const char*, const char*>, 9> kNames = {{
        {"via", "Via"},
        {"v", "Via"},
        {"from", "From"},
        {"f", "From"},
        {"to", "To"},
        {"t", "To"},
        {"call-id", "Call-ID"},
        {"i", "Call-ID"},
        {"cseq", "CSeq"},
    }};
    for (const auto& [raw, canonical] : kNames)
        if (Text::SameWord(name, raw))
            return canonical;
    return nullptr;
}

// Header lines up to the blank line, continuation lines joined with one space.
std::vector<std::string> UnfoldedHeaderLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t pos = text.find('\n');
    while (pos != std::string_view::npos && pos + 1 < text.size()) {
        std::size_t start = pos + 1;
        std::size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            break;
        if ((line.front() == ' ' || line.front() == '\t') && !lines.empty())
            lines.back().append(" ").append(Text::Trim(line));
        else
            lines.emplace_back(line);
        pos = end;
    }
    return lines;
}

} // namespace

int CRawRequest::CheckStartLine(std::string_view text, std::string& method)
{
    std::string_view line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::size_t first = line.find(' ');
    method.assign(line.substr(0, first));
    if (first == std::string_view::npos || first == 0)
        return 400;
    const std::size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
        return 400;
    const std::string_view uri = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (!std::all_of(method.begin(), method.end(), IsTokenChar) || uri.empty() || uri.front() == '<')
        return 400;
    if (std::any_of(uri.begin(), uri.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; }))
        return 400;
    const std::size_t dot = version.find('.');
    if (version.size() < 7 || !Text::SameWord(version.substr(0, 4), "SIP/") || dot == std::string_view::npos ||
        !IsDigits(version.substr(4, dot - 4)) || !IsDigits(version.substr(dot + 1)))
        return 400;
    if (version.substr(4) != "2.0")
        return 505;
    const std::size_t colon = uri.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return 400;
    const std::string_view scheme = uri.substr(0, colon);
    if (!Text::SameWord(scheme, "sip") && !Text::SameWord(scheme, "sips") && !Text::SameWord(scheme, "tel"))
        return 416;
    return 0;
}

bool CRawRequest::AnswerHeaders(std::string_view text, std::string& lines)
{
    lines.clear();
    std::string vias;
    std::string others[4]; // From, To, Call-ID, CSeq
    static constexpr const char* kOrder[] = {"From", "To", "Call-ID", "CSeq"};
    for (const std::string& line : UnfoldedHeaderLines(text)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const char* name = AnswerHeaderName(Text::Trim(std::string_view(line).substr(0, colon)));
        if (name == nullptr)
            continue;
        const std::string entry =
            std::string(name) + ": " + std::string(Text::Trim(std::string_view(line).substr(colon + 1))) + "\r\n";
        if (std::strcmp(name, "Via") == 0) {
            vias += entry;
            continue;
        }
        for (std::size_t i = 0; i < 4; ++i)
            if (std::strcmp(name, kOrder[i]) == 0 && others[i].empty())
                others[i] = entry;
    }
    if (vias.empty() ||
        std::any_of(std::begin(others), std::end(others), [](const std::string& s) { return s.empty(); }))
        return false;
    lines = vias;
    for (const std::string& s : others)
        lines += s;
    return true;
}

namespace {

// The header name of an unfolded line, blanks cut off.
std::string_view NameOf(std::string_view line)
{
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : Text::Trim(line.substr(0, colon));
}

} // namespace

bool CRawRequest::HasMultipartBody(std::string_view text)
{
    for (const std::string& line : UnfoldedHeaderLines(text)) {
        const std::string_view name = NameOf(line);
        if (!Text::SameWord(name, "content-type") && !Text::SameWord(name, "c"))
            continue;
        const std::string_view value = Text::Trim(std::string_view(line).substr(line.find(':') + 1));
        return value.size() >= 10 && Text::SameWord(value.substr(0, 10), "multipart/");
    }
    return false;
}

std::string CRawRequest::WithoutBody(std::string_view text)
{
    std::string out(text.substr(0, text.find('\n') + 1));
    for (const std::string& line : UnfoldedHeaderLines(text)) {
        const std::string_view name = NameOf(line);
        if (!Text::SameWord(name, "content-length") && !Text::SameWord(name, "l"))
            out.append(line).append("\r\n");
    }
    return out + "\r\n";
}

bool CRawRequest::IsKnownMethod(std::string_view method)
{
    static constexpr const char* kMethods[] = {"INVITE",    "ACK",    "CANCEL", "BYE",    "OPTIONS",
                                               "REGISTER",  "INFO",   "PRACK",  "UPDATE", "MESSAGE",
                                               "SUBSCRIBE", "NOTIFY", "REFER",  "PUBLISH"};
    return std::any_of(std::begin(kMethods), std::end(kMethods), [&](const char* m) { return method == m; });
}

std::string_view CRawRequest::Trim(std::string_view v)
{
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
        v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
        v.remove_suffix(1);
    return v;
}

bool CRawRequest::SameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace zelora
