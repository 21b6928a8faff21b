#pragma once
// An in-memory address book that records what the reply parser asks of it.
#include "web/IAddressBookStore.h"

#include <cstdlib>
#include <string>
#include <vector>

class FakeAddressBook : public IAddressBookStore {
public:
    std::string LastCheckTimestamp() override { return lastCheck; }
    int StoreLastCheckTimestamp(const std::string& timestamp) override
    {
        if (failStore) {
            return -1;
        }
        lastCheck = timestamp;
        ++stores;
        return 0;
    }
    void EmptyAddressBook() override
    {
        entries.clear();
        ++empties;
    }
    int FindByEntryNumber(long number) override
    {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (std::strtol(entries[i].entryNumber.c_str(), nullptr, 10) == number) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    int UpdateEntry(const WebContact& record) override
    {
        int at = FindByEntryNumber(std::strtol(record.entryNumber.c_str(), nullptr, 10));
        if (at < 0) {
            return -1;
        }
        entries[static_cast<std::size_t>(at)] = record;
        ++updates;
        return 0;
    }
    int AddEntry(const WebContact& record) override
    {
        entries.push_back(record);
        ++adds;
        return 0;
    }

    std::vector<WebContact> entries;
    std::string lastCheck;
    bool failStore = false;
    int stores = 0;
    int empties = 0;
    int updates = 0;
    int adds = 0;
};
