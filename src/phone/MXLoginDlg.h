#pragma once
// The login panel: credentials with the remember-me rule, sign-in (stored, then handed to the
// main window), links to the operator's pages and the connection settings.
#include <functional>
#include <string>

#include "phone/CzeloraTALKView.h"

class CSettings;

class CLoginView {
public:
    virtual ~CLoginView() = default;
    virtual void SetFields(const std::string& userId, const std::string& password, bool rememberMe, bool autoLogin,
                           bool autoLoginEnabled) = 0;
    virtual void MessageBox(const std::string& text, CzeloraTALKView::Icon icon) = 0;
    virtual void FocusUserId() = 0;
    virtual void FocusPassword() = 0;
    virtual void OpenUrl(const std::string& url) = 0;
    virtual void RunConnectionSettings() = 0;
};

class MXLoginDlg {
public:
    struct Account {
        std::function<std::string()> userId; // the window's own user ID
        std::function<std::string()> password; // and password
        std::function<void(const std::string&, const std::string&)> registerSoftPhone;
        std::function<void()> back; // posts the restore-panel message
    };

    MXLoginDlg(CLoginView& view, CSettings& settings, Account account, std::string passwordResetPage);

    void LoadCredentials();
    void OnRememberMeToggled(bool checked);
    // The sign-in button with the fields as the user left them.
    void OnSignIn(const std::string& userId, const std::string& password, bool rememberMe, bool autoLogin);
    void OnForgotPassword();
    void OnConnectionSettings();
    void OnBack();

    bool RememberMe() const { return m_rememberMe; }
    bool AutoLogin() const { return m_autoLogin; }
    bool AutoLoginEnabled() const { return m_autoLoginEnabled; }

private:
    void ApplyRule();

    CLoginView& m_view;
    CSettings& m_settings;
    Account m_account;
    std::string m_passwordResetPage;
    std::string m_userId;
    std::string m_password;
    bool m_rememberMe = false;
    bool m_autoLogin = false;
    bool m_autoLoginEnabled = false;
};
