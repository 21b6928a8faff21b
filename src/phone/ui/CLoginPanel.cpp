#include "phone/ui/CLoginPanel.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CLogger.h"
#include "phone/ui/SkinnedControls.h"
#include "widgets/CMXSkinButton.h"

CLoginPanel::CLoginPanel(Hooks hooks, std::string signupPage, QWidget* parent)
    : QWidget(parent), m_hooks(std::move(hooks)), m_signupPage(std::move(signupPage))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 12, 24, 12);
    auto* heading = new QLabel("Sign in to zeloraTALK", this);
    heading->setStyleSheet("font-weight: bold; font-size: 15px; color: #8fc6e6;");
    layout->addWidget(heading);
    m_userId = skinned::Edit("User ID", this);
    m_password = skinned::Edit("Password", this);
    m_password->setEchoMode(QLineEdit::Password);
    m_rememberMe = skinned::CheckBox("Remember me", this);
    m_autoLogin = skinned::CheckBox("Sign in automatically", this);
    m_signIn = skinned::Button("Sign in", "Sign in", this);
    m_back = skinned::Button("Back", "Back to the phone", this);
    QPushButton* signUp = skinned::Link("New User sign up", this);
    QPushButton* forgot = skinned::Link("Forgot your password?", this);
    QPushButton* settings = skinned::Link("Connection Settings", this);
    for (QWidget* w : {static_cast<QWidget*>(m_userId), static_cast<QWidget*>(m_password),
                       static_cast<QWidget*>(m_rememberMe), static_cast<QWidget*>(m_autoLogin)})
        layout->addWidget(w);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addStretch();
    buttons->addWidget(m_signIn);
    layout->addLayout(buttons);
    for (QPushButton* link : {signUp, forgot, settings})
        layout->addWidget(link, 0, Qt::AlignLeft);
    layout->addStretch();

    connect(m_rememberMe, &QCheckBox::toggled, this, [this](bool checked) {
        // The rule refills the fields from the controller: what the user typed is kept.
        QString user = m_userId->text(), password = m_password->text();
        if (m_controller != nullptr)
            m_controller->OnRememberMeToggled(checked);
        m_userId->setText(user);
        m_password->setText(password);
        m_autoLogin->setEnabled(m_controller != nullptr ? m_controller->AutoLoginEnabled() : checked);
        if (m_controller != nullptr)
            m_autoLogin->setChecked(m_controller->AutoLogin());
    });
    auto signIn = [this]() {
        if (m_controller != nullptr)
            m_controller->OnSignIn(m_userId->text().toStdString(), m_password->text().toStdString(),
                                   m_rememberMe->isChecked(), m_autoLogin->isChecked());
    };
    connect(m_signIn, &QAbstractButton::clicked, this, signIn);
    connect(m_password, &QLineEdit::returnPressed, this, signIn);
    connect(m_back, &QAbstractButton::clicked, this, [this]() {
        if (m_controller != nullptr)
            m_controller->OnBack();
    });
    connect(signUp, &QPushButton::clicked, this, [this]() { OpenUrl(m_signupPage); });
    connect(forgot, &QPushButton::clicked, this, [this]() {
        if (m_controller != nullptr)
            m_controller->OnForgotPassword();
    });
    connect(settings, &QPushButton::clicked, this, [this]() {
        if (m_controller != nullptr)
            m_controller->OnConnectionSettings();
    });
}

void CLoginPanel::SetFields(const std::string& userId, const std::string& password, bool rememberMe, bool autoLogin,
                            bool autoLoginEnabled)
{
    ZLOG_SCOPE();
    m_userId->setText(QString::fromStdString(userId));
    m_password->setText(QString::fromStdString(password));
    QSignalBlocker block(m_rememberMe);
    m_rememberMe->setChecked(rememberMe);
    m_autoLogin->setChecked(autoLogin);
    m_autoLogin->setEnabled(autoLoginEnabled);
}

void CLoginPanel::MessageBox(const std::string& text, CzeloraTALKView::Icon icon)
{
    if (m_hooks.messageBox)
        m_hooks.messageBox(text, icon);
}

void CLoginPanel::FocusUserId() { m_userId->setFocus(Qt::OtherFocusReason); }

void CLoginPanel::FocusPassword() { m_password->setFocus(Qt::OtherFocusReason); }

void CLoginPanel::OpenUrl(const std::string& url)
{
    ZLOG_SCOPE();
    if (m_hooks.openUrl && m_hooks.openUrl(url))
        return;
    ZLOG(LOG_ERROR, "Unable to open %s", url.c_str());
    MessageBox("Unable to open the web page " + url, CzeloraTALKView::ICON_ERROR);
}

void CLoginPanel::RunConnectionSettings()
{
    if (m_hooks.runConnectionSettings)
        m_hooks.runConnectionSettings();
}

void CLoginPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The cursor goes where typing is needed first.
    QTimer::singleShot(0, this, [this]() {
        if (!m_userId->text().isEmpty() && m_password->text().isEmpty())
            FocusPassword();
        else
            FocusUserId();
    });
}
