#pragma once
// The benchmarks' roster: `contacts` mutual contacts in seven groups, in Prosody's own store format.
#include <string>

inline std::string BenchRoster(int contacts)
{
    std::string roster = "return {\n  [false] = { [\"version\"] = 1; };\n";
    for (int i = 0; i < contacts; ++i)
        roster += "  [\"c" + std::to_string(i) + "@localhost\"] = { [\"subscription\"] = \"both\"; [\"name\"] = \"C" +
            std::to_string(i) + "\"; [\"groups\"] = { [\"G" + std::to_string(i % 7) + "\"] = true; }; };\n";
    return roster + "};\n";
}
