#include "phone/MXLoginDlg.h"

#include "app/CLogger.h"
#include "app/CSettings.h"

MXLoginDlg::MXLoginDlg(CLoginView& view, CSettings& settings, Account account, std::string passwordResetPage)
    : m_view(view), m_settings(settings), m_account(std::move(account)),
      m_passwordResetPage(std::move(passwordResetPage))
{
}

void MXLoginDlg::ApplyRule()
{
    m_autoLoginEnabled = m_rememberMe;
    if (!m_rememberMe)
        m_autoLogin = false;
    m_view.SetFields(m_userId, m_password, m_rememberMe, m_autoLogin, m_autoLoginEnabled);
}

void MXLoginDlg::LoadCredentials()
{
    ZLOG_SCOPE();
    m_userId = m_account.userId ? m_account.userId() : std::string();
    m_password = m_account.password ? m_account.password() : std::string();
    CSettingsAccount stored;
    CSettings::Batch defaults(m_settings);
    if (m_settings.ReadAccount(stored) < 0) {
        m_view.MessageBox("Unable to read settings from registry. Please contact your system administrator",
                          CzeloraTALKView::ICON_ERROR);
    } else {
        m_rememberMe = stored.rememberMe == 1;
        m_autoLogin = stored.autoLogin == 1;
    }
    ApplyRule();
}

void MXLoginDlg::OnRememberMeToggled(bool checked)
{
    ZLOG_SCOPE();
    m_rememberMe = checked;
    ApplyRule();
}

void MXLoginDlg::OnSignIn(const std::string& userId, const std::string& password, bool rememberMe, bool autoLogin)
{
    ZLOG_SCOPE();
    if (userId.empty()) {
        m_view.MessageBox("Please enter User ID.", CzeloraTALKView::ICON_INFORMATION);
        m_view.FocusUserId();
        return;
    }
    if (password.empty()) {
        m_view.MessageBox("Please enter Password.", CzeloraTALKView::ICON_INFORMATION);
        m_view.FocusPassword();
        return;
    }
    // Bounded where the text enters: records and stores hold 255 characters.
    m_userId = userId.substr(0, 255);
    m_password = password.substr(0, 255);
    m_rememberMe = rememberMe;
    m_autoLogin = rememberMe && autoLogin;

    CSettingsAccount account;
    if (m_rememberMe) {
        account.userId = m_userId;
        account.password = m_password;
        account.rememberMe = 1;
        account.autoLogin = m_autoLogin ? 1 : 0;
    }
    int result = m_settings.WriteAccount(account);
    if (result == CSettings::kEncryptFailed) {
        ZLOG(LOG_ERROR, "Unable to encrypt data");
        m_view.MessageBox("Unable to encrypt data", CzeloraTALKView::ICON_ERROR);
        return;
    }
    if (result < 0)
        ZLOG(LOG_ERROR, "Unable to store credentials %d", result);
    if (m_account.registerSoftPhone)
        m_account.registerSoftPhone(m_userId, m_password);
}

void MXLoginDlg::OnForgotPassword()
{
    ZLOG_SCOPE();
    m_view.OpenUrl(m_passwordResetPage);
}

void MXLoginDlg::OnConnectionSettings()
{
    ZLOG_SCOPE();
    m_view.RunConnectionSettings();
}

void MXLoginDlg::OnBack()
{
    ZLOG_SCOPE();
    if (m_account.back)
        m_account.back();
}
