#include "phone/CWebPhoneDuties.h"

#include "app/CLogger.h"
#include "phone/CzeloraTALKDlg.h"

CWebPhoneDuties::CWebPhoneDuties(WebEndpoints endpoints, IAddressBookStore* store)
    : m_endpoints(std::move(endpoints)), m_store(store)
{
    ZLOG_SCOPE();
}

CWebPhoneDuties::~CWebPhoneDuties()
{
    ZLOG_SCOPE();
    Detach();
}

bool CWebPhoneDuties::Attach(CzeloraTALKDlg& dlg)
{
    ZLOG_SCOPE();
    Detach();
    if (CMXINet::Init() != 1) {
        ZLOG(LOG_ERROR, "Unable to open the internet session");
        return false;
    }
    m_sessionOpen = true;
    m_dlg = &dlg;
    m_client = std::make_unique<CWebServiceClient>(m_endpoints, this, &dlg.Queue(), m_store);
    return true;
}

void CWebPhoneDuties::Detach()
{
    ZLOG_SCOPE();
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
    ZLOG_SCOPE();
    CzeloraTALKDlg* dlg = m_dlg.load();
    if (dlg == nullptr || !dlg->Queue().Post(msg, 0, 0, std::move(data)))
        ZLOG(LOG_ERROR, "Unable to post message %u", msg);
}

void CWebPhoneDuties::OnWindowCreated()
{
    ZLOG_SCOPE();
    if (m_client != nullptr)
        m_client->OnReqVersion();
}

void CWebPhoneDuties::OnSignedIn()
{
    ZLOG_SCOPE();
    CzeloraTALKDlg* dlg = m_dlg.load();
    if (m_client == nullptr || dlg == nullptr)
        return;
    m_client->SetUserId(dlg->GetUserId());
    m_client->OnSignedIn();
}

bool CWebPhoneDuties::BalanceKnown()
{
    ZLOG_SCOPE();
    return m_client != nullptr && !m_client->Balance().empty();
}

bool CWebPhoneDuties::VoipNumberKnown()
{
    ZLOG_SCOPE();
    return m_client != nullptr && !m_client->VoipNumber().empty();
}

bool CWebPhoneDuties::AdsLoaded()
{
    ZLOG_SCOPE();
    return m_client != nullptr && !m_client->Ticker().Items().empty();
}

void CWebPhoneDuties::RequestBalance()
{
    ZLOG_SCOPE();
    if (m_client != nullptr)
        m_client->OnReqBalance();
}

void CWebPhoneDuties::RequestVoipNumber()
{
    ZLOG_SCOPE();
    if (m_client != nullptr)
        m_client->OnReqVoipNumber();
}

void CWebPhoneDuties::RequestAds()
{
    ZLOG_SCOPE();
    if (m_client != nullptr)
        m_client->OnAdsRequest();
}

void CWebPhoneDuties::RequestCallerLine(int cid, const std::string& user)
{
    ZLOG_SCOPE();
    ZLOG(LOG_DEBUG, "Caller line of call %d from %s", cid, user.c_str());
    if (m_client == nullptr)
        return;
    m_callerLinePending = true;
    if (m_client->OnReqCLI() != 1)
        m_callerLinePending = false;
}

void CWebPhoneDuties::WorkerPass(int, bool)
{
    ZLOG_SCOPE();
    CzeloraTALKDlg* dlg = m_dlg.load();
    if (m_client == nullptr || dlg == nullptr)
        return;
    // Through the tunnel the public web is not what carries the calls: no probe then.
    m_client->SetProxyMode(dlg->UsesTunnel() ? 1 : 0);
    m_client->WorkerPass();
}

bool CWebPhoneDuties::AccountTexts(std::string& balance, std::string& smsBalance)
{
    ZLOG_SCOPE();
    if (m_client == nullptr)
        return false;
    balance = m_client->Balance();
    smsBalance = m_client->SmsBalance();
    return !balance.empty() || !smsBalance.empty();
}

bool CWebPhoneDuties::VoipNumber(std::string& voipNumber, std::string& userId)
{
    ZLOG_SCOPE();
    if (m_client == nullptr)
        return false;
    voipNumber = m_client->VoipNumber();
    userId = CWebServiceClient::ServerUserId();
    return !voipNumber.empty();
}

bool CWebPhoneDuties::TakeCallerLine(std::string& callerId)
{
    ZLOG_SCOPE();
    if (m_client == nullptr || !m_callerLinePending.load() || m_client->State(WEB_KIND_CLI) != CWebServiceClient::kIdle)
        return false;
    m_callerLinePending = false;
    callerId = m_client->CallerId();
    return !callerId.empty();
}

std::string CWebPhoneDuties::DownloadLink()
{
    ZLOG_SCOPE();
    return m_client != nullptr ? m_client->DownloadLink() : std::string();
}

std::optional<bool> CWebPhoneDuties::CheckConnectivity()
{
    ZLOG_SCOPE();
    // Failures are counted by the probe itself, which signs the window out at five in a row:
    // the window only needs to hear that the network answers again.
    if (m_client == nullptr || !m_client->Probe().ProbeDone())
        return std::nullopt;
    m_client->Probe().ClearProbeDone();
    if (m_client->Probe().Failures() != 0)
        return std::nullopt;
    return true;
}

bool CWebPhoneDuties::IsSignedIn() const
{
    ZLOG_SCOPE();
    CzeloraTALKDlg* dlg = m_dlg.load();
    return dlg != nullptr && dlg->IsSignedIn();
}

bool CWebPhoneDuties::IsCallInProgress() const
{
    ZLOG_SCOPE();
    CzeloraTALKDlg* dlg = m_dlg.load();
    return dlg != nullptr && dlg->GetCallState() != MXSPCore::CALL_IDLE;
}

void CWebPhoneDuties::HangUpCall()
{
    ZLOG_SCOPE();
    PostToWindow(CzeloraTALKDlg::WM_INTERNAL_HANGUP);
}

void CWebPhoneDuties::SetSignedOut()
{
    ZLOG_SCOPE();
    PostToWindow(CzeloraTALKDlg::WM_INTERNAL_NETWORK_LOST);
}

bool CWebPhoneDuties::AskYesNo(const std::string& question)
{
    ZLOG_SCOPE();
    // Boxes belong to the window's thread: the answer is acted on there.
    PostToWindow(CzeloraTALKDlg::WM_INTERNAL_ASK_NEW_VERSION, question);
    return false;
}

void CWebPhoneDuties::OpenUrl(const std::string& url)
{
    ZLOG_SCOPE();
    ZLOG(LOG_DEBUG, "Link %s left to the window", url.c_str());
}
