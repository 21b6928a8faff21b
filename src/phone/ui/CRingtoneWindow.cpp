#include "phone/ui/CRingtoneWindow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "phone/ui/MessageBoxes.h"
#include "phone/ui/SkinnedControls.h"
#include "phone/ui/WavFileDialog.h"
#include "widgets/CMXSkinButton.h"

CRingtoneWindow::CRingtoneWindow(CSettings& settings, const std::string& programFolder, QWidget* parent)
    : QDialog(parent)
{
    setStyleSheet("QDialog { background: #1d252d; } " + skinned::WindowStyle());
    auto* layout = new QVBoxLayout(this);
    m_path = new QLabel(this);
    m_path->setAccessibleDescription("Ring tone");
    m_path->setMinimumWidth(260);
    layout->addWidget(m_path);
    auto* buttons = new QHBoxLayout;
    CMXSkinButton* browse = skinned::Button("Browse", "Choose the ring tone", this);
    CMXSkinButton* ok = skinned::Button("OK", "Keep this ring tone", this);
    CMXSkinButton* cancel = skinned::Button("Cancel", "Close without changing", this);
    buttons->addWidget(browse);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    m_controller = std::make_unique<CRingtoneDialog>(*this, settings, programFolder);
    connect(browse, &QAbstractButton::clicked, this, [this]() { m_controller->OnBrowse(); });
    connect(ok, &QAbstractButton::clicked, this, [this]() { m_controller->OnOK(); });
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    m_controller->OnInitDialog();
}

CRingtoneWindow::~CRingtoneWindow() = default;

void CRingtoneWindow::SetTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
    setAccessibleName(QString::fromStdString(title));
}

void CRingtoneWindow::ShowPath(const std::string& path)
{
    m_path->setText(QString::fromStdString(path));
    m_path->setAccessibleName(QString::fromStdString(path));
}

void CRingtoneWindow::MessageBox(const std::string& text, CzeloraTALKView::Icon icon)
{
    messageboxes::Show(this, text, icon);
}

std::optional<std::string> CRingtoneWindow::ChooseWavFile() { return ::ChooseWavFile(this); }

void CRingtoneWindow::Close() { accept(); }
