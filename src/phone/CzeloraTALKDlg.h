#pragma once
// The main phone window's behaviour: start-up, the session events, the call flow, the dial pad,
// volumes, the worker thread. The window itself stands behind CzeloraTALKView. The members are
// defined in one file per concern: CzeloraTALKDlg.cpp (life, start-up, worker),
// CzeloraTALKDlgEvents.cpp, CzeloraTALKDlgMessages.cpp, CzeloraTALKDlgSignIn.cpp, CzeloraTALKDlgCalls.cpp,
// CzeloraTALKDlgConnection.cpp (the automatic connection choice).
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/CSettings.h"
#include "phone/CAnswerTimer.h"
#include "phone/CConnectionChooser.h"
#include "phone/CMXDisplayScreen.h"
#include "phone/CPhoneAudio.h"
#include "phone/CPhoneWebDuties.h"
#include "phone/CzeloraTALKView.h"
#include "app/Deployment.h"
#include "platform/Event.h"
#include "phone/MXSPCore.h"
#include "platform/MessageQueue.h"
#include "session/SessionTypes.h"

class CzeloraTALKDlg {
public:
    // How long a close during a call waits for the call to be released before closing anyway.
    static constexpr int kCloseGraceMs = 5000;
    // Private window messages.
    static constexpr unsigned WM_TRAY_NOTIFICATION = zelora::WM_USER + 1;
    static constexpr unsigned WM_SHOW_SMS_DIALOG = zelora::WM_USER + 20;
    static constexpr unsigned WM_CLOSE_APP = zelora::WM_USER + 21;
    static constexpr unsigned WM_RELOGIN = zelora::WM_USER + 22;
    static constexpr unsigned WM_DIAL_FROM_WEB = zelora::WM_USER + 23;
    static constexpr unsigned WM_SHOW_SIP_MSG = zelora::WM_USER + 24;
    static constexpr unsigned WM_REQ_BALANCE = zelora::WM_USER + 25;
    static constexpr unsigned WM_SHOW_BUTTONS = zelora::WM_USER + 26;
    static constexpr unsigned WM_FLASH_WINDOW = zelora::WM_USER + 27;
    static constexpr unsigned WM_REQ_VOIP_NUMBER = zelora::WM_USER + 30;
    static constexpr unsigned WM_ADS_REQUEST = zelora::WM_USER + 31;
    static constexpr unsigned WM_REQ_CLI = zelora::WM_USER + 32;
    static constexpr unsigned WM_REFRESH_CONTROLS = zelora::WM_USER + 33;
    static constexpr unsigned WM_SHOW_ACCOUNT_TEXTS = zelora::WM_USER + 34;
    static constexpr unsigned WM_REFRESH_DISPLAY = zelora::WM_USER + 35;
    static constexpr unsigned WM_SHOW_COUNTER = zelora::WM_USER + 36;
    static constexpr unsigned WM_SWITCH_PANEL = zelora::WM_USER + 38;
    static constexpr unsigned WM_RESTORE_PANEL = zelora::WM_USER + 39;
    static constexpr unsigned WM_PLAY_PRESENCE_SOUND = zelora::WM_USER + 40;
    static constexpr unsigned WM_PRESENCE_ADDRESS_BOOK = zelora::WM_USER + 41;
    // Work that other threads hand to the window's thread (message boxes, repaint, notifier).
    static constexpr unsigned WM_INTERNAL_SHOW_BOX = zelora::WM_USER + 100;
    static constexpr unsigned WM_INTERNAL_REPAINT = zelora::WM_USER + 101;
    static constexpr unsigned WM_INTERNAL_OPEN_NOTIFIER = zelora::WM_USER + 102;
    static constexpr unsigned WM_INTERNAL_CLOSE_NOTIFIER = zelora::WM_USER + 103;
    static constexpr unsigned WM_INTERNAL_HANGUP = zelora::WM_USER + 104;
    // The connectivity probe failed five times: signed-out look.
    static constexpr unsigned WM_INTERNAL_NETWORK_LOST = zelora::WM_USER + 105;
    // The newer-version question (data: the question); Yes opens the download link.
    static constexpr unsigned WM_INTERNAL_ASK_NEW_VERSION = zelora::WM_USER + 106;
    // The line's recovery status changed (data: the text, "" when done).
    static constexpr unsigned WM_INTERNAL_RECOVERY_STATUS = zelora::WM_USER + 107;
    // The automatic choice: the registrar did not answer in time (next way), or it did (remember).
    static constexpr unsigned WM_INTERNAL_NEXT_CONNECTION = zelora::WM_USER + 108;
    static constexpr unsigned WM_INTERNAL_CONNECTION_WORKED = zelora::WM_USER + 109;
    // The sign-in state changed (wParam 1 signed in, 0 signed out): the observers are told.
    static constexpr unsigned WM_INTERNAL_SIGNIN_CHANGED = zelora::WM_USER + 110;
    // Registered: the address book and the web side's sign-in queries, on the window's thread.
    static constexpr unsigned WM_INTERNAL_SIGNED_IN_DUTIES = zelora::WM_USER + 111;
    // Data of WM_INTERNAL_NEXT_CONNECTION when the way's own registration timed out.
    static constexpr const char* kChoiceTimedOut = "timed out";
    // wParam of WM_SHOW_ACCOUNT_TEXTS when the window shows its own (cleared) labels rather
    // than the texts the web side received.
    static constexpr std::intptr_t kOwnAccountTexts = 1;
    // wParam of WM_REFRESH_DISPLAY from the web side: the network was lost.
    static constexpr std::intptr_t kNetworkLost = 1;

    static constexpr const char* kUserAgent = "zeloraTALK Version 3.1.2";
    static constexpr const char* kCodecText = "102,8,0,";
    static constexpr const char* kSipPort = "5060";
    static constexpr int kLocalMediaPort = 37644;
    static constexpr int kRegisterExpiry = 3600;
    static constexpr std::size_t kCopyDataSize = 256;

    struct Options {
        MXSPCore::ProtocolFactory protocolFactory; // empty: the built-in protocols
        bool startThreads = true; // worker and keep-alive threads (tests tick by hand)
        CPhoneWebDuties* webDuties = nullptr; // empty: nothing of the web side
        std::string localAddress; // empty: ZELORA_LOCAL_ADDRESS, else found by the stack
    };

    // Observer of every status that reaches HandleSipData (called on the protocol's thread).
    using EventObserver = std::function<void(int status, const SESSION_EVENT_INFO* record)>;
    // Told on the window's thread of each change of the sign-in state, in order.
    using SignInObserver = std::function<void(bool signedIn)>;

    CzeloraTALKDlg(CzeloraTALKView& view, CPhoneAudio& audio, CSettings& settings, DeploymentValues deployment,
                   Options options);
    ~CzeloraTALKDlg();
    CzeloraTALKDlg(const CzeloraTALKDlg&) = delete;
    CzeloraTALKDlg& operator=(const CzeloraTALKDlg&) = delete;

    void SetEventObserver(EventObserver observer);
    // The window's thread, before the events flow.
    void AddSignInObserver(SignInObserver observer);
    // A callto number from the command line: dialled once after the first sign-in.
    void SetCalltoNumber(const std::string& number);

    // Start-up; 0, or a negative code after a fatal failure (already shown and logged).
    int OnInitDialog();
    // Shut-down: worker stopped, session core destroyed, audio engine terminated.
    void OnDestroy();

    zelora::MessageQueue& Queue() { return m_queue; }
    // Dispatches one message of the queue (the owner's thread).
    void OnMessage(const zelora::Message& message);
    std::size_t DrainMessages();

    // The window's event entry (protocol thread, session core lock held).
    int HandleSipData(int status, SESSION_EVENT_INFO* record);
    static int SessionCallBack(int status, void* context, SESSION_EVENT_INFO* record);

    void OnSendRegister();
    void RegisterSoftPhone(const std::string& userId, const std::string& password);
    // Sign out without switching account.
    void SignOut();
    void OnBnClickedButtonCall();
    void OnBnClickedButtonHangup();
    void OnDialKey(char key);
    void OnKeyboardKey(char key);
    void OnClearDigit();
    void OnRedial();
    void OnSpeakerVolume(int level);
    void OnMicVolume(int level);
    // Close button / Exit; true when the window closes at once.
    bool OnClose();
    void OnCopyData(const std::string& block);
    void OnDialFromWeb();
    void SetDialField(const std::string& text);

    // One pass of the worker thread (tests drive it by hand).
    void WorkerPass();

    void StopCall();
    void StartCall(const SESSION_EVENT_INFO& record);
    void StartEarlyMedia(const SESSION_EVENT_INFO& record);
    void StopRing();

    bool IsSignedIn() const { return m_signedIn.load(); }
    int GetCallState() const;
    std::string GetDialField() const;
    std::string GetLastDialed() const;
    std::string GetUserId() const;
    std::string GetPassword() const;
    // The subscriber's number: the VoIP number once the web service sent it, else the user ID.
    std::string GetSubscriberNumber();
    std::string GetServerAddress() const { return m_serverAddress; }
    std::string GetServerPort() const { return m_serverPort; }
    bool UsesTunnel() const { return m_useTunnel; }
    bool IsCloseAfterCall() const { return m_closeAfterCall.load(); }
    bool IsReRegisterPending() const { return m_reRegisterPending.load(); }
    int GetRegistrationFailures() const { return m_regFailCount.load(); }
    int GetPanel() const;
    const CODEC_INFO* Codecs() const { return m_codecs; }
    int CodecCount() const { return m_codecCount; }
    CMXDisplayScreen& Display() { return m_display; }
    MXSPCore* Core() { return m_core.get(); }
    void SetInternetReachable(bool reachable) { m_internetReachable = reachable; }
    void SetCredentials(const std::string& userId, const std::string& password);
    // "1-234-567-890" grouping of long numbers that start with "1".
    static std::string GroupNumber(const std::string& number);

private:
    bool OnOwnerThread() const;
    void ShowBox(const std::string& text, CzeloraTALKView::Icon icon);
    void PostText(const std::string& text);
    void RepaintDisplay();
    void SetSignedIn(bool signedIn);
    void Post(unsigned msg, std::intptr_t wParam = 0, std::string data = {});
    void DialNumber();
    // The call button's two cases: idle dials the field, ringing answers.
    void DialOutgoing();
    void AnswerIncoming();
    int InitCodec();
    void InitSoundEngine(int& result);
    std::string LocalAddress() const;
    std::string SoundPath(const char* file) const;
    void PlayRing(const std::string& path);
    // Ring tone off, any voice call stopped, the record's media started.
    void StartVoice(const SESSION_EVENT_INFO& record);
    void ShowAudioError(int result);
    void WorkerThreadProc();
    void OnReLogin();
    void OnShowSipMsg(const std::string& text);
    void SwitchPanel(int panel);
    void OnShowAccountTexts(std::intptr_t wParam);
    void OnRefreshDisplay(std::intptr_t wParam);

    // Start-up steps; the int ones give 0 or -1 after a fatal failure already shown.
    int Fatal(const std::string& text, const char* logText);
    void ReadServerSettings();
    void ReadAppPath();
    CSettingsHttpProxy ReadProxySettings();
    int StartSessionCore(const CSettingsHttpProxy& proxy);
    // The automatic choice (CzeloraTALKDlgConnection.cpp).
    int StartChosenConnection();
    int StartWay(CConnectionChooser::Way way);
    // `nextWay`: the same sign-in goes on by the next way; else a new sign-in begins.
    void SendRegister(bool nextWay);
    void ArmConnectionFallback(bool nextWay);
    // The first answer came, or the sign-in ended: no further way is tried.
    void StopConnectionChoice();
    void ShowRegistrationTimeout();
    void OnMsgNextConnection(const zelora::Message& message);
    void OnMsgConnectionWorked(const zelora::Message& message);
    int LoadAccount(bool& autoLogin);
    int StartWorker();

    // One handler per session status (HandleSipData's table).
    using SipHandler = void (CzeloraTALKDlg::*)(SESSION_EVENT_INFO* record);
    struct SipHandlerEntry {
        int status;
        SipHandler handler;
    };
    static const SipHandlerEntry kSipHandlers[];
    void OnSipRegistered(SESSION_EVENT_INFO* record);
    void OnSipRegistrationFailure(SESSION_EVENT_INFO* record);
    void OnSipRegistrationTimeout(SESSION_EVENT_INFO* record);
    void OnSipIncomingCall(SESSION_EVENT_INFO* record);
    void OnSipNoAnswer(SESSION_EVENT_INFO* record);
    void OnSipProceeding(SESSION_EVENT_INFO* record);
    void OnSipRinging(SESSION_EVENT_INFO* record);
    void OnSipConnected(SESSION_EVENT_INFO* record);
    void OnSipRequestFailure(SESSION_EVENT_INFO* record);
    void OnSipCallFailed(SESSION_EVENT_INFO* record);
    void OnSipCallClosed(SESSION_EVENT_INFO* record);
    void OnSipCallReleased(SESSION_EVENT_INFO* record);
    void OnSipLogout(SESSION_EVENT_INFO* record);
    // The caller on the display and the dial field; the notifier's text.
    std::string ShowCaller(int cid, const std::string& caller);
    std::string ShowAnonymousCaller();

    // One handler per window message (OnMessage's table).
    using MessageHandler = void (CzeloraTALKDlg::*)(const zelora::Message& message);
    struct MessageHandlerEntry {
        unsigned msg;
        MessageHandler handler;
    };
    static const MessageHandlerEntry kMessageHandlers[];
    void OnMsgCloseApp(const zelora::Message& message);
    void OnMsgReLogin(const zelora::Message& message);
    void OnMsgDialFromWeb(const zelora::Message& message);
    void OnMsgShowSipMsg(const zelora::Message& message);
    void OnMsgRequestBalance(const zelora::Message& message);
    void OnMsgShowButtons(const zelora::Message& message);
    void OnMsgFlashWindow(const zelora::Message& message);
    void OnMsgRequestVoipNumber(const zelora::Message& message);
    void OnMsgRequestAds(const zelora::Message& message);
    void OnMsgRequestCallerLine(const zelora::Message& message);
    void OnMsgRefreshControls(const zelora::Message& message);
    void OnMsgShowAccountTexts(const zelora::Message& message);
    void OnMsgRefreshDisplay(const zelora::Message& message);
    void OnMsgShowCounter(const zelora::Message& message);
    void OnMsgSwitchPanel(const zelora::Message& message);
    void OnMsgRestorePanel(const zelora::Message& message);
    void OnMsgPlayPresenceSound(const zelora::Message& message);
    void OnMsgCopyData(const zelora::Message& message);
    void OnMsgShowBox(const zelora::Message& message);
    void OnMsgRepaint(const zelora::Message& message);
    void OnMsgOpenNotifier(const zelora::Message& message);
    void OnMsgCloseNotifier(const zelora::Message& message);
    void OnMsgHangUp(const zelora::Message& message);
    void OnMsgNetworkLost(const zelora::Message& message);
    void OnMsgAskNewVersion(const zelora::Message& message);
    void OnMsgRecoveryStatus(const zelora::Message& message);
    void OnMsgShowSmsDialog(const zelora::Message& message);
    void OnMsgSignInChanged(const zelora::Message& message);
    void OnMsgSignedInDuties(const zelora::Message& message);

    CzeloraTALKView& m_view;
    CPhoneAudio& m_audio;
    CSettings& m_settings;
    DeploymentValues m_deployment;
    Options m_options;
    CPhoneWebDuties m_noWeb;
    CPhoneWebDuties* m_web;
    EventObserver m_observer;
    std::vector<SignInObserver> m_signInObservers; // the window's thread only
    std::thread::id m_ownerThread;

    zelora::MessageQueue m_queue;
    CMXDisplayScreen m_display;
    std::unique_ptr<MXSPCore> m_core;
    CODEC_INFO m_codecs[MAX_CODEC_COUNT]{};
    int m_codecCount = 0;

    std::string m_serverAddress;
    std::string m_serverPort = kSipPort;
    std::string m_appPath;
    std::atomic<bool> m_useTunnel{false};
    CSettingsHttpProxy m_proxy;
    // Only with the automatic choice; made before the core and kept until the window goes. The
    // sign-in (any thread) and the window's messages ask it, under its lock only.
    std::unique_ptr<CConnectionChooser> m_chooser;
    std::mutex m_chooserLock;
    // A sign-in by the automatic choice waits for its first answer; the generation tells a
    // late fallback of an earlier sign-in from the current one.
    std::atomic<bool> m_choosing{false};
    std::atomic<std::intptr_t> m_choiceGeneration{0};
    CAnswerTimer m_answerTimer{[this] { Post(WM_INTERNAL_NEXT_CONNECTION, m_choiceGeneration.load()); }};
    std::atomic<bool> m_signedIn{false};
    std::atomic<bool> m_internetReachable{true};
    std::atomic<int> m_regFailCount{0};
    std::atomic<bool> m_closeAfterCall{false};
    std::atomic<bool> m_reRegisterPending{false};
    std::atomic<bool> m_earlyMediaStarted{false};
    std::atomic<bool> m_callEnded{false};
    std::atomic<bool> m_inRegisterSoftPhone{false};
    std::atomic<int> m_connectivityFailures{0};
    int m_workerPass = 0;

    mutable std::mutex m_fields;
    std::string m_userId;
    std::string m_password;
    std::string m_dialField;
    std::string m_lastDialed;
    std::string m_pendingText;
    std::string m_calltoNumber;
    bool m_calltoFound = false;
    bool m_calltoDialled = false;
    int m_callerLineCid = 0;
    std::string m_callerLineUser;
    std::string m_accountText1;
    std::string m_accountText2;
    int m_panel = CzeloraTALKView::PANEL_LOGIN;
    int m_previousPanel = CzeloraTALKView::PANEL_DIALPAD;

    zelora::Event m_stop;
    std::atomic<bool> m_stopped{true};
    std::thread m_worker;
    bool m_destroyed = false;
};
