// Signing in and out: registration with the stored account, account switch, sign-out.
#include "phone/CzeloraTALKDlg.h"

#include "app/CLogger.h"

void CzeloraTALKDlg::OnSendRegister() { SendRegister(false); }

void CzeloraTALKDlg::SendRegister(bool nextWay)
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
    // Armed before the request: a quick answer must find it set to cancel it.
    ArmConnectionFallback(nextWay);
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
    StopConnectionChoice();
    std::string user = GetUserId(), password = GetPassword();
    SetSignedIn(false);
    if (m_core != nullptr)
        m_core->UnRegister(user.c_str(), user.c_str(), password.c_str(), kRegisterExpiry);
    Post(WM_REFRESH_CONTROLS);
    Post(WM_SWITCH_PANEL, CzeloraTALKView::PANEL_LOGIN);
}
