// The window's private messages, handled on its own thread: one handler per message, reached
// through a table, and what they show of the web side's replies.
#include "phone/CzeloraTALKDlg.h"

#include "app/CLogger.h"

const CzeloraTALKDlg::MessageHandlerEntry CzeloraTALKDlg::kMessageHandlers[] = {
    {WM_CLOSE_APP, &CzeloraTALKDlg::OnMsgCloseApp},
    {WM_RELOGIN, &CzeloraTALKDlg::OnMsgReLogin},
    {WM_DIAL_FROM_WEB, &CzeloraTALKDlg::OnMsgDialFromWeb},
    {WM_SHOW_SIP_MSG, &CzeloraTALKDlg::OnMsgShowSipMsg},
    {WM_REQ_BALANCE, &CzeloraTALKDlg::OnMsgRequestBalance},
    {WM_SHOW_BUTTONS, &CzeloraTALKDlg::OnMsgShowButtons},
    {WM_FLASH_WINDOW, &CzeloraTALKDlg::OnMsgFlashWindow},
    {WM_REQ_VOIP_NUMBER, &CzeloraTALKDlg::OnMsgRequestVoipNumber},
    {WM_ADS_REQUEST, &CzeloraTALKDlg::OnMsgRequestAds},
    {WM_REQ_CLI, &CzeloraTALKDlg::OnMsgRequestCallerLine},
    {WM_REFRESH_CONTROLS, &CzeloraTALKDlg::OnMsgRefreshControls},
    {WM_SHOW_ACCOUNT_TEXTS, &CzeloraTALKDlg::OnMsgShowAccountTexts},
    {WM_REFRESH_DISPLAY, &CzeloraTALKDlg::OnMsgRefreshDisplay},
    {WM_SHOW_COUNTER, &CzeloraTALKDlg::OnMsgShowCounter},
    {WM_SWITCH_PANEL, &CzeloraTALKDlg::OnMsgSwitchPanel},
    {WM_RESTORE_PANEL, &CzeloraTALKDlg::OnMsgRestorePanel},
    {WM_PLAY_PRESENCE_SOUND, &CzeloraTALKDlg::OnMsgPlayPresenceSound},
    {WM_SHOW_SMS_DIALOG, &CzeloraTALKDlg::OnMsgShowSmsDialog},
    {zelora::WM_COPYDATA, &CzeloraTALKDlg::OnMsgCopyData},
    {WM_INTERNAL_SHOW_BOX, &CzeloraTALKDlg::OnMsgShowBox},
    {WM_INTERNAL_REPAINT, &CzeloraTALKDlg::OnMsgRepaint},
    {WM_INTERNAL_OPEN_NOTIFIER, &CzeloraTALKDlg::OnMsgOpenNotifier},
    {WM_INTERNAL_CLOSE_NOTIFIER, &CzeloraTALKDlg::OnMsgCloseNotifier},
    {WM_INTERNAL_HANGUP, &CzeloraTALKDlg::OnMsgHangUp},
    {WM_INTERNAL_NETWORK_LOST, &CzeloraTALKDlg::OnMsgNetworkLost},
    {WM_INTERNAL_ASK_NEW_VERSION, &CzeloraTALKDlg::OnMsgAskNewVersion},
    {WM_INTERNAL_RECOVERY_STATUS, &CzeloraTALKDlg::OnMsgRecoveryStatus},
    {WM_INTERNAL_NEXT_CONNECTION, &CzeloraTALKDlg::OnMsgNextConnection},
    {WM_INTERNAL_CONNECTION_WORKED, &CzeloraTALKDlg::OnMsgConnectionWorked},
    {WM_INTERNAL_SIGNIN_CHANGED, &CzeloraTALKDlg::OnMsgSignInChanged},
    {WM_INTERNAL_SIGNED_IN_DUTIES, &CzeloraTALKDlg::OnMsgSignedInDuties},
};

std::size_t CzeloraTALKDlg::DrainMessages()
{
    return m_queue.Drain([this](const zelora::Message& message) { OnMessage(message); });
}

void CzeloraTALKDlg::OnMessage(const zelora::Message& message)
{
    for (const MessageHandlerEntry& entry : kMessageHandlers) {
        if (entry.msg == message.msg) {
            (this->*entry.handler)(message);
            return;
        }
    }
}

void CzeloraTALKDlg::OnMsgCloseApp(const zelora::Message&) { OnClose(); }

void CzeloraTALKDlg::OnMsgReLogin(const zelora::Message&) { OnReLogin(); }

void CzeloraTALKDlg::OnMsgDialFromWeb(const zelora::Message&) { OnDialFromWeb(); }

void CzeloraTALKDlg::OnMsgShowSmsDialog(const zelora::Message& message) { m_view.OpenSmsWindow(message.data); }

void CzeloraTALKDlg::OnMsgRecoveryStatus(const zelora::Message& message)
{
    m_display.SetStatusText(message.data);
    RepaintDisplay();
    m_view.ShowRecoveryStatus(message.data);
}

void CzeloraTALKDlg::OnMsgShowSipMsg(const zelora::Message& message) { OnShowSipMsg(message.data); }

void CzeloraTALKDlg::OnMsgSignedInDuties(const zelora::Message&)
{
    if (!IsSignedIn())
        return; // signed out again before the duties came up
    // The duties' settings (first-start mark, the address book's stamp) in one write.
    CSettings::Batch settings(m_settings);
    m_web->ReloadAddressBook();
    m_web->OnSignedIn();
}

void CzeloraTALKDlg::OnMsgRequestBalance(const zelora::Message&) { m_web->RequestBalance(); }

void CzeloraTALKDlg::OnMsgShowButtons(const zelora::Message&) { m_view.ShowSignedInButtons(); }

void CzeloraTALKDlg::OnMsgFlashWindow(const zelora::Message&) { m_view.FlashWindow(); }

void CzeloraTALKDlg::OnMsgRequestVoipNumber(const zelora::Message&) { m_web->RequestVoipNumber(); }

void CzeloraTALKDlg::OnMsgRequestAds(const zelora::Message&) { m_web->RequestAds(); }

void CzeloraTALKDlg::OnMsgRequestCallerLine(const zelora::Message&)
{
    int cid = 0;
    std::string user;
    {
        std::lock_guard<std::mutex> guard(m_fields);
        cid = m_callerLineCid;
        user = m_callerLineUser;
    }
    m_web->RequestCallerLine(cid, user);
}

void CzeloraTALKDlg::OnMsgRefreshControls(const zelora::Message&)
{
    m_view.RefreshControls(IsSignedIn(), GetDialField());
    std::string voipNumber, userId;
    if (m_web->VoipNumber(voipNumber, userId))
        m_view.ShowVoipNumber(voipNumber, userId);
}

void CzeloraTALKDlg::OnMsgShowAccountTexts(const zelora::Message& message) { OnShowAccountTexts(message.wParam); }

void CzeloraTALKDlg::OnMsgRefreshDisplay(const zelora::Message& message) { OnRefreshDisplay(message.wParam); }

void CzeloraTALKDlg::OnMsgShowCounter(const zelora::Message& message)
{
    m_view.ShowCounter(static_cast<int>(message.wParam));
    if (!message.data.empty())
        m_view.ShowSmsNotice(message.data);
}

void CzeloraTALKDlg::OnMsgSwitchPanel(const zelora::Message& message) { SwitchPanel(static_cast<int>(message.wParam)); }

void CzeloraTALKDlg::OnMsgRestorePanel(const zelora::Message&)
{
    if (!IsSignedIn())
        return;
    int previous;
    {
        std::lock_guard<std::mutex> guard(m_fields);
        previous = m_previousPanel;
    }
    SwitchPanel(previous);
}

void CzeloraTALKDlg::OnMsgPlayPresenceSound(const zelora::Message& message)
{
    if (message.data.empty())
        return;
    int result = m_audio.PlayFile(message.data.c_str(), CPhoneAudio::PLAY_ONCE);
    if (result < 0)
        ShowAudioError(result);
}

void CzeloraTALKDlg::OnMsgCopyData(const zelora::Message& message) { OnCopyData(message.data); }

void CzeloraTALKDlg::OnMsgShowBox(const zelora::Message& message)
{
    m_view.MessageBox(message.data, static_cast<CzeloraTALKView::Icon>(message.wParam));
}

void CzeloraTALKDlg::OnMsgRepaint(const zelora::Message&) { RepaintDisplay(); }

void CzeloraTALKDlg::OnMsgOpenNotifier(const zelora::Message& message) { m_view.OpenNotifier(message.data); }

void CzeloraTALKDlg::OnMsgCloseNotifier(const zelora::Message&) { m_view.CloseNotifier(); }

void CzeloraTALKDlg::OnMsgHangUp(const zelora::Message&) { OnBnClickedButtonHangup(); }

void CzeloraTALKDlg::OnMsgNetworkLost(const zelora::Message&)
{
    m_internetReachable = false;
    SetSignedIn(false);
    m_view.RefreshControls(false, GetDialField());
}

void CzeloraTALKDlg::OnMsgAskNewVersion(const zelora::Message& message)
{
    if (!m_view.AskYesNo(message.data))
        return;
    std::string link = m_web->DownloadLink();
    if (!link.empty())
        m_view.OpenLink(link);
}

void CzeloraTALKDlg::OnShowAccountTexts(std::intptr_t wParam)
{
    ZLOG_SCOPE();
    std::string first, second;
    bool received = wParam != kOwnAccountTexts && m_web->AccountTexts(first, second);
    {
        std::lock_guard<std::mutex> guard(m_fields);
        if (received) {
            m_accountText1 = first.substr(0, 255);
            m_accountText2 = second.substr(0, 255);
        }
        first = m_accountText1;
        second = m_accountText2;
    }
    m_view.ShowAccountTexts(first, second);
}

void CzeloraTALKDlg::OnRefreshDisplay(std::intptr_t wParam)
{
    ZLOG_SCOPE();
    if (wParam == kNetworkLost) {
        // The signed-out look, whatever panel is shown.
        RepaintDisplay();
        return;
    }
    std::string callerId;
    if (m_web->TakeCallerLine(callerId)) {
        bool forThisCall;
        {
            std::lock_guard<std::mutex> guard(m_fields);
            forThisCall = m_callerLineCid != 0;
        }
        // A reply that arrives after its call ended must not mark the next one.
        if (forThisCall && GetCallState() != MXSPCore::CALL_IDLE)
            m_display.SetCallerID(callerId);
    }
    if (GetPanel() == CzeloraTALKView::PANEL_CALL)
        RepaintDisplay();
}

void CzeloraTALKDlg::OnReLogin()
{
    ZLOG_SCOPE();
    static std::atomic<bool> showing{false};
    if (showing.exchange(true))
        return;
    m_view.MessageBox("Invalid Username/Password", CzeloraTALKView::ICON_ERROR);
    SwitchPanel(CzeloraTALKView::PANEL_LOGIN);
    showing = false;
}

void CzeloraTALKDlg::OnShowSipMsg(const std::string& text)
{
    ZLOG_SCOPE();
    static std::atomic<bool> showing{false};
    if (showing.exchange(true))
        return;
    std::string shown = text;
    if (shown.empty()) {
        std::lock_guard<std::mutex> guard(m_fields);
        shown = m_pendingText;
    }
    m_view.MessageBox(shown, CzeloraTALKView::ICON_INFORMATION);
    showing = false;
}

void CzeloraTALKDlg::OnMsgSignInChanged(const zelora::Message& message)
{
    for (const SignInObserver& observer : m_signInObservers)
        observer(message.wParam != 0);
}
