#pragma once
// The main window's hook to the operator's web services and the local address book. The window
// calls these at the moments its call flow names; until a web side is attached, the plain
// object does nothing and reports nothing known.
#include <optional>
#include <string>

class CPhoneWebDuties {
public:
    virtual ~CPhoneWebDuties() = default;

    // Signed in: initial address-book synchronisation, SMS/fax list.
    virtual void OnSignedIn() {}
    virtual void ReloadAddressBook() {}
    virtual bool BalanceKnown() { return false; }
    virtual bool VoipNumberKnown() { return false; }
    virtual bool AdsLoaded() { return false; }
    virtual void RequestBalance() {}
    virtual void RequestVoipNumber() {}
    virtual void RequestAds() {}
    virtual void RequestCallerLine(int cid, const std::string& user) { (void)cid, (void)user; }
    // A contact for the number: its name and number type.
    virtual bool LookupContact(const std::string& number, std::string& name, int& numberType)
    {
        (void)number, (void)name, (void)numberType;
        return false;
    }
    // One pass of the window's worker: replies, periodic queries. `pass` counts from 1.
    virtual void WorkerPass(int pass, bool signedIn) { (void)pass, (void)signedIn; }
    // The connectivity check: true reachable, false not, nullopt when no check can run.
    virtual std::optional<bool> CheckConnectivity() { return std::nullopt; }
};
