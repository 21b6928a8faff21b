#pragma once
// The main window's web side: the operator's web-service client driven by the window's worker
// and messages. Calls that reach it on the HTTP client's thread only post to the window's queue.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "phone/CPhoneWebDuties.h"
#include "web/CWebServiceClient.h"
#include "web/IAddressBookStore.h"
#include "web/IWebServiceHost.h"

class CzeloraTALKDlg;

class CWebPhoneDuties : public CPhoneWebDuties, public IWebServiceHost {
public:
    explicit CWebPhoneDuties(WebEndpoints endpoints, IAddressBookStore* store = nullptr);
    ~CWebPhoneDuties() override;
    CWebPhoneDuties(const CWebPhoneDuties&) = delete;
    CWebPhoneDuties& operator=(const CWebPhoneDuties&) = delete;

    // Once the window exists, before its start-up: the client posts to the window's queue.
    // false when the HTTP session cannot be opened (then nothing of the web side runs).
    bool Attach(CzeloraTALKDlg& dlg);
    // Before the window goes: connections closed, no call reaches the window any more.
    void Detach();

    CWebServiceClient* Client() { return m_client.get(); }

    // CPhoneWebDuties
    void OnWindowCreated() override;
    void OnSignedIn() override;
    bool BalanceKnown() override;
    bool VoipNumberKnown() override;
    bool AdsLoaded() override;
    void RequestBalance() override;
    void RequestVoipNumber() override;
    void RequestAds() override;
    void RequestCallerLine(int cid, const std::string& user) override;
    void WorkerPass(int pass, bool signedIn) override;
    bool AccountTexts(std::string& balance, std::string& smsBalance) override;
    bool VoipNumber(std::string& voipNumber, std::string& userId) override;
    bool TakeCallerLine(std::string& callerId) override;
    std::string DownloadLink() override;
    std::optional<bool> CheckConnectivity() override;

    // IWebServiceHost
    bool IsSignedIn() const override;
    bool IsCallInProgress() const override;
    void HangUpCall() override;
    void SetSignedOut() override;
    bool AskYesNo(const std::string& question) override;
    void OpenUrl(const std::string& url) override;

private:
    void PostToWindow(unsigned msg, std::string data = {});

    WebEndpoints m_endpoints;
    IAddressBookStore* m_store;
    std::atomic<CzeloraTALKDlg*> m_dlg{nullptr};
    std::unique_ptr<CWebServiceClient> m_client;
    bool m_sessionOpen = false;
    std::atomic<bool> m_callerLinePending{false};
};
