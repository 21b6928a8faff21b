#include "addressbook/ui/CAddressBookNetStatusWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CLogger.h"

CAddressBookNetStatusWindow::CAddressBookNetStatusWindow(const std::string& host, unsigned port,
                                                         const std::string& userId, QWidget* parent)
    : QDialog(parent), m_dlg(*this, host, userId, port)
{
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setAccessibleName("Progress");
    m_status = new QLabel(this);
    m_status->setAccessibleDescription("Status");
    m_status->setWordWrap(true);
    m_status->setMinimumWidth(320);
    m_button = new QPushButton(QString::fromStdString(m_dlg.ButtonCaption()), this);
    m_button->setAccessibleName(m_button->text());
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(m_button, 0, Qt::AlignHCenter);
    // "Cancel" gives up a change under way, "Close" dismisses a failed one: neither applies it.
    connect(m_button, &QPushButton::clicked, this, &QDialog::reject);
    m_timer.setInterval(CAddressBookNetStatusDlg::kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, &CAddressBookNetStatusWindow::Tick);
}

bool CAddressBookNetStatusWindow::Run(int kind, const ContactRecord& record, std::string& entryNumber, int limitMs)
{
    ZLOG_SCOPE();
    m_dlg.Build(kind, record);
    m_limitMs = limitMs;
    m_elapsed.start();
    m_dlg.OnInitDialog();
    // The reply is read on this thread: the HTTP side only queues, the timer drains.
    if (!m_dlg.Finished())
        m_timer.start();
    const bool ok = exec() == QDialog::Accepted && m_dlg.Result() == CAddressBookNetStatusDlg::IDOK;
    m_timer.stop();
    entryNumber = m_dlg.EntryNumber();
    return ok;
}

void CAddressBookNetStatusWindow::Tick()
{
    zelora::Message m;
    while (m_dlg.Queue().TryGet(m))
        m_dlg.OnMessage(m);
    if (m_dlg.TimerRunning())
        m_dlg.OnTimer(CAddressBookNetStatusDlg::kTimerId);
    if (!m_dlg.Finished() && m_elapsed.elapsed() >= m_limitMs)
        m_dlg.OnTimeout();
    if (!m_dlg.Finished())
        return;
    m_timer.stop();
    if (m_dlg.Result() == CAddressBookNetStatusDlg::IDOK)
        accept();
}

void CAddressBookNetStatusWindow::SetStatusText(int, const std::string& text)
{
    m_status->setText(QString::fromStdString(text));
    m_status->setAccessibleName(m_status->text());
}

void CAddressBookNetStatusWindow::SetButtonCaption(const std::string& caption)
{
    m_button->setText(QString::fromStdString(caption));
    m_button->setAccessibleName(m_button->text());
}

void CAddressBookNetStatusWindow::SetProgress(int position) { m_progress->setValue(position); }

void CAddressBookNetStatusWindow::Ended(int, bool) { }
