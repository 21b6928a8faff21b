// The window's reaction to each session event: one handler per status, reached through a table.
#include "phone/CzeloraTALKDlg.h"

#include <cstdio>

#include "app/CLogger.h"
#include "app/CSettings.h"

namespace {

// Entering/leaving lines of one status case of the event handler.
class CStatusScope {
public:
    explicit CStatusScope(int status)
    {
        const char* name = MXSSStatusName(status);
        bool generic = status == MXSS_STATUS_CALL_REDIRECTED || status == MXSS_STATUS_CALL_SERVERFAILURE ||
            status == MXSS_STATUS_CALL_GLOBALFAILURE || status == MXSS_STATUS_CALL_CANCELLED ||
            status == MXSS_STATUS_CALL_TIMEOUT;
        if (generic)
            std::snprintf(m_name, sizeof m_name, "MXSS_STATUS_%d_FAILURE", status);
        else
            std::snprintf(m_name, sizeof m_name, "%s", name);
        ZLOG_AS(LOG_INFO, "CzeloraTALKDlg::HandleSipData", "********%s Entering********", m_name);
    }
    ~CStatusScope() { ZLOG_AS(LOG_INFO, "CzeloraTALKDlg::HandleSipData", "########%s Leaving########", m_name); }
    CStatusScope(const CStatusScope&) = delete;
    CStatusScope& operator=(const CStatusScope&) = delete;

private:
    char m_name[64];
};

} // namespace

const CzeloraTALKDlg::SipHandlerEntry CzeloraTALKDlg::kSipHandlers[] = {
    {MXSS_STATUS_REGISTRATION_SUCCESSFUL, &CzeloraTALKDlg::OnSipRegistered},
    {MXSS_STATUS_REGISTRATION_FAILURE, &CzeloraTALKDlg::OnSipRegistrationFailure},
    {MXSS_STATUS_REGISTRATION_TIMEOUT, &CzeloraTALKDlg::OnSipRegistrationTimeout},
    {MXSS_STATUS_INCOMING_CALL, &CzeloraTALKDlg::OnSipIncomingCall},
    {MXSS_STATUS_CALL_NOANSWER, &CzeloraTALKDlg::OnSipNoAnswer},
    {MXSS_STATUS_CALL_PROCEEDING, &CzeloraTALKDlg::OnSipProceeding},
    {MXSS_STATUS_CALL_RINGING, &CzeloraTALKDlg::OnSipRinging},
    {MXSS_STATUS_OUTGOING_CALL_ANSWERED, &CzeloraTALKDlg::OnSipConnected},
    {MXSS_STATUS_CALL_ACK, &CzeloraTALKDlg::OnSipConnected},
    {MXSS_STATUS_CALL_REQUESTFAILURE, &CzeloraTALKDlg::OnSipRequestFailure},
    {MXSS_STATUS_CALL_REDIRECTED, &CzeloraTALKDlg::OnSipCallFailed},
    {MXSS_STATUS_CALL_SERVERFAILURE, &CzeloraTALKDlg::OnSipCallFailed},
    {MXSS_STATUS_CALL_GLOBALFAILURE, &CzeloraTALKDlg::OnSipCallFailed},
    {MXSS_STATUS_CALL_CANCELLED, &CzeloraTALKDlg::OnSipCallFailed},
    {MXSS_STATUS_CALL_TIMEOUT, &CzeloraTALKDlg::OnSipCallFailed},
    {MXSS_STATUS_CALL_CLOSED, &CzeloraTALKDlg::OnSipCallClosed},
    {MXSS_STATUS_CALL_RELEASED, &CzeloraTALKDlg::OnSipCallReleased},
    {MXSS_STATUS_CALL_MESSAGE_REQUESTFAILURE, &CzeloraTALKDlg::OnSipCallReleased},
    {MXSS_STATUS_LOGOUT, &CzeloraTALKDlg::OnSipLogout},
};

int CzeloraTALKDlg::SessionCallBack(int status, void* context, SESSION_EVENT_INFO* record)
{
    if (context == nullptr)
        return -1;
    return static_cast<CzeloraTALKDlg*>(context)->HandleSipData(status, record);
}

int CzeloraTALKDlg::HandleSipData(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    // The observer hears of the event once the window has taken it in, so that whoever acts on
    // it finds the window's state already changed.
    struct Notify {
        CzeloraTALKDlg& dlg;
        int status;
        SESSION_EVENT_INFO* record;
        ~Notify()
        {
            if (dlg.m_observer)
                dlg.m_observer(status, record);
        }
    } notify{*this, status, record};
    CStatusScope scope(status);
    for (const SipHandlerEntry& entry : kSipHandlers) {
        if (entry.status == status) {
            (this->*entry.handler)(record);
            break;
        }
    }
    return 1;
}

void CzeloraTALKDlg::OnSipRegistered(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    // Under the core's lock: the timer's lock only, and the rest on the window's thread.
    if (m_choosing) {
        StopConnectionChoice();
        Post(WM_INTERNAL_CONNECTION_WORKED);
    }
    if (!IsSignedIn()) {
        SetSignedIn(true);
        // Files and web requests wait for the window's thread (after the line is marked up, which
        // it checks): the line is up as soon as the registrar says so, and the core's lock is not
        // held over disk or network.
        Post(WM_INTERNAL_SIGNED_IN_DUTIES);
        Post(WM_REFRESH_CONTROLS);
        m_display.Reset("");
        m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
        m_display.SetUserName("");
        m_display.SetDialedNumber("");
        m_display.SetCallerID("");
        Post(WM_REFRESH_DISPLAY);
        Post(WM_SHOW_BUTTONS);
    }
    if (!m_web->BalanceKnown())
        Post(WM_REQ_BALANCE);
    if (!m_web->VoipNumberKnown())
        Post(WM_REQ_VOIP_NUMBER);
    if (!m_web->AdsLoaded())
        Post(WM_ADS_REQUEST);
    m_regFailCount = 0;
    std::string callto;
    {
        std::lock_guard<std::mutex> guard(m_fields);
        if (m_calltoFound && !m_calltoDialled) {
            callto = m_calltoNumber;
            m_calltoDialled = true;
        }
    }
    if (!callto.empty()) {
        SetDialField(callto);
        OnBnClickedButtonCall();
    }
}

void CzeloraTALKDlg::OnSipRegistrationFailure(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    // A refusal is an answer: the way works, the account does not, and no other way helps.
    StopConnectionChoice();
    if (m_regFailCount >= 2) {
        // A line that the recovery kept looking signed in is signed out here: the sign-in panel
        // must not stand over a phone that still claims to be signed in.
        SetSignedIn(false);
        Post(WM_REFRESH_CONTROLS);
        Post(WM_REFRESH_DISPLAY);
        Post(WM_RELOGIN);
        m_regFailCount = 0;
    } else {
        ++m_regFailCount;
    }
}

void CzeloraTALKDlg::OnSipRegistrationTimeout(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    // The automatic choice moves on to the next way first; the user hears of the last one.
    if (m_choosing) {
        Post(WM_INTERNAL_NEXT_CONNECTION, m_choiceGeneration.load(), kChoiceTimedOut);
        return;
    }
    ShowRegistrationTimeout();
}

void CzeloraTALKDlg::ShowRegistrationTimeout()
{
    ZLOG_SCOPE();
    std::string text;
    if (m_internetReachable) {
        text = "Unable to sign in due to network problem. Please contact your network administrator for "
               "assistance";
    } else {
        text = "Network not found.";
        m_internetReachable = false;
        SetSignedIn(false);
        Post(WM_REFRESH_CONTROLS);
        Post(WM_REFRESH_DISPLAY);
    }
    PostText(text);
    SetSignedIn(false);
    Post(WM_REFRESH_CONTROLS);
}

void CzeloraTALKDlg::OnSipIncomingCall(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record == nullptr)
        return;
    std::string ringTone;
    m_settings.ReadRingTone(ringTone);
    PlayRing(ringTone);
    std::string caller = record->fromUserName;
    m_display.SetUserName("Incoming Call");
    std::string notifierText = caller.empty() ? ShowAnonymousCaller() : ShowCaller(record->cid, caller);
    m_display.SetCallType(CMXDisplayScreen::CALLTYPE_INCOMING);
    Post(WM_REFRESH_DISPLAY);
    Post(WM_SWITCH_PANEL, CzeloraTALKView::PANEL_CALL);
    Post(WM_REFRESH_DISPLAY);
    Post(WM_INTERNAL_OPEN_NOTIFIER, 0, notifierText);
}

std::string CzeloraTALKDlg::ShowAnonymousCaller()
{
    ZLOG_SCOPE();
    m_display.SetDialedNumber("XXXXXXXX");
    SetDialField("XXXXXXXX");
    return "XXXXXXXX";
}

std::string CzeloraTALKDlg::ShowCaller(int cid, const std::string& caller)
{
    ZLOG_SCOPE();
    bool request = false;
    {
        std::lock_guard<std::mutex> guard(m_fields);
        if (m_callerLineCid == 0) {
            m_callerLineCid = cid;
            m_callerLineUser = caller;
            request = true;
        }
    }
    if (request)
        Post(WM_REQ_CLI);
    SetDialField(caller);
    std::string name;
    int type = 0;
    if (m_web->LookupContact(caller, name, type)) {
        m_display.SetNumberType(type);
        m_display.SetDialedNumber(caller[0] == '1' ? GroupNumber(caller) : name);
        return name;
    }
    m_display.SetNumberType(0);
    m_display.SetDialedNumber(GroupNumber(caller));
    return GroupNumber(caller);
}

void CzeloraTALKDlg::OnSipNoAnswer(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    StopCall();
}

void CzeloraTALKDlg::OnSipProceeding(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    if (GetCallState() == MXSPCore::CALL_CONNECTED && !m_web->BalanceKnown())
        Post(WM_REQ_BALANCE);
}

void CzeloraTALKDlg::OnSipRinging(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record == nullptr)
        return;
    if (record->statusCode == 183 && record->codecName[0] != '\0') {
        if (!m_earlyMediaStarted.exchange(true))
            StartEarlyMedia(*record);
    } else if (!m_earlyMediaStarted) {
        PlayRing(SoundPath("ringout.wav"));
    }
}

void CzeloraTALKDlg::OnSipConnected(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record != nullptr)
        StartCall(*record);
}

void CzeloraTALKDlg::OnSipRequestFailure(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    StopCall();
    if (record == nullptr || record->responseMessage[0] == '\0') {
        PostText("Call request failure");
    } else if (record->statusCode != 487) {
        PostText(record->statusCode == 486 ? "User busy, please try later" : record->responseMessage);
    }
}

void CzeloraTALKDlg::OnSipCallFailed(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    StopCall();
    PostText("Your call cannot be connected at this moment");
}

void CzeloraTALKDlg::OnSipCallClosed(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    StopCall();
    m_callEnded = true;
    if (!m_web->BalanceKnown())
        Post(WM_REQ_BALANCE);
}

void CzeloraTALKDlg::OnSipCallReleased(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    if (m_closeAfterCall.exchange(false))
        Post(WM_CLOSE_APP);
}

void CzeloraTALKDlg::OnSipLogout(SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    StopCall();
    SetSignedIn(false);
    Post(WM_REFRESH_CONTROLS);
    m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
    Post(WM_REFRESH_DISPLAY);
    if (m_reRegisterPending.exchange(false))
        OnSendRegister();
}
