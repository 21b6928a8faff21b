#pragma once
// The console phone's line protocol: commands in, EVENT/MESSAGE/DISPLAY/STATE lines out.
#include <string>
#include <string_view>
#include <vector>

#include "phone/CMXDisplayScreen.h"
#include "session/SessionTypes.h"

class CCliProtocol {
public:
    // The text in double quotes, '"' and '\' escaped with a backslash; control characters,
    // which would break the one-line form, become blanks.
    static std::string Quote(std::string_view text);
    // Words of a command line: blanks separate; a double-quoted part, at the start of a word or
    // inside it (field="two words"), may hold blanks and the two escapes. false for an
    // unterminated quote or a dangling backslash.
    static bool Split(std::string_view line, std::vector<std::string>& words);

    static std::string EventLine(int status, const SESSION_EVENT_INFO* record);
    static std::string MessageLine(std::string_view text);
    static std::string DisplayLine(const CMXDisplayScreen::Lines& lines);
    // One command of `help`: its form and what it does.
    static std::string HelpLine(std::string_view usage, std::string_view summary);
    static std::string StateLine(bool signedIn, int callState, std::string_view dialField);

    // "key=value" arguments; false when `word` is not of that form or names another key.
    static bool TakeValue(const std::string& word, std::string_view key, std::string& value);
    // A decimal number within [low, high]; false for anything else.
    static bool ParseNumber(const std::string& text, int low, int high, int& value);
};
