#include "addressbook/CAddressBookNetStatusDlg.h"

#include <chrono>
#include <cstdio>

#include "app/CLogger.h"
#include "web/CMXXMLParser.h"
#include "web/WebApi.h"

namespace {

void Element(std::string& out, const char* tag, const std::string& value)
{
    out += '<';
    out += tag;
    out += '>';
    out += value;
    out += "</";
    out += tag;
    out += '>';
}

std::string Envelope(const char* action, const std::string& userId)
{
    return std::string("action=") + action + "&transId=" + zelora::web::kAddressBookTransId +
        "&apiUserName=global&userId=" + userId;
}

std::string Stamp(const std::string& timeStamp)
{
    return timeStamp.empty() ? zelora::web::RequestTimeStamp() : timeStamp;
}

std::string Format(const char* pattern, const std::string& name)
{
    char text[600];
    std::snprintf(text, sizeof text, pattern, name.c_str());
    return text;
}

} // namespace

CAddressBookNetStatusDlg::CAddressBookNetStatusDlg(CAddressBookNetStatusView& view, std::string host,
                                                   std::string userId, unsigned port)
    : m_inet(kEventName), m_host(std::move(host)), m_port(port), m_path(zelora::web::kServicePath),
      m_userId(std::move(userId)), m_view(view)
{
    ZLOG_SCOPE();
}

CAddressBookNetStatusDlg::~CAddressBookNetStatusDlg()
{
    ZLOG_SCOPE();
    m_inet.Close();
}

namespace {
// The two entry texts differ only in where the entry number stands: first in an update,
// after the title in an add.
std::string EntryText(const ContactRecord& r, bool numberFirst)
{
    std::string e = "<entry>";
    if (numberFirst)
        Element(e, "sno", r.entryNumber);
    Element(e, "name", r.name);
    Element(e, "email", r.email);
    Element(e, "voip", r.voip);
    Element(e, "mobile", r.mobile);
    Element(e, "home", r.home);
    Element(e, "business", r.business);
    Element(e, "title", r.title);
    if (!numberFirst)
        Element(e, "sno", r.entryNumber);
    Element(e, "firstname", r.firstName);
    Element(e, "middlename", r.middleName);
    Element(e, "lastname", r.lastName);
    Element(e, "altemail", r.altEmail);
    Element(e, "fax", r.fax);
    Element(e, "pager", r.pager);
    Element(e, "icq", r.icq);
    Element(e, "website", r.website);
    Element(e, "companyname", r.companyName);
    Element(e, "comments", r.comments);
    Element(e, "birthdate", r.birthDate);
    return e + "</entry>";
}
} // namespace

std::string CAddressBookNetStatusDlg::AddEntryText(const ContactRecord& r) { return EntryText(r, false); }

std::string CAddressBookNetStatusDlg::UpdateEntryText(const ContactRecord& r) { return EntryText(r, true); }

void CAddressBookNetStatusDlg::BuildAdd(const ContactRecord& r, const std::string& timeStamp)
{
    m_kind = KIND_ADD;
    m_contactName = r.firstName;
    m_request = Envelope("_addent", m_userId) + "&data=" + AddEntryText(r) + "&timeStamp=" + Stamp(timeStamp);
}

void CAddressBookNetStatusDlg::BuildUpdate(const ContactRecord& r, const std::string& timeStamp)
{
    m_kind = KIND_UPDATE;
    m_contactName = r.firstName;
    m_request = Envelope("_updent", m_userId) + "&data=" + UpdateEntryText(r) + "&timeStamp=" + Stamp(timeStamp);
}

void CAddressBookNetStatusDlg::BuildDelete(const ContactRecord& r, const std::string& timeStamp)
{
    m_kind = KIND_DELETE;
    m_contactName = r.firstName;
    m_request =
        Envelope("_delent", m_userId) + "&name=" + r.name + "&sno=" + r.entryNumber + "&timeStamp=" + Stamp(timeStamp);
}

void CAddressBookNetStatusDlg::BuildDeleteAll(const std::string& timeStamp)
{
    m_kind = KIND_DELETE_ALL;
    m_contactName.clear();
    m_request = Envelope("_delAll", m_userId) + "&timeStamp=" + Stamp(timeStamp);
}

void CAddressBookNetStatusDlg::Build(int kind, const ContactRecord& r)
{
    switch (kind) {
    case KIND_ADD:
        BuildAdd(r);
        break;
    case KIND_UPDATE:
        BuildUpdate(r);
        break;
    case KIND_DELETE:
        BuildDelete(r);
        break;
    default:
        BuildDeleteAll();
        break;
    }
}

void CAddressBookNetStatusDlg::Status(const std::string& text)
{
    if (text == m_status)
        return;
    m_status = text;
    m_view.SetStatusText(m_kind, text);
}

void CAddressBookNetStatusDlg::Step()
{
    if (m_progress < 100)
        ++m_progress;
    m_view.SetProgress(m_progress);
}

void CAddressBookNetStatusDlg::Fail(const std::string& text, bool toHundred)
{
    if (toHundred) {
        m_progress = 100;
        m_view.SetProgress(m_progress);
    }
    Status(text);
    m_timer = false;
    m_caption = "Close";
    m_view.SetButtonCaption(m_caption);
    m_result = IDCANCEL;
}

void CAddressBookNetStatusDlg::OnInitDialog()
{
    ZLOG_SCOPE();
    if (CMXINet::Init() != 1) {
        Fail("Unable to make internet connection", false);
        return;
    }
    m_inet.m_closed.store(0);
    if (m_inet.MakeHttpConnection(&CAddressBookNetStatusDlg::INetStatus, this, m_host, m_port,
                                  zelora::web::kServiceVerb, m_path, "*/*", zelora::web::kFormsSubmitFlag) != 1) {
        Fail("Unable to make http connection", false);
        return;
    }
    if (m_inet.AddRequestHeaders(zelora::web::kAcceptHeader, zelora::inet::HTTP_ADDREQ_FLAG_REPLACE) != 1 ||
        m_inet.AddRequestHeaders(zelora::web::kContentTypeHeader, zelora::inet::HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 1) {
        Fail("Unable to add request headers", false);
        return;
    }
    std::string body;
    if (zelora::web::MakeRequestBody(m_request, body) != 1) {
        Fail("Unable to encrypt data", false);
        return;
    }
    if (m_inet.SendRequest(body.data(), body.size()) != 1) {
        Fail("Unable to send request", false);
        return;
    }
    m_progress = 0;
    m_view.SetProgress(m_progress);
}

void CAddressBookNetStatusDlg::INetStatus(std::string text, int state, void* context)
{
    auto* self = static_cast<CAddressBookNetStatusDlg*>(context);
    if (self == nullptr)
        return;
    // The HTTP thread only posts; the dialog's thread acts.
    if (state == INET_STATE_PROGRESS) {
        self->m_queue.Post(WM_NET_PROGRESS, 0, 0, std::move(text));
    } else if (state == INET_STATE_COMPLETE) {
        self->m_queue.Post(WM_NET_COMPLETE);
    } else if (state == INET_STATE_FAILED) {
        self->m_inet.ClosedByINet();
        self->m_queue.Post(WM_NET_FAILED, 0, 0, text + " Try again");
    }
}

void CAddressBookNetStatusDlg::OnMessage(const zelora::Message& m)
{
    if (m_result != 0)
        return;
    switch (m.msg) {
    case WM_NET_PROGRESS:
        Step();
        Status(m.data);
        break;
    case WM_NET_COMPLETE:
        m_timer = true;
        break;
    case WM_NET_FAILED:
        m_caption = "Close";
        m_view.SetButtonCaption(m_caption);
        Step();
        Status(m.data);
        m_timer = false;
        m_result = IDCANCEL;
        break;
    default:
        break;
    }
}

void CAddressBookNetStatusDlg::OnTimer(int id)
{
    ZLOG_SCOPE();
    if (id != kTimerId || !m_timer || m_result != 0)
        return;
    if (m_inet.CheckForData() == 1) {
        Step();
        return;
    }
    int code = 0;
    if (m_inet.QueryStatusCode(code) != 4) {
        Fail("Error reading http status code.", true);
        return;
    }
    if (code != 200) {
        ZLOG(LOG_ERROR, "Http Response code %d", code);
        Fail(code == 404 ? "Requested page not found." : "Internet request error.", true);
        return;
    }
    CMXXMLParser parser;
    if (parser.ParseXMLData(m_inet.GetResponseText()) < 0) {
        Fail("Invalid data received.", true);
        return;
    }
    if (parser.CodeValue() >= 0) {
        m_progress = 100;
        m_view.SetProgress(m_progress);
        Status("Operation successfull.");
        m_entryNumber = parser.EntryNumber();
        m_timer = false;
        m_result = IDOK;
        return;
    }
    if (parser.CodeValue() == -1005) {
        Fail(Format("User name (%s) already exist", m_contactName), true);
        return;
    }
    static const char* patterns[] = {
        "Server is unable to add new user (%s), try again", "Server is unable to update user (%s), try again",
        "Server is unable to delete user (%s), try again", "Server is unable to delete all contacts, try again"};
    Fail(Format(patterns[m_kind >= 0 && m_kind <= 3 ? m_kind : 0], m_contactName), true);
}

void CAddressBookNetStatusDlg::OnTimeout()
{
    ZLOG_SCOPE();
    if (m_result == 0)
        Fail("Internet request error.", true);
}

int CAddressBookNetStatusDlg::DoModal(int timeoutMs)
{
    ZLOG_SCOPE();
    OnInitDialog();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto nextTick = Clock::now() + std::chrono::milliseconds(kTimerMs);
    while (m_result == 0) {
        const auto now = Clock::now();
        if (now >= deadline) {
            OnTimeout();
            break;
        }
        int wait = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now).count());
        zelora::Message m;
        if (m_queue.Get(m, wait < 0 ? 0 : wait)) {
            OnMessage(m);
            continue;
        }
        if (Clock::now() >= nextTick) {
            nextTick = Clock::now() + std::chrono::milliseconds(kTimerMs);
            if (m_timer)
                OnTimer(kTimerId);
        }
    }
    m_inet.Close();
    m_view.Ended(m_kind, m_result == IDOK);
    return m_result;
}
