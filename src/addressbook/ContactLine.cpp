#include "addressbook/ContactLine.h"

#include <cstdio>

namespace ContactLine {

namespace {
using F = std::string ContactRecord::*;
constexpr F kOrder[kFieldCount] = {
    &ContactRecord::entryNumber, &ContactRecord::name,       &ContactRecord::email,    &ContactRecord::voip,
    &ContactRecord::mobile,      &ContactRecord::home,       &ContactRecord::business, &ContactRecord::title,
    &ContactRecord::firstName,   &ContactRecord::middleName, &ContactRecord::lastName, &ContactRecord::altEmail,
    &ContactRecord::fax,         &ContactRecord::pager,      &ContactRecord::icq,      &ContactRecord::website,
    &ContactRecord::companyName, &ContactRecord::birthDate,  &ContactRecord::comments};
constexpr const char* kNames[kFieldCount] = {
    "entry number", "name",       "e-mail",       "VoIP number", "mobile number",    "home number", "business number",
    "title",        "first name", "middle name",  "last name",   "alternate e-mail", "fax number",  "pager number",
    "ICQ",          "website",    "company name", "birth date",  "comments"};
} // namespace

std::string ContactRecord::*const* FileOrder() { return kOrder; }

std::string Format(const ContactRecord& record)
{
    std::string line(1, record.flag == 1 ? '1' : record.flag);
    for (F field : kOrder) {
        line += '|';
        line += record.*field;
    }
    line += '|';
    return line;
}

bool Parse(std::string_view line, ContactRecord& record)
{
    if (line.size() > kMaxReadLength)
        line = line.substr(0, kMaxReadLength);
    if (line.size() < 2 || line[1] != '|')
        return false;
    record = ContactRecord{};
    record.flag = line[0];
    std::size_t pos = 2;
    for (F field : kOrder) {
        std::size_t bar = line.find('|', pos);
        if (bar == std::string_view::npos)
            return false;
        if (bar - pos > kMaxField)
            return false;
        (record.*field).assign(line.substr(pos, bar - pos));
        pos = bar + 1;
    }
    return true;
}

const char* FieldProblem(const std::string& value)
{
    if (value.size() > kMaxField)
        return "longer than 255 characters";
    if (value.find('|') != std::string::npos)
        return "contains |";
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return "contains a line break";
    return nullptr;
}

const char* RecordProblem(const ContactRecord& record)
{
    for (std::size_t i = 0; i < kFieldCount; ++i)
        if (FieldProblem(record.*kOrder[i]) != nullptr)
            return kNames[i];
    if (Format(record).size() > kMaxReadLength)
        return "whole line";
    return nullptr;
}

std::string Key(std::size_t position)
{
    char key[32];
    std::snprintf(key, sizeof key, "Entry%03zu", position);
    return key;
}

} // namespace ContactLine
