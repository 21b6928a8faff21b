// The call flow: dialling, answering, hanging up, media and ring tones, the dial pad and keyboard,
// volumes, closing, and numbers handed over by a second start or the web side.
#include "phone/CzeloraTALKDlg.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "app/CLogger.h"
#include "app/CSettings.h"
#include "phone/PhoneText.h"

namespace {

using phonetext::EqualsNoCase;

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

} // namespace

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
    if (state == MXSPCore::CALL_IDLE)
        DialOutgoing();
    else if (state == MXSPCore::CALL_INCOMING)
        AnswerIncoming();
}

void CzeloraTALKDlg::DialOutgoing()
{
    ZLOG_SCOPE();
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
}

void CzeloraTALKDlg::AnswerIncoming()
{
    ZLOG_SCOPE();
    std::string local = LocalAddress();
    if (m_core->AcceptCall(local.empty() ? nullptr : local.c_str(), nullptr) < 0) {
        ShowBox("Critical Error, 1025", CzeloraTALKView::ICON_ERROR);
        return;
    }
    m_closeAfterCall = false;
    m_view.ActivateWindow();
    m_view.CloseNotifier();
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
    int result = m_audio.StartVoiceCall(std::atoi(record.codecPayload), record.codecName, kLocalMediaPort, record.rtpIp,
                                        std::atoi(record.rtpPort));
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
        // Set first: the call's release may arrive on the protocol's thread before the hang-up returns.
        m_closeAfterCall = true;
        OnBnClickedButtonHangup();
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
    // A number handed over by a second start only dials: it must never answer a ringing call.
    if (!IsSignedIn() || GetCallState() != MXSPCore::CALL_IDLE) {
        ZLOG(LOG_INFO, "Handed-over number ignored: not signed in or a call in progress");
        return;
    }
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
