#include "phone/CzeloraTALKDlg.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/CLogger.h"
#include "session/sdp/CMXSdpNegotiator.h"
#include "app/CSettings.h"
#include "phone/PhoneText.h"

namespace {

constexpr const char* kFatalRegistry = "Unable to read settings from registry. Please contact your system administrator";

using phonetext::EqualsNoCase;
using phonetext::Trim;

// Key codes of the audio engine: digits 0-9, "*" 10, "#" 11; -1 for keys without a tone.
int KeyCode(char key)
{
    if (key >= '0' && key <= '9')
        return key - '0';
    if (key == '*')
        return 10;
    if (key == '#')
        return 11;
    return -1;
}

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

bool CzeloraTALKDlg::ParseCallto(const std::string& parameter, std::string& number)
{
    std::string text = Trim(parameter);
    std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    if (!EqualsNoCase(Trim(text.substr(0, colon)), "callto"))
        return false;
    std::string rest = text.substr(colon + 1);
    std::size_t next = rest.find(':');
    number = Trim(next == std::string::npos ? rest : rest.substr(0, next));
    return true;
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
    m_signedIn = signedIn;
    m_display.SetSignedIn(signedIn);
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

int CzeloraTALKDlg::OnInitDialog()
{
    ZLOG_SCOPE();
    m_ownerThread = std::this_thread::get_id();
    auto fatal = [this](const std::string& text, const char* logText) {
        ZLOG(LOG_ERROR, "%s", logText != nullptr ? logText : text.c_str());
        m_view.MessageBox(text, CzeloraTALKView::ICON_ERROR);
        return -1;
    };
    m_view.SetTitle("zeloraTALK");

    // SIP server: only the operator's three names are accepted; the port is always 5060.
    std::string address = m_deployment.sipDefaultServer, port = kSipPort;
    if (m_settings.ReadServer(address, port) < 0)
        address = m_deployment.sipDefaultServer;
    port = Trim(port);
    if (port.empty())
        port = kSipPort;
    port = kSipPort;
    address = Trim(address);
    if (!EqualsNoCase(address, m_deployment.sipDefaultServer) && !EqualsNoCase(address, m_deployment.sipOtherServer1) &&
        !EqualsNoCase(address, m_deployment.sipOtherServer2))
        address = m_deployment.sipDefaultServer;
    m_serverAddress = address;
    m_serverPort = port;

    if (m_settings.ReadAppPath(m_appPath) < 0)
        m_appPath = m_settings.ProgramFolder();
    if (!m_appPath.empty() && m_appPath.back() != '/')
        m_appPath += '/';

    int codecs = InitCodec();
    if (codecs == -1)
        return fatal(kFatalRegistry, nullptr);

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
    m_useTunnel = proxy.httpUseTunnel == 1;

    MXSPCore::Options coreOptions;
    coreOptions.factory = m_options.protocolFactory;
    coreOptions.startKeepAliveThread = m_options.startThreads;
    m_core = std::make_unique<MXSPCore>(m_serverAddress.c_str(), m_serverAddress.c_str(), m_serverPort.c_str(),
                                        &CzeloraTALKDlg::SessionCallBack, this, m_codecs, m_codecCount, kUserAgent,
                                        0, coreOptions);

    std::string local = LocalAddress();
    if (m_useTunnel) {
        if (m_core->StartTunnel(proxy.httpProxyPort, proxy.httpProxyIp.c_str(), proxy.httpUseProxy,
                                proxy.httpTunnelIp.c_str(), nullptr, local.empty() ? nullptr : local.c_str()) < 0) {
            m_view.MessageBox("zeloraTALK is unable to connect to the network. Please check your proxy settings",
                              CzeloraTALKView::ICON_ERROR);
            SetSignedIn(false);
        }
    } else if (m_core->StartSipStack(nullptr) < 0) {
        return fatal("Unable to start sip stack. Please contact your system administrator", nullptr);
    }

    int sound = 0;
    InitSoundEngine(sound);
    if (sound < 0)
        return fatal("Unable to start voice system. Please contact your system administrator", nullptr);

    CSettingsAccount account;
    int read = m_settings.ReadAccount(account);
    if (read == CSettings::kDecryptFailed)
        return fatal("Unable to decrypt password", "Unable to Decrypt Password");
    if (read < 0)
        return fatal(kFatalRegistry, nullptr);
    SetCredentials(account.userId, account.password);

    bool autoLogin = account.autoLogin == 1 && account.rememberMe == 1;
    if (autoLogin) {
        OnSendRegister();
    } else {
        m_view.RefreshControls(false, GetDialField());
    }

    if (m_options.startThreads) {
        try {
            m_stopped = false;
            m_worker = std::thread(&CzeloraTALKDlg::WorkerThreadProc, this);
        } catch (const std::exception&) {
            m_stopped = true;
            return fatal("Unable to start thread. Please contact your system administrator", "CreateThread failed");
        }
    }

    if (!m_useTunnel) {
        if (std::optional<bool> reachable = m_web->CheckConnectivity())
            m_internetReachable = *reachable;
    }
    SwitchPanel(autoLogin ? CzeloraTALKView::PANEL_DIALPAD : CzeloraTALKView::PANEL_LOGIN);
    m_web->OnWindowCreated();
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
    m_web->WorkerPass(m_workerPass, IsSignedIn());
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
}

std::size_t CzeloraTALKDlg::DrainMessages()
{
    return m_queue.Drain([this](const zelora::Message& message) { OnMessage(message); });
}

void CzeloraTALKDlg::OnMessage(const zelora::Message& message)
{
    switch (message.msg) {
    case WM_CLOSE_APP:
        OnClose();
        break;
    case WM_RELOGIN:
        OnReLogin();
        break;
    case WM_DIAL_FROM_WEB:
        OnDialFromWeb();
        break;
    case WM_SHOW_SIP_MSG:
        OnShowSipMsg(message.data);
        break;
    case WM_REQ_BALANCE:
        m_web->RequestBalance();
        break;
    case WM_SHOW_BUTTONS:
        m_view.ShowSignedInButtons();
        break;
    case WM_FLASH_WINDOW:
        m_view.FlashWindow();
        break;
    case WM_REQ_VOIP_NUMBER:
        m_web->RequestVoipNumber();
        break;
    case WM_ADS_REQUEST:
        m_web->RequestAds();
        break;
    case WM_REQ_CLI: {
        int cid = 0;
        std::string user;
        {
            std::lock_guard<std::mutex> guard(m_fields);
            cid = m_callerLineCid;
            user = m_callerLineUser;
        }
        m_web->RequestCallerLine(cid, user);
        break;
    }
    case WM_REFRESH_CONTROLS: {
        m_view.RefreshControls(IsSignedIn(), GetDialField());
        std::string voipNumber, userId;
        if (m_web->VoipNumber(voipNumber, userId))
            m_view.ShowVoipNumber(voipNumber, userId);
        break;
    }
    case WM_SHOW_ACCOUNT_TEXTS:
        OnShowAccountTexts(message.wParam);
        break;
    case WM_REFRESH_DISPLAY:
        OnRefreshDisplay(message.wParam);
        break;
    case WM_SHOW_COUNTER:
        m_view.ShowCounter(static_cast<int>(message.wParam));
        if (!message.data.empty())
            m_view.ShowSmsNotice(message.data);
        break;
    case WM_SWITCH_PANEL:
        SwitchPanel(static_cast<int>(message.wParam));
        break;
    case WM_RESTORE_PANEL:
        if (IsSignedIn()) {
            int previous;
            {
                std::lock_guard<std::mutex> guard(m_fields);
                previous = m_previousPanel;
            }
            SwitchPanel(previous);
        }
        break;
    case WM_PLAY_PRESENCE_SOUND:
        if (!message.data.empty() && m_audio.PlayFile(message.data.c_str(), CPhoneAudio::PLAY_ONCE) < 0)
            ShowAudioError(-1);
        break;
    case zelora::WM_COPYDATA:
        OnCopyData(message.data);
        break;
    case WM_INTERNAL_SHOW_BOX:
        m_view.MessageBox(message.data, static_cast<CzeloraTALKView::Icon>(message.wParam));
        break;
    case WM_INTERNAL_REPAINT:
        RepaintDisplay();
        break;
    case WM_INTERNAL_OPEN_NOTIFIER:
        m_view.OpenNotifier(message.data);
        break;
    case WM_INTERNAL_CLOSE_NOTIFIER:
        m_view.CloseNotifier();
        break;
    case WM_INTERNAL_HANGUP:
        OnBnClickedButtonHangup();
        break;
    case WM_INTERNAL_NETWORK_LOST:
        m_internetReachable = false;
        SetSignedIn(false);
        m_view.RefreshControls(false, GetDialField());
        break;
    case WM_INTERNAL_ASK_NEW_VERSION:
        if (m_view.AskYesNo(message.data)) {
            std::string link = m_web->DownloadLink();
            if (!link.empty())
                m_view.OpenLink(link);
        }
        break;
    default:
        break;
    }
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

    switch (status) {
    case MXSS_STATUS_REGISTRATION_SUCCESSFUL: {
        if (!IsSignedIn()) {
            m_web->ReloadAddressBook();
            SetSignedIn(true);
            Post(WM_REFRESH_CONTROLS);
            m_display.Reset("");
            m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
            m_display.SetUserName("");
            m_display.SetDialedNumber("");
            m_display.SetCallerID("");
            Post(WM_REFRESH_DISPLAY);
            Post(WM_SHOW_BUTTONS);
        }
        m_web->OnSignedIn();
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
        break;
    }
    case MXSS_STATUS_REGISTRATION_FAILURE:
        if (m_regFailCount >= 2) {
            Post(WM_RELOGIN);
            m_regFailCount = 0;
        } else {
            ++m_regFailCount;
        }
        break;
    case MXSS_STATUS_REGISTRATION_TIMEOUT: {
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
        break;
    }
    case MXSS_STATUS_INCOMING_CALL: {
        if (record == nullptr)
            break;
        std::string ringTone;
        m_settings.ReadRingTone(ringTone);
        PlayRing(ringTone);
        std::string caller = record->fromUserName;
        std::string notifierText;
        m_display.SetUserName("Incoming Call");
        if (caller.empty()) {
            m_display.SetDialedNumber("XXXXXXXX");
            SetDialField("XXXXXXXX");
            notifierText = "XXXXXXXX";
        } else {
            bool request = false;
            {
                std::lock_guard<std::mutex> guard(m_fields);
                if (m_callerLineCid == 0) {
                    m_callerLineCid = record->cid;
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
                notifierText = name;
            } else {
                m_display.SetNumberType(0);
                m_display.SetDialedNumber(GroupNumber(caller));
                notifierText = GroupNumber(caller);
            }
        }
        m_display.SetCallType(CMXDisplayScreen::CALLTYPE_INCOMING);
        Post(WM_REFRESH_DISPLAY);
        Post(WM_SWITCH_PANEL, CzeloraTALKView::PANEL_CALL);
        Post(WM_REFRESH_DISPLAY);
        Post(WM_INTERNAL_OPEN_NOTIFIER, 0, notifierText);
        break;
    }
    case MXSS_STATUS_CALL_NOANSWER:
        StopCall();
        break;
    case MXSS_STATUS_CALL_PROCEEDING:
        if (GetCallState() == MXSPCore::CALL_CONNECTED && !m_web->BalanceKnown())
            Post(WM_REQ_BALANCE);
        break;
    case MXSS_STATUS_CALL_RINGING:
        if (record == nullptr)
            break;
        if (record->statusCode == 183 && record->codecName[0] != '\0') {
            if (!m_earlyMediaStarted.exchange(true))
                StartEarlyMedia(*record);
        } else if (!m_earlyMediaStarted) {
            PlayRing(SoundPath("ringout.wav"));
        }
        break;
    case MXSS_STATUS_OUTGOING_CALL_ANSWERED:
    case MXSS_STATUS_CALL_ACK:
        if (record != nullptr)
            StartCall(*record);
        break;
    case MXSS_STATUS_CALL_REQUESTFAILURE: {
        StopCall();
        if (record == nullptr || record->responseMessage[0] == '\0') {
            PostText("Call request failure");
        } else if (record->statusCode != 487) {
            PostText(record->statusCode == 486 ? "User busy, please try later" : record->responseMessage);
        }
        break;
    }
    case MXSS_STATUS_CALL_REDIRECTED:
    case MXSS_STATUS_CALL_SERVERFAILURE:
    case MXSS_STATUS_CALL_GLOBALFAILURE:
    case MXSS_STATUS_CALL_CANCELLED:
    case MXSS_STATUS_CALL_TIMEOUT:
        StopCall();
        PostText("Your call cannot be connected at this moment");
        break;
    case MXSS_STATUS_CALL_CLOSED:
        StopCall();
        m_callEnded = true;
        if (!m_web->BalanceKnown())
            Post(WM_REQ_BALANCE);
        break;
    case MXSS_STATUS_CALL_RELEASED:
    case MXSS_STATUS_CALL_MESSAGE_REQUESTFAILURE:
        if (m_closeAfterCall.exchange(false))
            Post(WM_CLOSE_APP);
        break;
    case MXSS_STATUS_LOGOUT:
        StopCall();
        SetSignedIn(false);
        Post(WM_REFRESH_CONTROLS);
        m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
        Post(WM_REFRESH_DISPLAY);
        if (m_reRegisterPending.exchange(false))
            OnSendRegister();
        break;
    default:
        break;
    }
    return 1;
}

void CzeloraTALKDlg::OnSendRegister()
{
    ZLOG_SCOPE();
    m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
    {
        std::lock_guard<std::mutex> guard(m_fields);
        m_lastDialed.clear();
        m_dialField.clear();
        m_accountText1.clear();
        m_accountText2.clear();
    }
    // Signed out before the request goes: its success may arrive on the protocol's thread
    // before Register even returns, and must not be undone afterwards.
    SetSignedIn(false);
    std::string user = GetUserId(), password = GetPassword();
    if (m_core != nullptr)
        m_core->Register(user.c_str(), user.c_str(), password.c_str(), kRegisterExpiry);
    Post(WM_REFRESH_CONTROLS);
    Post(WM_SHOW_ACCOUNT_TEXTS, kOwnAccountTexts);
    Post(WM_REFRESH_DISPLAY);
}

void CzeloraTALKDlg::RegisterSoftPhone(const std::string& userId, const std::string& password)
{
    ZLOG_SCOPE();
    if (GetCallState() != MXSPCore::CALL_IDLE) {
        ShowBox("Sorry can not change login status while call is in progress", CzeloraTALKView::ICON_ERROR);
        return;
    }
    if (m_inRegisterSoftPhone.exchange(true))
        return;
    std::string oldUser = GetUserId(), oldPassword = GetPassword();
    m_regFailCount = 0;
    m_reRegisterPending = false;
    SetCredentials(userId, password);
    if (!IsSignedIn()) {
        OnSendRegister();
    } else if (oldUser == userId && oldPassword == password) {
        Post(WM_RESTORE_PANEL);
    } else {
        m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
        m_reRegisterPending = true;
        RepaintDisplay();
        if (m_core != nullptr &&
            m_core->UnRegister(oldUser.c_str(), oldUser.c_str(), oldPassword.c_str(), kRegisterExpiry) < 0) {
            // The old account cannot be signed out: register the new one directly rather than
            // waiting for a logout that will never come.
            m_reRegisterPending = false;
            OnSendRegister();
        }
    }
    m_inRegisterSoftPhone = false;
}

void CzeloraTALKDlg::SignOut()
{
    ZLOG_SCOPE();
    if (GetCallState() != MXSPCore::CALL_IDLE) {
        ShowBox("Sorry can not change login status while call is in progress", CzeloraTALKView::ICON_ERROR);
        return;
    }
    m_reRegisterPending = false;
    std::string user = GetUserId(), password = GetPassword();
    SetSignedIn(false);
    if (m_core != nullptr)
        m_core->UnRegister(user.c_str(), user.c_str(), password.c_str(), kRegisterExpiry);
    Post(WM_REFRESH_CONTROLS);
    Post(WM_SWITCH_PANEL, CzeloraTALKView::PANEL_LOGIN);
}

void CzeloraTALKDlg::DialNumber() { OnBnClickedButtonCall(); }

void CzeloraTALKDlg::OnBnClickedButtonCall()
{
    ZLOG_SCOPE();
    if (!IsSignedIn()) {
        ShowBox("Please Sign In ", CzeloraTALKView::ICON_INFORMATION);
        return;
    }
    if (m_core == nullptr)
        return;
    int state = GetCallState();
    if (state == MXSPCore::CALL_IDLE) {
        std::string number = GetDialField();
        if (number.empty()) {
            ShowBox("Please enter number to dial", CzeloraTALKView::ICON_INFORMATION);
            return;
        }
        if (EqualsNoCase(number, GetUserId())) {
            SetDialField("");
            m_display.KeyDialed("");
            ShowBox("Call not allowed", CzeloraTALKView::ICON_INFORMATION);
            return;
        }
        {
            std::lock_guard<std::mutex> guard(m_fields);
            m_lastDialed = number;
        }
        std::string name;
        int type = 0;
        if (m_web->LookupContact(number, name, type)) {
            m_display.SetDialedNumber(name);
            m_display.SetNumberType(type);
        } else {
            m_display.SetDialedNumber(number);
            m_display.SetNumberType(0);
        }
        m_display.SetUserName("Calling Now");
        m_display.SetCallType(CMXDisplayScreen::CALLTYPE_OUTGOING);
        std::string user = GetUserId(), local = LocalAddress();
        int result = m_core->MakeCall(user.c_str(), number.c_str(), m_serverAddress.c_str(), m_serverPort.c_str(),
                                      local.empty() ? nullptr : local.c_str(), nullptr);
        if (result < 0) {
            ShowBox("Critical Error, 1026", CzeloraTALKView::ICON_ERROR);
            return;
        }
        m_display.SetUserName("");
        m_callEnded = false;
        if (OnOwnerThread())
            SwitchPanel(CzeloraTALKView::PANEL_CALL);
        else
            Post(WM_SWITCH_PANEL, CzeloraTALKView::PANEL_CALL);
        Post(WM_REFRESH_DISPLAY);
        m_closeAfterCall = false;
        return;
    }
    if (state == MXSPCore::CALL_INCOMING) {
        std::string local = LocalAddress();
        if (m_core->AcceptCall(local.empty() ? nullptr : local.c_str(), nullptr) < 0) {
            ShowBox("Critical Error, 1025", CzeloraTALKView::ICON_ERROR);
            return;
        }
        m_closeAfterCall = false;
        m_view.ActivateWindow();
        m_view.CloseNotifier();
    }
}

void CzeloraTALKDlg::OnBnClickedButtonHangup()
{
    ZLOG_SCOPE();
    if (!IsSignedIn() || m_core == nullptr)
        return;
    int state = GetCallState();
    if (state == MXSPCore::CALL_INCOMING) {
        m_core->RejectCall();
    } else if (state == MXSPCore::CALL_OUTGOING || state == MXSPCore::CALL_CONNECTED) {
        if (m_core->HangUpCall() < 0)
            ZLOG(LOG_ERROR, "Unable to hangup call");
        if (GetCallState() == MXSPCore::CALL_CONNECTED && !m_web->BalanceKnown())
            Post(WM_REQ_BALANCE);
    }
    StopCall();
}

void CzeloraTALKDlg::StopCall()
{
    ZLOG_SCOPE();
    m_earlyMediaStarted = false;
    {
        std::lock_guard<std::mutex> guard(m_fields);
        m_callerLineCid = 0;
        m_callerLineUser.clear();
        m_dialField.clear();
    }
    m_regFailCount = 0;
    m_display.SetNumberType(0);
    m_display.SetUserName("");
    m_display.SetCallerID("");
    m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
    m_display.SetDialedNumber("");
    m_display.DisplayCodec("");
    // The clock starts from zero on the next call.
    m_display.Reset("");
    RepaintDisplay();
    if (OnOwnerThread())
        m_view.CloseNotifier();
    else
        Post(WM_INTERNAL_CLOSE_NOTIFIER);
    StopRing();
    m_audio.StopVoiceCall();
}

void CzeloraTALKDlg::StopRing()
{
    ZLOG_SCOPE();
    m_audio.StopPlayFile();
}

void CzeloraTALKDlg::ShowAudioError(int result)
{
    std::string text = WithEngineError(Format("Critical Error, %d", std::abs(result)), m_audio.GetLastError());
    ShowBox(text, CzeloraTALKView::ICON_ERROR);
}

void CzeloraTALKDlg::PlayRing(const std::string& path)
{
    int result = m_audio.PlayFile(path.c_str(), CPhoneAudio::PLAY_LOOP);
    if (result < 0)
        ShowAudioError(result);
}

void CzeloraTALKDlg::StartCall(const SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    m_display.SetUserName("Connected");
    m_display.DisplayCodec(record.codecName);
    StartVoice(record);
    Post(WM_REFRESH_DISPLAY);
}

void CzeloraTALKDlg::StartVoice(const SESSION_EVENT_INFO& record)
{
    StopRing();
    m_audio.StopVoiceCall();
    int result = m_audio.StartVoiceCall(std::atoi(record.codecPayload), record.codecName, kLocalMediaPort,
                                        record.rtpIp, std::atoi(record.rtpPort));
    if (result < 0)
        ShowAudioError(result);
}

void CzeloraTALKDlg::StartEarlyMedia(const SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    StartVoice(record);
}

void CzeloraTALKDlg::OnDialKey(char key)
{
    ZLOG_SCOPE();
    if (!IsSignedIn())
        return;
    std::string field;
    {
        std::lock_guard<std::mutex> guard(m_fields);
        if (m_dialField.size() < 255)
            m_dialField += key;
        field = m_dialField;
    }
    int state = GetCallState();
    if (state == MXSPCore::CALL_IDLE)
        m_display.SetCallType(CMXDisplayScreen::CALLTYPE_OUTGOING);
    m_display.KeyDialed(field);
    int code = KeyCode(key);
    if (code >= 0) {
        int result = state == MXSPCore::CALL_CONNECTED ? m_audio.SendDTMF(code) : m_audio.PlayLocalDTMFTone(code);
        if (result < 0)
            ZLOG(LOG_ERROR, "Key tone failed %d", result);
    }
    RepaintDisplay();
}

void CzeloraTALKDlg::OnKeyboardKey(char key)
{
    ZLOG_SCOPE();
    if (key == '\r' || key == '\n') {
        if (GetCallState() != MXSPCore::CALL_IDLE)
            ShowBox("Can not dial while call in progress", CzeloraTALKView::ICON_ERROR);
        else
            OnBnClickedButtonCall();
        return;
    }
    if (key == '\b') {
        OnClearDigit();
        return;
    }
    bool letter = std::isalpha(static_cast<unsigned char>(key)) != 0;
    bool allowed = letter || (key >= '0' && key <= '9') || key == '.' || key == '-' || key == '=' || key == '*' ||
                   key == '#' || key == '+';
    if (!allowed || !IsSignedIn())
        return;
    if (letter && GetCallState() != MXSPCore::CALL_IDLE)
        return;
    OnDialKey(key);
}

void CzeloraTALKDlg::OnClearDigit()
{
    ZLOG_SCOPE();
    if (GetCallState() != MXSPCore::CALL_IDLE)
        return;
    std::string field;
    {
        std::lock_guard<std::mutex> guard(m_fields);
        if (m_dialField.empty())
            return;
        m_dialField.pop_back();
        field = m_dialField;
    }
    if (field.empty())
        m_display.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
    m_display.KeyDialed(field);
    RepaintDisplay();
}

void CzeloraTALKDlg::OnRedial()
{
    ZLOG_SCOPE();
    if (GetCallState() != MXSPCore::CALL_IDLE) {
        ShowBox("Can not dial while call in progress", CzeloraTALKView::ICON_ERROR);
        return;
    }
    if (!IsSignedIn()) {
        ShowBox("Please Sign In ", CzeloraTALKView::ICON_INFORMATION);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_fields);
        if (!m_lastDialed.empty())
            m_dialField = m_lastDialed;
    }
    DialNumber();
}

void CzeloraTALKDlg::OnSpeakerVolume(int level)
{
    ZLOG_SCOPE();
    m_audio.SetSpeakerVolume(std::clamp(level, 0, 255));
}

void CzeloraTALKDlg::OnMicVolume(int level)
{
    ZLOG_SCOPE();
    m_audio.SetMicVolume(std::clamp(level, 0, 255));
}

bool CzeloraTALKDlg::OnClose()
{
    ZLOG_SCOPE();
    if (GetCallState() != MXSPCore::CALL_IDLE) {
        if (!m_view.AskYesNo("Currently call is in progress. Do you want to close anyway?"))
            return false;
        OnBnClickedButtonHangup();
        m_closeAfterCall = true;
        return false;
    }
    m_view.CloseWindow();
    return true;
}

void CzeloraTALKDlg::OnCopyData(const std::string& block)
{
    ZLOG_SCOPE();
    if (block.size() != kCopyDataSize)
        return;
    std::size_t end = block.find('\0');
    SetDialField(block.substr(0, end == std::string::npos ? kCopyDataSize - 1 : std::min(end, kCopyDataSize - 1)));
    DialNumber();
}

void CzeloraTALKDlg::OnDialFromWeb()
{
    ZLOG_SCOPE();
    if (GetCallState() != MXSPCore::CALL_IDLE) {
        ShowBox("Call is already in progress.", CzeloraTALKView::ICON_ERROR);
        return;
    }
    std::string number;
    if (CSettings::FromFile()) {
        std::lock_guard<std::mutex> guard(m_fields);
        number = m_calltoNumber;
    } else {
        m_settings.ReadDialedFromWeb(number);
    }
    SetDialField(number);
    DialNumber();
}
