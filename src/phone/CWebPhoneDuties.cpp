#include "CWebPhoneDuties.h"

#include "CLogger.h"
#include "CzeloraTALKDlg.h"

CWebPhoneDuties::CWebPhoneDuties(WebEndpoints endpoints, IAddressBookStore* store)
    : m_endpoints(std::move(endpoints)), m_store(store)
{
    ZLOG_SCOPE("CWebPhoneDuties::CWebPhoneDuties");
}

CWebPhoneDuties::~CWebPhoneDuties()
{
    ZLOG_SCOPE("CWebPhoneDuties::~CWebPhoneDuties");
    Detach();
}

bool CWebPhoneDuties::Attach(CzeloraTALKDlg& dlg)
{
    ZLOG_SCOPE("CWebPhoneDuties::Attach");
    Detach();
    if (CMXINet::Init() != 1) {
        ZLOG(LOG_ERROR, "CWebPhoneDuties::Attach", "Unable to open the internet session");
        return false;
    }
    m_sessionOpen = true;
    m_dlg = &dlg;
    m_client = std::make_unique<CWebServiceClient>(m_endpoints, this, &dlg.Queue(), m_store);
    return true;
}

void CWebPhoneDuties::Detach()
{
    ZLOG_SCOPE("CWebPhoneDuties::Detach");
    // The client goes first: its HTTP thread may still be calling this object as its host.
    m_client.reset();
    m_dlg = nullptr;
    if (m_sessionOpen) {
        CMXINet::Exit();
        m_sessionOpen = false;
    }
}

void CWebPhoneDuties::PostToWindow(unsigned msg, std::string data)
{
    ZLOG_SCOPE("CWebPhoneDuties::PostToWindow");
    CzeloraTALKDlg* dlg = m_dlg.load();
    if (dlg == nullptr || !dlg->Queue().Post(msg, 0, 0, std::move(data)))
        ZLOG(LOG_ERROR, "CWebPhoneDuties::PostToWindow", "Unable to post message %u", msg);
}

void CWebPhoneDuties::OnWindowCreated()
{
    ZLOG_SCOPE("CWebPhoneDuties::OnWindowCreated");
    if (m_client != nullptr)
        m_client->OnReqVersion();
}

void CWebPhoneDuties::OnSignedIn()
{
    ZLOG_SCOPE("CWebPhoneDuties::OnSignedIn");
    CzeloraTALKDlg* dlg = m_dlg.load();
    if (m_client == nullptr || dlg == nullptr)
        return;
    m_client->SetUserId(dlg->GetUserId());
    m_client->OnSignedIn();
}

bool CWebPhoneDuties::BalanceKnown()
{
    ZLOG_SCOPE("CWebPhoneDuties::BalanceKnown");
    return m_client != nullptr && !m_client->Balance().empty();
}

bool CWebPhoneDuties::VoipNumberKnown()
{
    ZLOG_SCOPE("CWebPhoneDuties::VoipNumberKnown");
    return m_client != nullptr && !m_client->VoipNumber().empty();
}

bool CWebPhoneDuties::AdsLoaded()
{
    ZLOG_SCOPE("CWebPhoneDuties::AdsLoaded");
    return m_client != nullptr && !m_client->Ticker().Items().empty();
}

void CWebPhoneDuties::RequestBalance()
{
    ZLOG_SCOPE("CWebPhoneDuties::RequestBalance");
    if (m_client != nullptr)
        m_client->OnReqBalance();
}

void CWebPhoneDuties::RequestVoipNumber()
{
    ZLOG_SCOPE("CWebPhoneDuties::RequestVoipNumber");
    if (m_client != nullptr)
        m_client->OnReqVoipNumber();
}

void CWebPhoneDuties::RequestAds()
{
    ZLOG_SCOPE("CWebPhoneDuties::RequestAds");
    if (m_client != nullptr)
        m_client->OnAdsRequest();
}

void CWebPhoneDuties::RequestCallerLine(int cid, const std::string& user)
{
    ZLOG_SCOPE("CWebPhoneDuties::RequestCallerLine");
    ZLOG(LOG_DEBUG, "CWebPhoneDuties::RequestCallerLine", "Caller line of call %d from %s", cid, user.c_str());
    if (m_client == nullptr)
        return;
    m_callerLinePending = true;
    if (m_client->OnReqCLI() != 1)
        m_callerLinePending = false;
}

void CWebPhoneDuties::WorkerPass(int, bool)
{
    ZLOG_SCOPE("CWebPhoneDuties::WorkerPass");
    CzeloraTALKDlg* dlg = m_dlg.load();
    if (m_client == nullptr || dlg == nullptr)
        return;
    // Through the tunnel the public web is not what carries the calls: no probe then.
    m_client->SetProxyMode(dlg->UsesTunnel() ? 1 : 0);
    m_client->WorkerPass();
}

bool CWebPhoneDuties::AccountTexts(std::string& balance, std::string& smsBalance)
{
    ZLOG_SCOPE("CWebPhoneDuties::AccountTexts");
    if (m_client == nullptr)
        return false;
    balance = m_client->Balance();
    smsBalance = m_client->SmsBalance();
    return !balance.empty() || !smsBalance.empty();
}

bool CWebPhoneDuties::VoipNumber(std::string& voipNumber, std::string& userId)
{
    ZLOG_SCOPE("CWebPhoneDuties::VoipNumber");
    if (m_client == nullptr)
        return false;
    voipNumber = m_client->VoipNumber();
    userId = CWebServiceClient::ServerUserId();
    return !voipNumber.empty();
}

bool CWebPhoneDuties::TakeCallerLine(std::string& callerId)
{
    ZLOG_SCOPE("CWebPhoneDuties::TakeCallerLine");
    if (m_client == nullptr || !m_callerLinePending.load() ||
        m_client->State(WEB_KIND_CLI) != CWebServiceClient::kIdle)
        return false;
    m_callerLinePending = false;
    callerId = m_client->CallerId();
    return !callerId.empty();
}

std::string CWebPhoneDuties::DownloadLink()
{
    ZLOG_SCOPE("CWebPhoneDuties::DownloadLink");
    return m_client != nullptr ? m_client->DownloadLink() : std::string();
}

bool CWebPhoneDuties::IsSignedIn() const
{
    ZLOG_SCOPE("CWebPhoneDuties::IsSignedIn");
    CzeloraTALKDlg* dlg = m_dlg.load();
    return dlg != nullptr && dlg->IsSignedIn();
}

bool CWebPhoneDuties::IsCallInProgress() const
{
    ZLOG_SCOPE("CWebPhoneDuties::IsCallInProgress");
    CzeloraTALKDlg* dlg = m_dlg.load();
    return dlg != nullptr && dlg->GetCallState() != MXSPCore::CALL_IDLE;
}

void CWebPhoneDuties::HangUpCall()
{
    ZLOG_SCOPE("CWebPhoneDuties::HangUpCall");
    PostToWindow(CzeloraTALKDlg::WM_INTERNAL_HANGUP);
}

void CWebPhoneDuties::SetSignedOut()
{
    ZLOG_SCOPE("CWebPhoneDuties::SetSignedOut");
    PostToWindow(CzeloraTALKDlg::WM_INTERNAL_NETWORK_LOST);
}

bool CWebPhoneDuties::AskYesNo(const std::string& question)
{
    ZLOG_SCOPE("CWebPhoneDuties::AskYesNo");
    // Boxes belong to the window's thread: the answer is acted on there.
    PostToWindow(CzeloraTALKDlg::WM_INTERNAL_ASK_NEW_VERSION, question);
    return false;
}

void CWebPhoneDuties::OpenUrl(const std::string& url)
{
    ZLOG_SCOPE("CWebPhoneDuties::OpenUrl");
    ZLOG(LOG_DEBUG, "CWebPhoneDuties::OpenUrl", "Link %s left to the window", url.c_str());
}
