#pragma once
// A temporary data folder and a store over it whose settings hooks are recorded in memory.
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "addressbook/AddressBookStore.h"

namespace abtest {

struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        char pattern[] = "/tmp/zelora-ab-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

struct FakeSettings {
    int isFirstTimeResult = 1; // 1 stored (value below), 2 missing
    int isFirstTimeValue = 0;
    bool pending = false;
    std::string lastCheck;

    AddressBookStore::Hooks Hooks()
    {
        AddressBookStore::Hooks h;
        h.readIsFirstTime = [this](int& old) {
            old = isFirstTimeValue;
            int r = isFirstTimeResult;
            isFirstTimeResult = 1;
            isFirstTimeValue = 0;
            return r;
        };
        h.readLastCheckTs = [this]() { return lastCheck; };
        h.writeLastCheckTs = [this](const std::string& s) {
            lastCheck = s;
            return 1;
        };
        h.setPending = [this](bool p) { pending = p; };
        return h;
    }
};

inline ContactRecord Contact(const std::string& sno, const std::string& first, const std::string& email = "a@b.c")
{
    ContactRecord r;
    r.entryNumber = sno;
    r.name = " ";
    r.firstName = first;
    r.email = email;
    r.birthDate = " ";
    return r;
}

inline std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace abtest
