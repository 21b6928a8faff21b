#include "cli/CCliProtocol.h"

#include <cstdio>

std::string CCliProtocol::Quote(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            out += ' ';
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

bool CCliProtocol::Split(std::string_view line, std::vector<std::string>& words)
{
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        if (i >= line.size())
            break;
        // A word runs to the next blank; a double quote, at its start or inside it, opens a
        // quoted part that may hold blanks and the two escapes.
        std::string word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n') {
            if (line[i] != '"') {
                word += line[i++];
                continue;
            }
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '\\') {
                    if (i >= line.size())
                        return false;
                    word += line[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    word += c;
                }
            }
            if (!closed)
                return false;
        }
        words.push_back(std::move(word));
    }
    return true;
}

std::string CCliProtocol::EventLine(int status, const SESSION_EVENT_INFO* record)
{
    std::string line = "EVENT " + std::to_string(status) + " " + MXSSStatusName(status);
    if (record == nullptr)
        return line;
    auto bare = [](const char* text) {
        std::string word;
        for (const char* p = text; *p != '\0'; ++p)
            word += (static_cast<unsigned char>(*p) <= 0x20 || *p == 0x7f) ? '_' : *p;
        return word;
    };
    if (record->cid != 0)
        line += " cid=" + std::to_string(record->cid);
    if (record->statusCode != 0)
        line += " code=" + std::to_string(record->statusCode);
    if (record->codecName[0] != '\0')
        line += " codec=" + bare(record->codecName);
    if (record->codecPayload[0] != '\0')
        line += " payload=" + bare(record->codecPayload);
    if (record->rtpIp[0] != '\0')
        line += " rtp=" + bare(record->rtpIp) + ":" + bare(record->rtpPort);
    if (record->fromUserName[0] != '\0')
        line += " from=" + bare(record->fromUserName);
    if (record->responseMessage[0] != '\0')
        line += " reason=" + Quote(record->responseMessage);
    return line;
}

std::string CCliProtocol::MessageLine(std::string_view text) { return "MESSAGE " + Quote(text); }

std::string CCliProtocol::DisplayLine(const CMXDisplayScreen::Lines& lines)
{
    return "DISPLAY " + Quote(lines[0]) + " " + Quote(lines[1]) + " " + Quote(lines[2]);
}

std::string CCliProtocol::HelpLine(std::string_view usage, std::string_view summary)
{
    return "HELP " + Quote(usage) + " " + Quote(summary);
}

std::string CCliProtocol::StateLine(bool signedIn, int callState, std::string_view dialField)
{
    return std::string("STATE signed_in=") + (signedIn ? "1" : "0") + " call_state=" + std::to_string(callState) +
        " dial=" + Quote(dialField);
}

bool CCliProtocol::TakeValue(const std::string& word, std::string_view key, std::string& value)
{
    if (word.size() <= key.size() || word.compare(0, key.size(), key) != 0 || word[key.size()] != '=')
        return false;
    value = word.substr(key.size() + 1);
    return true;
}

bool CCliProtocol::ParseNumber(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int v = std::stoi(text);
    if (v < low || v > high)
        return false;
    value = v;
    return true;
}
