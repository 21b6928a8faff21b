#include "phone/ui/CProxySettingsWindow.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/CLogger.h"
#include "phone/ui/MessageBoxes.h"
#include "phone/ui/SkinnedControls.h"
#include "phone/ui/WavFileDialog.h"
#include "widgets/CMXSkinButton.h"

const std::vector<CProxySettingsWindow::Choice>& CProxySettingsWindow::Choices()
{
    static const std::vector<Choice> choices = {
        {CONNECTION_DIRECT, "Direct connection", "SIP over UDP to the registrar"},
        {CONNECTION_TUNNEL, "Tunnel", "Calls through the tunnel server, directly or through the HTTP proxy"},
        {CONNECTION_AUTOMATIC, "Automatic",
         "SIP over UDP first; the tunnel, then the HTTP proxy, when the registrar does not answer"},
    };
    return choices;
}

CProxySettingsWindow::CProxySettingsWindow(CSettings& settings, QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Connection Settings");
    setAccessibleName("Connection Settings");
    setStyleSheet("QDialog { background: #1d252d; } " + skinned::WindowStyle());
    auto* layout = new QVBoxLayout(this);
    for (const Choice& choice : Choices()) {
        QRadioButton* button = skinned::RadioButton(choice.caption, this);
        button->setToolTip(choice.description);
        button->setAccessibleDescription(choice.description);
        m_choices.addButton(button, choice.connection);
        layout->addWidget(button);
    }
    m_useProxy = skinned::CheckBox("Use HTTP proxy", this);
    layout->addWidget(m_useProxy);
    auto* form = new QFormLayout;
    m_address = skinned::Edit("Proxy address", this);
    m_port = skinned::Edit("Proxy port", this);
    form->addRow("Address", m_address);
    form->addRow("Port", m_port);
    layout->addLayout(form);
    auto* ringRow = new QHBoxLayout;
    m_ringTone = new QLabel(this);
    m_ringTone->setAccessibleDescription("Ring tone");
    CMXSkinButton* browse = skinned::Button("Browse", "Choose the ring tone", this);
    ringRow->addWidget(m_ringTone, 1);
    ringRow->addWidget(browse);
    layout->addLayout(ringRow);
    auto* buttons = new QHBoxLayout;
    CMXSkinButton* ok = skinned::Button("OK", "Save the settings", this);
    CMXSkinButton* cancel = skinned::Button("Cancel", "Close without saving", this);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    m_controller = std::make_unique<CProxySettingsDlg>(*this, settings);
    connect(&m_choices, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            ApplyChoice(static_cast<Connection>(id));
    });
    connect(m_useProxy, &QCheckBox::toggled, this, [this](bool checked) { m_controller->OnUseProxyToggled(checked); });
    connect(browse, &QAbstractButton::clicked, this, [this]() { m_controller->OnBrowseRingTone(); });
    connect(ok, &QAbstractButton::clicked, this, &CProxySettingsWindow::Accept);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    if (m_controller->OnInitDialog() < 0)
        ZLOG(LOG_ERROR, "Init GUI failed");
}

CProxySettingsWindow::~CProxySettingsWindow() = default;

void CProxySettingsWindow::ApplyChoice(Connection connection)
{
    m_controller->OnAutomaticToggled(connection == CONNECTION_AUTOMATIC);
    if (connection != CONNECTION_AUTOMATIC)
        m_controller->OnUseTunnelToggled(connection == CONNECTION_TUNNEL);
}

CProxySettingsWindow::Connection CProxySettingsWindow::CurrentChoice() const
{
    return static_cast<Connection>(m_choices.checkedId() < 0 ? CONNECTION_DIRECT : m_choices.checkedId());
}

QAbstractButton* CProxySettingsWindow::ChoiceButton(Connection connection) const
{
    return m_choices.button(connection);
}

void CProxySettingsWindow::Accept()
{
    m_controller->OnOK(CurrentChoice() == CONNECTION_TUNNEL, m_useProxy->isChecked(), m_address->text().toStdString(),
                       m_port->text().toStdString());
}

void CProxySettingsWindow::SetFields(bool useTunnel, bool useProxy, const std::string& address, const std::string& port)
{
    QSignalBlocker blockChoices(&m_choices);
    QSignalBlocker blockProxy(m_useProxy);
    if (QAbstractButton* button = m_choices.button(useTunnel ? CONNECTION_TUNNEL : CONNECTION_DIRECT))
        button->setChecked(true);
    m_useProxy->setChecked(useProxy);
    m_address->setText(QString::fromStdString(address));
    m_port->setText(QString::fromStdString(port));
}

void CProxySettingsWindow::SetAutomatic(bool automatic)
{
    if (!automatic)
        return; // SetFields has checked the other choice
    QSignalBlocker blockChoices(&m_choices);
    if (QAbstractButton* button = m_choices.button(CONNECTION_AUTOMATIC))
        button->setChecked(true);
}

void CProxySettingsWindow::SetEnabled(bool useProxyEnabled, bool addressAndPortEnabled)
{
    m_useProxy->setEnabled(useProxyEnabled);
    m_address->setEnabled(addressAndPortEnabled);
    m_port->setEnabled(addressAndPortEnabled);
}

void CProxySettingsWindow::SetRingToneLabel(const std::string& path)
{
    m_ringTone->setText(QString::fromStdString(path));
    m_ringTone->setAccessibleName(QString::fromStdString(path));
}

void CProxySettingsWindow::MessageBox(const std::string& text, CzeloraTALKView::Icon icon)
{
    messageboxes::Show(this, text, icon);
}

std::optional<std::string> CProxySettingsWindow::ChooseWavFile() { return ::ChooseWavFile(this); }

void CProxySettingsWindow::Close() { accept(); }
