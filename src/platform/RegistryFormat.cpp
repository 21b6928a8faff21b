#include "platform/Registry.h"

#include "platform/HexString.h"

#include <cstdio>
#include <cstring>

// The registry file's text: escaping, key names, parsing and writing.
namespace zelora {
namespace {

// Percent-escapes what would break the line structure: '%', control characters, and the
// characters listed in `extra` (section brackets, '=' in names, a leading comment mark).
void escapeInto(std::string& out, std::string_view text, std::string_view extra)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        bool special = c < 0x20 || c == 0x7F || c == '%' || extra.find(static_cast<char>(c)) != std::string_view::npos;
        if (i == 0 && (c == ';' || c == '#' || c == '['))
            special = true;
        if (special) {
            out.push_back('%');
            AppendHexByte(out, c);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

bool unescape(std::string_view text, std::string& out)
{
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        int hi = HexNibble(text[i + 1]);
        int lo = HexNibble(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<char>((hi << 4) | lo));
        i += 2;
    }
    return true;
}

bool parseDword(std::string_view text, std::uint32_t& out)
{
    if (text.empty() || text.size() > 8)
        return false;
    std::uint32_t v = 0;
    for (char c : text) {
        int n = HexNibble(c);
        if (n < 0)
            return false;
        v = (v << 4) | static_cast<std::uint32_t>(n);
    }
    out = v;
    return true;
}

std::string_view stripCr(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool isBlank(std::string_view line)
{
    for (char c : line)
        if (c != ' ' && c != '\t')
            return false;
    return true;
}

} // namespace

std::string Registry::Fold(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Registry::NormalizeKey(std::string_view key)
{
    // "Software\\a\\" and "\\Software\\a" name the same key; empty parts are dropped.
    std::string out;
    out.reserve(key.size());
    std::size_t i = 0;
    while (i < key.size()) {
        std::size_t end = key.find('\\', i);
        if (end == std::string_view::npos)
            end = key.size();
        if (end > i) {
            if (!out.empty())
                out.push_back('\\');
            out.append(key.substr(i, end - i));
        }
        i = end + 1;
    }
    return out;
}

int Registry::Parse(std::string_view text, KeyMap& out)
{
    out.clear();
    Key* current = nullptr;
    int lineNo = 0;
    std::string name;
    std::string path;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = stripCr(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNo;
        if (line.find('\0') != std::string_view::npos)
            return lineNo;
        if (isBlank(line) || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 2)
                return lineNo;
            if (!unescape(line.substr(1, line.size() - 2), path))
                return lineNo;
            std::string key = NormalizeKey(path);
            if (key.empty())
                return lineNo;
            Key& k = out[Fold(key)];
            if (k.path.empty())
                k.path = key;
            current = &k;
            continue;
        }
        if (current == nullptr)
            return lineNo;
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0 || !unescape(line.substr(0, eq), name))
            return lineNo;
        std::string_view rest = line.substr(eq + 1);
        std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos)
            return lineNo;
        std::string_view type = rest.substr(0, colon);
        std::string_view data = rest.substr(colon + 1);
        Value v;
        v.name = name;
        if (type == "sz") {
            v.value.type = RegType::String;
            if (!unescape(data, v.value.text))
                return lineNo;
        } else if (type == "dword") {
            v.value.type = RegType::Dword;
            if (!parseDword(data, v.value.dword))
                return lineNo;
        } else if (type == "hex") {
            v.value.type = RegType::Binary;
            if (ParseHexStrict(data, v.value.bytes) < 0)
                return lineNo;
        } else {
            return lineNo;
        }
        current->values[Fold(name)] = std::move(v);
    }
    return 0;
}

std::string Registry::SerializeKeys(const KeyMap& keys)
{
    std::string out = "; zeloraTALK registry: [key], then name=sz:text | dword:hex | hex:bytes\n";
    for (const auto& [folded, key] : keys) {
        out.push_back('[');
        escapeInto(out, key.path, "[]");
        out.append("]\n");
        for (const auto& [foldedName, v] : key.values) {
            escapeInto(out, v.name, "=");
            switch (v.value.type) {
            case RegType::String:
                out.append("=sz:");
                escapeInto(out, v.value.text, "");
                break;
            case RegType::Dword: {
                char digits[16];
                std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(v.value.dword));
                out.append("=dword:").append(digits);
                break;
            }
            case RegType::Binary:
                out.append("=hex:");
                for (std::uint8_t b : v.value.bytes) {
                    AppendHexByte(out, b);
                }
                break;
            }
            out.push_back('\n');
        }
    }
    return out;
}

} // namespace zelora
