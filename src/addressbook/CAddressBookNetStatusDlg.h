#pragma once
// The address-book upload dialog's behaviour: one change sent to the operator's web
// service through the dialog's own CMXINet; OK only when the service accepted it. The window
// stands behind CAddressBookNetStatusView.
//
//   CAddressBookNetStatusDlg dlg(view, host, userId);
//   dlg.BuildAdd(record);                 // or BuildUpdate / BuildDelete / BuildDeleteAll
//   if (dlg.DoModal() == CAddressBookNetStatusDlg::IDOK) ... dlg.EntryNumber() ...
#include <atomic>
#include <string>

#include "addressbook/ContactRecord.h"
#include "platform/MessageQueue.h"
#include "web/CMXINet.h"

class CAddressBookNetStatusView {
public:
    virtual ~CAddressBookNetStatusView() = default;
    virtual void SetStatusText(int kind, const std::string& text) = 0;
    virtual void SetButtonCaption(const std::string& caption) = 0;
    virtual void SetProgress(int position) = 0;
    // The dialog ended: OK or not (a failed dialog closed with its button).
    virtual void Ended(int kind, bool ok) = 0;
};

class CAddressBookNetStatusDlg {
public:
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;
    static constexpr int KIND_ADD = 0;
    static constexpr int KIND_UPDATE = 1;
    static constexpr int KIND_DELETE = 2;
    static constexpr int KIND_DELETE_ALL = 3;
    static constexpr int kTimerId = 1;
    static constexpr int kTimerMs = 100;
    static constexpr std::size_t kBufferSize = 10241;
    static constexpr const char* kEventName = "AddressBookNetStatus_Dialog";
    // Messages from the notification function to the dialog's thread.
    static constexpr unsigned WM_NET_PROGRESS = zelora::WM_USER + 1;
    static constexpr unsigned WM_NET_COMPLETE = zelora::WM_USER + 2;
    static constexpr unsigned WM_NET_FAILED = zelora::WM_USER + 3;

    CAddressBookNetStatusDlg(CAddressBookNetStatusView& view, std::string host, std::string userId, unsigned port = 80);
    ~CAddressBookNetStatusDlg();
    CAddressBookNetStatusDlg(const CAddressBookNetStatusDlg&) = delete;
    CAddressBookNetStatusDlg& operator=(const CAddressBookNetStatusDlg&) = delete;

    // The "<entry>...</entry>" texts: add order, and update order (<sno> first).
    static std::string AddEntryText(const ContactRecord& r);
    static std::string UpdateEntryText(const ContactRecord& r);

    // Request builders: action kind, contact name (first name) and plain request text.
    void BuildAdd(const ContactRecord& r, const std::string& timeStamp = {});
    void BuildUpdate(const ContactRecord& r, const std::string& timeStamp = {});
    void BuildDelete(const ContactRecord& r, const std::string& timeStamp = {});
    void BuildDeleteAll(const std::string& timeStamp = {});
    // The builder of `kind` (KIND_*) on the record.
    void Build(int kind, const ContactRecord& r);

    // Runs until accepted (IDOK) or failed (IDCANCEL: the console stands for pressing "Close").
    // `timeoutMs` bounds the wait for a reply that never completes.
    int DoModal(int timeoutMs = 60000);

    // The steps, for tests and windows that run their own loop.
    void OnInitDialog();
    void OnMessage(const zelora::Message& m);
    void OnTimer(int id);
    static void INetStatus(std::string text, int state, void* context);
    // No reply within the modal wait's bound: failed like a request error.
    void OnTimeout();

    int Kind() const { return m_kind; }
    const std::string& RequestText() const { return m_request; }
    const std::string& EntryNumber() const { return m_entryNumber; }
    const std::string& StatusText() const { return m_status; }
    const std::string& ButtonCaption() const { return m_caption; }
    int Progress() const { return m_progress; }
    bool Finished() const { return m_result != 0; }
    int Result() const { return m_result; }
    bool TimerRunning() const { return m_timer; }
    zelora::MessageQueue& Queue() { return m_queue; }

private:
    void Status(const std::string& text);
    void Fail(const std::string& text, bool toHundred);
    void Step();

    CMXINet m_inet;
    std::string m_host;
    unsigned m_port;
    std::string m_path;
    int m_kind = KIND_ADD;
    std::string m_contactName;
    std::string m_request;
    std::string m_entryNumber;
    std::string m_userId;

    CAddressBookNetStatusView& m_view;
    zelora::MessageQueue m_queue;
    std::string m_status;
    std::string m_caption = "Cancel";
    int m_progress = 0;
    bool m_timer = false;
    int m_result = 0; // 0 running, IDOK, IDCANCEL (failed, waits for its button)
};
