// The automatic connection choice: SIP over UDP, the tunnel, the tunnel through the proxy, in
// the order CConnectionChooser gives; the way that signed in is remembered for the next start.
#include "phone/CzeloraTALKDlg.h"

#include "app/CLogger.h"

int CzeloraTALKDlg::StartWay(CConnectionChooser::Way way)
{
    ZLOG_SCOPE();
    ZLOG(LOG_INFO, "Connecting by %s", CConnectionChooser::Name(way));
    m_useTunnel = CConnectionChooser::IsTunnel(way);
    if (!m_useTunnel)
        return m_core->StartSipStack(nullptr);
    std::string local = LocalAddress();
    int useProxy = way == CConnectionChooser::WAY_TUNNEL_PROXY ? 1 : 0;
    return m_core->StartTunnel(m_proxy.httpProxyPort, m_proxy.httpProxyIp.c_str(), useProxy,
                               m_proxy.httpTunnelIp.c_str(), nullptr, local.empty() ? nullptr : local.c_str());
}

// A way that cannot even start (no tunnel server) gives way to the next at once.
int CzeloraTALKDlg::StartChosenConnection()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_chooserLock);
    while (StartWay(m_chooser->Current()) < 0) {
        ZLOG(LOG_ERROR, "Unable to start %s", CConnectionChooser::Name(m_chooser->Current()));
        if (!m_chooser->Advance()) {
            m_view.MessageBox("zeloraTALK is unable to connect to the network. Please check your proxy settings",
                              CzeloraTALKView::ICON_ERROR);
            SetSignedIn(false);
            return 0;
        }
    }
    return 0;
}

void CzeloraTALKDlg::ArmConnectionFallback()
{
    ZLOG_SCOPE();
    if (m_chooser == nullptr)
        return;
    if (!m_answerTimer.Arm(CConnectionChooser::kAnswerWait))
        ZLOG(LOG_ERROR, "No fallback to the next way of connecting");
}

void CzeloraTALKDlg::OnMsgNextConnection(const zelora::Message&)
{
    ZLOG_SCOPE();
    if (m_chooser == nullptr || m_core == nullptr || IsSignedIn() || m_core->IsRegistered())
        return;
    {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        ZLOG(LOG_INFO, "No answer by %s within %d ms", CConnectionChooser::Name(m_chooser->Current()),
             static_cast<int>(CConnectionChooser::kAnswerWait.count()));
        bool started = false;
        while (!started && m_chooser->Advance())
            started = StartWay(m_chooser->Current()) >= 0;
        if (!started) {
            ZLOG(LOG_ERROR, "No way of connecting is left to try");
            return;
        }
    }
    OnSendRegister();
}

void CzeloraTALKDlg::OnMsgConnectionWorked(const zelora::Message&)
{
    ZLOG_SCOPE();
    int way = CConnectionChooser::WAY_NONE;
    {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        if (m_chooser == nullptr || !m_chooser->Succeeded())
            return;
        way = m_chooser->Current();
    }
    ZLOG(LOG_INFO, "Signed in by %s: tried first at the next start",
         CConnectionChooser::Name(static_cast<CConnectionChooser::Way>(way)));
    CSettingsHttpProxy stored;
    if (m_settings.ReadHttpProxy(stored) < 0) {
        ZLOG(LOG_ERROR, "Unable to read the connection settings; the way is not remembered");
        return;
    }
    stored.lastConnection = way;
    if (m_settings.WriteHttpProxy(stored) < 0)
        ZLOG(LOG_ERROR, "Unable to remember the way of connecting");
}
