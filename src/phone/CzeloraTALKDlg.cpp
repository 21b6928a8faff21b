// The main phone window's life: construction, shared fields and small utilities, start-up, shut-down and
// its worker thread. The session events, the window messages, the sign-in and the call flow are
// handled in files of their own (CzeloraTALKDlg*.cpp).
#include "phone/CzeloraTALKDlg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/CLogger.h"
#include "session/sdp/CMXSdpNegotiator.h"
#include "app/CSettings.h"
#include "phone/PhoneText.h"

namespace {

constexpr const char* kFatalRegistry =
    "Unable to read settings from registry. Please contact your system administrator";

using phonetext::EqualsNoCase;
using phonetext::Trim;

std::string Format(const char* format, int value)
{
    char text[300];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string WithEngineError(const std::string& text, int engineError)
{
    char out[400];
    std::snprintf(out, sizeof out, "%s [%d]", text.c_str(), engineError);
    return out;
}

} // namespace

CzeloraTALKDlg::CzeloraTALKDlg(CzeloraTALKView& view, CPhoneAudio& audio, CSettings& settings,
                               DeploymentValues deployment, Options options)
    : m_view(view), m_audio(audio), m_settings(settings), m_deployment(std::move(deployment)),
      m_options(std::move(options)), m_web(m_options.webDuties != nullptr ? m_options.webDuties : &m_noWeb),
      m_ownerThread(std::this_thread::get_id())
{
    ZLOG_SCOPE();
    if (m_options.localAddress.empty()) {
        const char* env = std::getenv("ZELORA_LOCAL_ADDRESS");
        if (env != nullptr)
            m_options.localAddress = Trim(env);
    }
}

CzeloraTALKDlg::~CzeloraTALKDlg()
{
    ZLOG_SCOPE();
    OnDestroy();
}

void CzeloraTALKDlg::SetEventObserver(EventObserver observer) { m_observer = std::move(observer); }

void CzeloraTALKDlg::AddSignInObserver(SignInObserver observer) { m_signInObservers.push_back(std::move(observer)); }

void CzeloraTALKDlg::SetCalltoNumber(const std::string& number)
{
    std::lock_guard<std::mutex> guard(m_fields);
    m_calltoNumber = number;
    m_calltoFound = !number.empty();
    m_calltoDialled = false;
}

void CzeloraTALKDlg::SetCredentials(const std::string& userId, const std::string& password)
{
    std::lock_guard<std::mutex> guard(m_fields);
    m_userId = userId.substr(0, 255);
    m_password = password.substr(0, 255);
}

std::string CzeloraTALKDlg::GroupNumber(const std::string& number)
{
    if (number.size() < 7 || number[0] != '1')
        return number;
    return number.substr(0, 1) + "-" + number.substr(1, 3) + "-" + number.substr(4, 3) + "-" + number.substr(7);
}

bool CzeloraTALKDlg::OnOwnerThread() const { return std::this_thread::get_id() == m_ownerThread; }

void CzeloraTALKDlg::Post(unsigned msg, std::intptr_t wParam, std::string data)
{
    if (!m_queue.Post(msg, wParam, 0, std::move(data)))
        ZLOG(LOG_ERROR, "Unable to post message %u", msg);
}

void CzeloraTALKDlg::ShowBox(const std::string& text, CzeloraTALKView::Icon icon)
{
    if (icon == CzeloraTALKView::ICON_ERROR)
        ZLOG(LOG_ERROR, "%s", text.c_str());
    if (OnOwnerThread())
        m_view.MessageBox(text, icon);
    else
        Post(WM_INTERNAL_SHOW_BOX, icon, text);
}

void CzeloraTALKDlg::PostText(const std::string& text)
{
    {
        std::lock_guard<std::mutex> guard(m_fields);
        m_pendingText = text;
    }
    Post(WM_SHOW_SIP_MSG, 0, text);
}

void CzeloraTALKDlg::RepaintDisplay()
{
    if (!OnOwnerThread()) {
        Post(WM_INTERNAL_REPAINT);
        return;
    }
    CMXDisplayScreen::Lines lines;
    bool painted = m_display.Draw(lines);
    m_view.PaintDisplay(lines, painted);
}

void CzeloraTALKDlg::SetSignedIn(bool signedIn)
{
    const bool was = m_signedIn.exchange(signedIn);
    m_display.SetSignedIn(signedIn);
    // Any thread, perhaps under the core's lock: the observers hear of it on the window's thread.
    if (was != signedIn)
        Post(WM_INTERNAL_SIGNIN_CHANGED, signedIn ? 1 : 0);
}

void CzeloraTALKDlg::SwitchPanel(int panel)
{
    {
        std::lock_guard<std::mutex> guard(m_fields);
        if (panel != m_panel && m_panel != CzeloraTALKView::PANEL_LOGIN)
            m_previousPanel = m_panel;
        m_panel = panel;
    }
    m_view.SwitchPanel(panel);
}

int CzeloraTALKDlg::GetPanel() const
{
    std::lock_guard<std::mutex> guard(m_fields);
    return m_panel;
}

int CzeloraTALKDlg::GetCallState() const { return m_core != nullptr ? m_core->GetCallState() : 0; }

std::string CzeloraTALKDlg::GetDialField() const
{
    std::lock_guard<std::mutex> guard(m_fields);
    return m_dialField;
}

std::string CzeloraTALKDlg::GetLastDialed() const
{
    std::lock_guard<std::mutex> guard(m_fields);
    return m_lastDialed;
}

std::string CzeloraTALKDlg::GetUserId() const
{
    std::lock_guard<std::mutex> guard(m_fields);
    return m_userId;
}

std::string CzeloraTALKDlg::GetSubscriberNumber()
{
    std::string voipNumber, userId;
    if (m_web->VoipNumber(voipNumber, userId))
        return voipNumber;
    return GetUserId();
}

std::string CzeloraTALKDlg::GetPassword() const
{
    std::lock_guard<std::mutex> guard(m_fields);
    return m_password;
}

void CzeloraTALKDlg::SetDialField(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_fields);
    m_dialField = text.substr(0, 255);
}

std::string CzeloraTALKDlg::LocalAddress() const { return m_options.localAddress; }

std::string CzeloraTALKDlg::SoundPath(const char* file) const { return m_appPath + file; }

int CzeloraTALKDlg::InitCodec()
{
    ZLOG_SCOPE();
    std::string stored;
    if (m_settings.ReadAudioSettings(stored) < 0)
        return -1;
    // The stored list is not used: the phone always offers its own, less what this build's
    // engine cannot encode.
    std::vector<int> supported = m_audio.SupportedPayloads();
    std::string text;
    std::string all = kCodecText;
    std::size_t start = 0;
    for (std::size_t comma = all.find(','); comma != std::string::npos; comma = all.find(',', start)) {
        std::string token = all.substr(start, comma - start);
        start = comma + 1;
        int payload = std::atoi(token.c_str());
        if (std::find(supported.begin(), supported.end(), payload) != supported.end())
            text += token + ",";
    }
    m_codecCount = CMXSdpNegotiator::BuildCodecList(text, m_codecs, MAX_CODEC_COUNT);
    if (m_codecCount <= 0) {
        ZLOG(LOG_ERROR, "Init Codec is failed");
        return -2;
    }
    return m_codecCount;
}

void CzeloraTALKDlg::InitSoundEngine(int& result)
{
    ZLOG_SCOPE();
    result = m_audio.StartSoundEngine();
    if (result < 0) {
        std::string text = WithEngineError(Format("Unable to Start Sound Engine %d", result), m_audio.GetLastError());
        ShowBox(text, CzeloraTALKView::ICON_ERROR);
        return;
    }
    int speaker = m_audio.GetSpeakerVolume();
    int mic = m_audio.GetMicVolume();
    if (mic >= 0)
        m_audio.SetMicVolume(mic);
    m_view.SetSliders(std::clamp(speaker, 0, 255), std::clamp(mic, 0, 255));
}

void CzeloraTALKDlg::ShowAudioError(int result)
{
    std::string text = WithEngineError(Format("Critical Error, %d", std::abs(result)), m_audio.GetLastError());
    ShowBox(text, CzeloraTALKView::ICON_ERROR);
}

int CzeloraTALKDlg::Fatal(const std::string& text, const char* logText)
{
    ZLOG(LOG_ERROR, "%s", logText != nullptr ? logText : text.c_str());
    m_view.MessageBox(text, CzeloraTALKView::ICON_ERROR);
    return -1;
}

int CzeloraTALKDlg::OnInitDialog()
{
    ZLOG_SCOPE();
    m_ownerThread = std::this_thread::get_id();
    m_view.SetTitle("zeloraTALK");
    // A fresh profile gets every default here: one write for all of them, not one each.
    CSettings::Batch defaults(m_settings);
    ReadServerSettings();
    ReadAppPath();
    if (InitCodec() == -1)
        return Fatal(kFatalRegistry, nullptr);
    if (StartSessionCore(ReadProxySettings()) < 0)
        return -1;
    int sound = 0;
    InitSoundEngine(sound);
    if (sound < 0)
        return Fatal("Unable to start voice system. Please contact your system administrator", nullptr);
    bool autoLogin = false;
    if (LoadAccount(autoLogin) < 0)
        return -1;
    if (StartWorker() < 0)
        return -1;
    if (!m_useTunnel) {
        if (std::optional<bool> reachable = m_web->CheckConnectivity())
            m_internetReachable = *reachable;
    }
    SwitchPanel(autoLogin ? CzeloraTALKView::PANEL_DIALPAD : CzeloraTALKView::PANEL_LOGIN);
    m_web->OnWindowCreated();
    return 0;
}

void CzeloraTALKDlg::ReadServerSettings()
{
    ZLOG_SCOPE();
    // SIP server: only the operator's three names are accepted; the port is always 5060.
    std::string address = m_deployment.sipDefaultServer, port = kSipPort;
    if (m_settings.ReadServer(address, port) < 0)
        address = m_deployment.sipDefaultServer;
    address = Trim(address);
    if (!EqualsNoCase(address, m_deployment.sipDefaultServer) && !EqualsNoCase(address, m_deployment.sipOtherServer1) &&
        !EqualsNoCase(address, m_deployment.sipOtherServer2))
        address = m_deployment.sipDefaultServer;
    m_serverAddress = address;
    m_serverPort = kSipPort;
}

void CzeloraTALKDlg::ReadAppPath()
{
    ZLOG_SCOPE();
    if (m_settings.ReadAppPath(m_appPath) < 0)
        m_appPath = m_settings.ProgramFolder();
    if (!m_appPath.empty() && m_appPath.back() != '/')
        m_appPath += '/';
}

CSettingsHttpProxy CzeloraTALKDlg::ReadProxySettings()
{
    ZLOG_SCOPE();
    CSettingsHttpProxy proxy;
    proxy.httpTunnelIp = m_deployment.tunnelServer;
    if (m_settings.ReadHttpProxy(proxy) < 0) {
        ZLOG(LOG_ERROR, "Unable to Read Http Proxy Info");
        m_view.MessageBox("Unable to read HTTP proxy settings", CzeloraTALKView::ICON_ERROR);
        proxy = CSettingsHttpProxy{};
        proxy.httpTunnelIp = m_deployment.tunnelServer;
    }
    if (proxy.httpTunnelIp.empty())
        proxy.httpTunnelIp = m_deployment.tunnelServer;
    m_useTunnel = proxy.httpUseTunnel == CConnectionChooser::MODE_TUNNEL;
    if (proxy.httpUseTunnel == CConnectionChooser::MODE_AUTO) {
        std::lock_guard<std::mutex> guard(m_chooserLock);
        m_chooser = std::make_unique<CConnectionChooser>(proxy.httpUseProxy == 1 && !proxy.httpProxyIp.empty(),
                                                         proxy.lastConnection);
    }
    m_proxy = proxy;
    return proxy;
}

int CzeloraTALKDlg::StartSessionCore(const CSettingsHttpProxy& proxy)
{
    ZLOG_SCOPE();
    MXSPCore::Options coreOptions;
    coreOptions.factory = m_options.protocolFactory;
    coreOptions.startKeepAliveThread = m_options.startThreads;
    // A registrar that leaves a REGISTER unanswered this long is unreachable, as for the
    // automatic choice; the check that it still knows us is the operator's to tune.
    coreOptions.recovery.answerTimeout =
        std::chrono::duration_cast<std::chrono::seconds>(CConnectionChooser::kAnswerWait);
    coreOptions.recovery.bindingCheck = std::chrono::seconds(m_deployment.registrarCheck);
    // Called under the core's lock: only posted here.
    coreOptions.recoveryStatus = [this](const std::string& text) { Post(WM_INTERNAL_RECOVERY_STATUS, 0, text); };
    m_core = std::make_unique<MXSPCore>(m_serverAddress.c_str(), m_serverAddress.c_str(), m_serverPort.c_str(),
                                        &CzeloraTALKDlg::SessionCallBack, this, m_codecs, m_codecCount, kUserAgent, 0,
                                        coreOptions);
    if (m_chooser != nullptr)
        return StartChosenConnection();
    if (!m_useTunnel) {
        if (m_core->StartSipStack(nullptr) < 0)
            return Fatal("Unable to start sip stack. Please contact your system administrator", nullptr);
        return 0;
    }
    // A tunnel that cannot connect leaves the window usable (its settings can be changed).
    std::string local = LocalAddress();
    if (m_core->StartTunnel(proxy.httpProxyPort, proxy.httpProxyIp.c_str(), proxy.httpUseProxy,
                            proxy.httpTunnelIp.c_str(), nullptr, local.empty() ? nullptr : local.c_str()) < 0) {
        m_view.MessageBox("zeloraTALK is unable to connect to the network. Please check your proxy settings",
                          CzeloraTALKView::ICON_ERROR);
        SetSignedIn(false);
    }
    return 0;
}

int CzeloraTALKDlg::LoadAccount(bool& autoLogin)
{
    ZLOG_SCOPE();
    CSettingsAccount account;
    int read = m_settings.ReadAccount(account);
    if (read == CSettings::kDecryptFailed)
        return Fatal("Unable to decrypt password", "Unable to Decrypt Password");
    if (read < 0)
        return Fatal(kFatalRegistry, nullptr);
    SetCredentials(account.userId, account.password);
    autoLogin = account.autoLogin == 1 && account.rememberMe == 1;
    if (autoLogin)
        OnSendRegister();
    else
        m_view.RefreshControls(false, GetDialField());
    return 0;
}

int CzeloraTALKDlg::StartWorker()
{
    ZLOG_SCOPE();
    if (!m_options.startThreads)
        return 0;
    try {
        m_stopped = false;
        m_worker = std::thread(&CzeloraTALKDlg::WorkerThreadProc, this);
    } catch (const std::exception&) {
        m_stopped = true;
        return Fatal("Unable to start thread. Please contact your system administrator", "CreateThread failed");
    }
    return 0;
}

void CzeloraTALKDlg::OnDestroy()
{
    ZLOG_SCOPE();
    if (m_destroyed)
        return;
    m_destroyed = true;
    m_stop.Set();
    if (m_worker.joinable())
        m_worker.join();
    StopConnectionChoice();
    m_core.reset();
    m_audio.Terminate();
    m_queue.Close();
}

void CzeloraTALKDlg::WorkerThreadProc()
{
    ZLOG_SCOPE();
    if (!m_stop.Wait(1000)) {
        while (!m_stop.IsSet()) {
            WorkerPass();
            if (m_stop.Wait(1000))
                break;
            ZLOG_AS(LOG_DEBUG, "CzeloraTALKDlg::CzeloraTALKDlgThreadProc", "Thread .....wakeup");
        }
    }
    m_stopped = true;
}

void CzeloraTALKDlg::WorkerPass()
{
    ++m_workerPass;
    if (GetCallState() == MXSPCore::CALL_CONNECTED) {
        m_display.UpdateCallDuration();
        if (GetPanel() == CzeloraTALKView::PANEL_CALL)
            Post(WM_INTERNAL_REPAINT);
    }
    // The check reads what the probe of earlier passes found, before this pass starts a new one.
    if (!m_useTunnel && m_workerPass % 20 == 0) {
        std::optional<bool> reachable = m_web->CheckConnectivity();
        if (reachable.has_value()) {
            if (*reachable) {
                m_internetReachable = true;
                m_connectivityFailures = 0;
            } else {
                ZLOG_AS(LOG_ERROR, "CzeloraTALKDlg::CzeloraTALKDlgThreadProc", "Internet request error.");
                if (++m_connectivityFailures >= 5) {
                    if (IsSignedIn() && GetCallState() != MXSPCore::CALL_IDLE)
                        Post(WM_INTERNAL_HANGUP);
                    m_internetReachable = false;
                    SetSignedIn(false);
                    Post(WM_REFRESH_CONTROLS);
                    Post(WM_REFRESH_DISPLAY);
                    m_connectivityFailures = 0;
                }
            }
        }
    }
    m_web->WorkerPass(m_workerPass, IsSignedIn());
}
