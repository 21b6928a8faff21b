#pragma once
// One address-book entry, fields in the file's order. Texts hold at most 255
// characters (fixed buffers of 256 where they travel); the limit is enforced where a record enters
// the store (ContactLine::Validate), so a record in the list always fits its line format.
#include <string>

struct ContactRecord {
    char flag = '0'; // '1' live, '0' deleted (position free for reuse)
    std::string name;
    std::string email;
    std::string voip;
    std::string mobile;
    std::string home;
    std::string business;
    std::string entryNumber;
    std::string title;
    std::string firstName;
    std::string middleName;
    std::string lastName;
    std::string birthDate;
    std::string companyName;
    std::string altEmail;
    std::string fax;
    std::string pager;
    std::string icq;
    std::string website;
    std::string comments;
    int presence = 0; // in memory only, never written to the file

    // A line of the file that could not be loaded: kept so positions equal keys; never shown,
    // never reused by Add, its line never rewritten.
    bool placeholder = false;

    // Live: flag '1' (a flag byte of value 1 counts as live too).
    bool IsLive() const { return !placeholder && (flag == '1' || flag == 1); }
};
