#pragma once
// The login panel: user ID, masked password, remember-me and automatic sign-in, the links and
// Back. The controller (MXLoginDlg) holds the rules; this only shows and forwards.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "phone/MXLoginDlg.h"

class CMXSkinButton;

class CLoginPanel : public QWidget, public CLoginView {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const std::string&, CzeloraTALKView::Icon)> messageBox;
        std::function<void()> runConnectionSettings;
        // false when no browser could be started.
        std::function<bool(const std::string&)> openUrl;
    };

    CLoginPanel(Hooks hooks, std::string signupPage, QWidget* parent = nullptr);
    void SetController(MXLoginDlg* controller) { m_controller = controller; }

    // CLoginView
    void SetFields(const std::string& userId, const std::string& password, bool rememberMe, bool autoLogin,
                   bool autoLoginEnabled) override;
    void MessageBox(const std::string& text, CzeloraTALKView::Icon icon) override;
    void FocusUserId() override;
    void FocusPassword() override;
    void OpenUrl(const std::string& url) override;
    void RunConnectionSettings() override;

    QLineEdit* UserIdField() const { return m_userId; }
    QLineEdit* PasswordField() const { return m_password; }
    QCheckBox* RememberMeBox() const { return m_rememberMe; }
    QCheckBox* AutoLoginBox() const { return m_autoLogin; }
    CMXSkinButton* SignInButton() const { return m_signIn; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Hooks m_hooks;
    std::string m_signupPage;
    MXLoginDlg* m_controller = nullptr;
    QLineEdit* m_userId;
    QLineEdit* m_password;
    QCheckBox* m_rememberMe;
    QCheckBox* m_autoLogin;
    CMXSkinButton* m_signIn;
    CMXSkinButton* m_back;
};
