#pragma once
// Reading the simulator's own texts: request fields, form values and data-file lines.
#include <string>
#include <vector>

// Digits only, at most 18 of them (so the value fits); false for anything else.
bool ParseDecimal(const std::string& text, long long& value);
// %XX escapes decoded, '+' as a space where plusIsSpace; false for a broken escape.
bool PercentDecode(const std::string& text, bool plusIsSpace, std::string& out);
// The parts between separators; one part for a text without any.
std::vector<std::string> SplitText(const std::string& text, char separator);
