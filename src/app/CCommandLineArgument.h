#pragma once
// The number a start of the program was asked to dial: the first parameter that is a
// "callto:" link (any case, blanks around the parts, "callto://1234" too), or a "sip:"/"sips:"
// or "tel:" link as the desktop hands them over, whose user part is the number.
#include <string>
#include <vector>

class CCommandLineArgument {
public:
    // The number one parameter carries; false when it is no such link (or carries nothing).
    static bool ParseParameter(const std::string& parameter, std::string& number);

    CCommandLineArgument() = default;
    // Every parameter after the program's name, until one carries a number.
    explicit CCommandLineArgument(const std::vector<std::string>& parameters);

    bool Found() const { return m_found; }
    const std::string& Number() const { return m_number; }

private:
    bool m_found = false;
    std::string m_number;
};
