#pragma once
// The address-book file's line format: the flag, then the 19 fields each preceded by
// "|" (entry number, name, e-mail, VoIP, mobile, home, business, title, first, middle, last,
// alternate e-mail, fax, pager, ICQ, website, company, birth date, comments), then a final "|".
#include <cstddef>
#include <string>
#include <string_view>

#include "addressbook/ContactRecord.h"

namespace ContactLine {

inline constexpr std::size_t kFieldCount = 19;
inline constexpr std::size_t kMaxField = 255;
// The line is read with a buffer of 766 bytes: at most 765 characters count.
inline constexpr std::size_t kMaxReadLength = 765;

// Pointers to the record's fields in the file order.
std::string ContactRecord::*const* FileOrder();

std::string Format(const ContactRecord& record);
// Parses what a read of the line yields (its first 765 characters). false when the line ends
// before its last field (including that field's closing "|"); `record` is then unspecified.
bool Parse(std::string_view line, ContactRecord& record);

// Why a field cannot go into a line: nullptr when it can. Refused: "|", CR, LF, NUL, and more
// than 255 characters.
const char* FieldProblem(const std::string& value);
// The first field of the record that cannot go into a line (its name), or nullptr; also
// refuses a record whose whole line would be longer than the read limit.
const char* RecordProblem(const ContactRecord& record);

// "Entry%03d" of the position (four digits from 1000 on).
std::string Key(std::size_t position);

} // namespace ContactLine
