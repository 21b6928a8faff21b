// The address-book line parser on any text: it never reads past the line, and whatever it
// accepts formats back to a line that parses to the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "addressbook/ContactLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string line(reinterpret_cast<const char*>(data), size);
    ContactRecord record;
    if (!ContactLine::Parse(line, record))
        return 0;
    if (ContactLine::RecordProblem(record) != nullptr)
        return 0;
    const std::string again = ContactLine::Format(record);
    ContactRecord back;
    if (!ContactLine::Parse(again, back))
        std::abort();
    auto fields = ContactLine::FileOrder();
    for (std::size_t i = 0; i < ContactLine::kFieldCount; ++i)
        if (back.*fields[i] != record.*fields[i])
            std::abort();
    return 0;
}
