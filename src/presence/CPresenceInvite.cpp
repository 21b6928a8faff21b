#include "presence/CPresenceInvite.h"

#include "app/CLogger.h"
#include "platform/HexString.h"
#include "web/CMXINet.h"
#include "web/WebApi.h"

namespace {

// Letters, digits and the few marks an address keeps as they are; the rest %XX, so that
// an address cannot add fields of its own.
std::string FormValue(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '@' || c == '.' ||
            c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            zelora::AppendHexByte(out, c);
        }
    }
    return out;
}

} // namespace

CPresenceInvite::CPresenceInvite(std::string host, unsigned port)
    : m_host(std::move(host)), m_port(port), m_inet(std::make_unique<CMXINet>("zeloraTALK_Presence_Invite_Contact"))
{
}

CPresenceInvite::~CPresenceInvite()
{
    m_inet->Close(); // no notification after this object is gone
}

std::string CPresenceInvite::Body(const std::string& email, const std::string& userId)
{
    return "to=" + FormValue(email) + "&username=" + FormValue(userId) + "&invite=true";
}

int CPresenceInvite::Send(const std::string& email, const std::string& userId, Done done)
{
    ZLOG_SCOPE();
    const auto at = email.find('@');
    if (email.size() > kMaxAddress || at == std::string::npos || at == 0 || at + 1 == email.size())
        return -2;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_done)
            return -3;
        m_done = std::move(done);
    }
    m_inet->m_closed.store(0); // the object serves one request after another
    if (CMXINet::Init() != 1 ||
        m_inet->MakeHttpConnection(&CPresenceInvite::Status, this, m_host, m_port, "POST", kPath, "*/*", 0) != 1) {
        ZLOG(LOG_ERROR, "Unable to make http connection");
    } else if (m_inet->AddRequestHeaders(zelora::web::kAcceptHeader, zelora::inet::HTTP_ADDREQ_FLAG_REPLACE) != 1 ||
               m_inet->AddRequestHeaders(zelora::web::kContentTypeHeader, zelora::inet::HTTP_ADDREQ_FLAG_ADD_IF_NEW) !=
                   1) {
        ZLOG(LOG_ERROR, "Unable to add request headers");
    } else {
        m_body = Body(email, userId);
        if (m_inet->SendRequest(m_body.data(), m_body.size()) == 1)
            return 1;
        ZLOG(LOG_ERROR, "Unable to send request");
    }
    m_inet->Close();
    std::lock_guard<std::mutex> lock(m_lock);
    m_done = nullptr;
    return -1;
}

void CPresenceInvite::Status(std::string text, int state, void* context)
{
    auto* self = static_cast<CPresenceInvite*>(context);
    if (self == nullptr || state == INET_STATE_PROGRESS)
        return;
    ZLOG_SCOPE();
    int code = 0;
    if (state == INET_STATE_FAILED) {
        ZLOG(LOG_ERROR, "Error while getting invited contact Request");
        ZLOG(LOG_INFO, "%s", text.c_str());
    } else if (self->m_inet->QueryStatusCode(code) != 4 || code != 200) {
        ZLOG(LOG_ERROR, "Http Response code %d", code);
        state = INET_STATE_FAILED;
    }
    self->m_inet->ClosedByINet();
    self->Finish(state == INET_STATE_FAILED ? kFailed : kSent);
}

void CPresenceInvite::Finish(const char* text)
{
    Done done;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        done.swap(m_done);
    }
    if (done)
        done(text);
}
