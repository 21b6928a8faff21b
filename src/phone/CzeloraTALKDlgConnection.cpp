// The automatic connection choice: SIP over UDP, the tunnel, the tunnel through the proxy, in
// the order CConnectionChooser gives; the way that signed in is remembered for the next start.
// Protocols are only ever swapped on the window's thread, never under the core's lock.
#include "phone/CzeloraTALKDlg.h"

#include "app/CLogger.h"

int CzeloraTALKDlg::StartWay(CConnectionChooser::Way way)
{
    ZLOG_SCOPE();
    ZLOG(LOG_INFO, "Connecting by %s", CConnectionChooser::Name(way));
    int result = 0;
    if (!CConnectionChooser::IsTunnel(way)) {
        result = m_core->StartSipStack(nullptr);
    } else {
        std::string local = LocalAddress();
        int useProxy = way == CConnectionChooser::WAY_TUNNEL_PROXY ? 1 : 0;
        result = m_core->StartTunnel(m_proxy.httpProxyPort, m_proxy.httpProxyIp.c_str(), useProxy,
                                     m_proxy.httpTunnelIp.c_str(), nullptr, local.empty() ? nullptr : local.c_str());
    }
    if (result < 0)
        ZLOG(LOG_ERROR, "Unable to start %s", CConnectionChooser::Name(way));
    else
        m_useTunnel = CConnectionChooser::IsTunnel(way);
    return result;
}

// At start-up a way that cannot even start (no tunnel server) gives way to the next at once.
int CzeloraTALKDlg::StartChosenConnection()
{
    ZLOG_SCOPE();
    CConnectionChooser::Way way = CConnectionChooser::WAY_NONE;
    {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        way = m_chooser->Current();
    }
    while (StartWay(way) < 0) {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        if (!m_chooser->Advance()) {
            m_view.MessageBox("zeloraTALK is unable to connect to the network. Please check your proxy settings",
                              CzeloraTALKView::ICON_ERROR);
            SetSignedIn(false);
            return 0;
        }
        way = m_chooser->Current();
    }
    return 0;
}

// May run under the core's lock (an account switch after its logout): only the timer is armed.
void CzeloraTALKDlg::ArmConnectionFallback(bool nextWay)
{
    ZLOG_SCOPE();
    if (m_chooser == nullptr)
        return;
    if (!nextWay) {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        m_chooser->BeginSignIn();
    }
    ++m_choiceGeneration;
    m_choosing = true;
    if (!m_answerTimer.Arm(CConnectionChooser::kAnswerWait))
        ZLOG(LOG_ERROR, "No fallback to the next way of connecting");
}

void CzeloraTALKDlg::StopConnectionChoice()
{
    m_choosing = false;
    m_answerTimer.Cancel();
}

void CzeloraTALKDlg::OnMsgNextConnection(const zelora::Message& message)
{
    ZLOG_SCOPE();
    // A sign-out, an answer or a newer sign-in since the fallback was posted: nothing to do.
    if (m_chooser == nullptr || m_core == nullptr || !m_choosing || message.wParam != m_choiceGeneration.load() ||
        m_core->IsRegistered())
        return;
    const bool timedOut = message.data == kChoiceTimedOut;
    {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        ZLOG(LOG_INFO, "No answer by %s %s", CConnectionChooser::Name(m_chooser->Current()),
             timedOut ? "before its time-out" : "within the answer wait");
    }
    bool started = false;
    for (;;) {
        CConnectionChooser::Way way = CConnectionChooser::WAY_NONE;
        {
            std::lock_guard<std::mutex> guard(m_chooserLock);
            if (!m_chooser->Advance())
                break;
            way = m_chooser->Current();
        }
        if (StartWay(way) >= 0) {
            started = true;
            break;
        }
    }
    if (!started) {
        // The last way keeps trying; its own outcome reaches the user as without the choice.
        m_choosing = false;
        if (timedOut)
            ShowRegistrationTimeout();
        return;
    }
    SendRegister(true);
}

void CzeloraTALKDlg::OnMsgConnectionWorked(const zelora::Message&)
{
    ZLOG_SCOPE();
    CConnectionChooser::Way way = CConnectionChooser::WAY_NONE;
    {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        if (m_chooser == nullptr || !m_chooser->Succeeded())
            return;
        way = m_chooser->Current();
    }
    ZLOG(LOG_INFO, "Signed in by %s: tried first at the next start", CConnectionChooser::Name(way));
    // Read again so that settings stored meanwhile by the settings window are kept.
    CSettingsHttpProxy stored;
    if (m_settings.ReadHttpProxy(stored) < 0) {
        ZLOG(LOG_ERROR, "Unable to read the connection settings; the way is not remembered");
        return;
    }
    stored.lastConnection = way;
    if (m_settings.WriteHttpProxy(stored) < 0)
        ZLOG(LOG_ERROR, "Unable to remember the way of connecting");
}
