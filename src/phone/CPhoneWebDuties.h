#pragma once
// The main window's hook to the operator's web services and the local address book. The window
// calls these at the moments its call flow names; until a web side is attached, the plain
// object does nothing and reports nothing known.
#include <optional>
#include <string>

class CPhoneWebDuties {
public:
    virtual ~CPhoneWebDuties() = default;

    // The window has been created: the newest-version query.
    virtual void OnWindowCreated() { }
    // Once per sign-in, not at a re-registration: address-book synchronisation, SMS/fax list.
    virtual void OnSignedIn() { }
    virtual void ReloadAddressBook() { }
    virtual bool BalanceKnown() { return false; }
    virtual bool VoipNumberKnown() { return false; }
    virtual bool AdsLoaded() { return false; }
    virtual void RequestBalance() { }
    virtual void RequestVoipNumber() { }
    virtual void RequestAds() { }
    virtual void RequestCallerLine(int cid, const std::string& user) { (void)cid, (void)user; }
    // A contact for the number: its name and number type.
    virtual bool LookupContact(const std::string& number, std::string& name, int& numberType)
    {
        (void)number, (void)name, (void)numberType;
        return false;
    }
    // One pass of the window's worker: replies, periodic queries. `pass` counts from 1.
    virtual void WorkerPass(int pass, bool signedIn) { (void)pass, (void)signedIn; }
    // What the web side last received, for the window's fields; false while nothing is known.
    virtual bool AccountTexts(std::string& balance, std::string& smsBalance)
    {
        (void)balance, (void)smsBalance;
        return false;
    }
    virtual bool VoipNumber(std::string& voipNumber, std::string& userId)
    {
        (void)voipNumber, (void)userId;
        return false;
    }
    // The caller line of the last RequestCallerLine, once per request when it has arrived.
    virtual bool TakeCallerLine(std::string& callerId)
    {
        (void)callerId;
        return false;
    }
    virtual std::string DownloadLink() { return {}; }
    // The connectivity check: true reachable, false not, nullopt when no check can run.
    virtual std::optional<bool> CheckConnectivity() { return std::nullopt; }
};
