#pragma once
// The upload dialog's window: a progress bar, the status text and one button ("Cancel" while the
// change is under way, "Close" once it failed). It ends by itself with Accepted when the service
// took the change; everything else ends with Rejected.
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <string>

#include "addressbook/CAddressBookNetStatusDlg.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CAddressBookNetStatusWindow : public QDialog, public CAddressBookNetStatusView {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Updating Address Book";
    // A reply that never completes fails after this long, as the console's wait does.
    static constexpr int kDefaultLimitMs = 60000;

    CAddressBookNetStatusWindow(const std::string& host, unsigned port, const std::string& userId,
                                QWidget* parent = nullptr);

    // Sends one change modally: true when the service accepted it; `entryNumber` as returned.
    bool Run(int kind, const ContactRecord& record, std::string& entryNumber, int limitMs = kDefaultLimitMs);

    CAddressBookNetStatusDlg& Controller() { return m_dlg; }
    QProgressBar* ProgressBar() const { return m_progress; }
    QLabel* StatusLabel() const { return m_status; }
    QPushButton* Button() const { return m_button; }

    // CAddressBookNetStatusView
    void SetStatusText(int kind, const std::string& text) override;
    void SetButtonCaption(const std::string& caption) override;
    void SetProgress(int position) override;
    void Ended(int kind, bool ok) override;

private:
    void Tick();

    CAddressBookNetStatusDlg m_dlg;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_button = nullptr;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    int m_limitMs = kDefaultLimitMs;
};
