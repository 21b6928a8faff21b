#include "RecordingView.h"

void RecordingView::Add(std::string line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(std::move(line));
    m_taken.push_back(false);
    m_cv.notify_all();
}

std::string RecordingView::WaitFor(const std::string& text, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::string found;
    m_cv.wait_for(lock, timeout, [&] {
        for (std::size_t i = 0; i < m_lines.size(); ++i)
            if (!m_taken[i] && m_lines[i].find(text) != std::string::npos) {
                m_taken[i] = true;
                found = m_lines[i];
                return true;
            }
        return false;
    });
    return found;
}

int RecordingView::Count(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const std::string& l : m_lines)
        n += l.find(text) != std::string::npos ? 1 : 0;
    return n;
}

std::string RecordingView::Tail(std::size_t n)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string out;
    for (std::size_t i = m_lines.size() > n ? m_lines.size() - n : 0; i < m_lines.size(); ++i)
        out += m_lines[i].substr(0, 80) + "\n";
    return out;
}

void RecordingView::LoginStatus(std::unique_ptr<CConnectionError> error)
{
    Add(error ? "LOGIN FAILED error=" + std::to_string(error->connectionError) +
                " detail=" + std::to_string(error->errorDetail)
              : "LOGIN OK");
}

void RecordingView::RosterArrived(int count) { Add("ROSTER count=" + std::to_string(count)); }

void RecordingView::ContactPresence(const RosterEntry& c)
{
    Add("PRESENCE jid=" + c.jid + " presence=" + std::to_string(c.presence) + " status=" + c.statusMessage);
}

void RecordingView::SubscriptionRequest(const std::string& jid, const std::string& text)
{
    Add("SUBSCRIBE-REQUEST jid=" + jid + " text=" + text);
}

void RecordingView::ItemUnsubscribed(const std::string& jid) { Add("UNSUBSCRIBED jid=" + jid); }

void RecordingView::RosterChanged(int command, const std::string& jid)
{
    Add("ROSTER-CHANGED " + std::to_string(command) + " jid=" + jid);
}

void RecordingView::ChatMessage(std::unique_ptr<CChatMessage> m)
{
    Add("CHAT from=" + m->peerJid + " kind=" + std::to_string(m->kind) + " text=" + m->body);
}

void RecordingView::ServiceError(std::unique_ptr<CChatMessage> m) { Add("ERROR from=" + m->peerJid); }

void RecordingView::Notify(const std::string& title, const std::string& text, bool headline)
{
    Add("NOTIFY " + title + text + (headline ? " headline" : ""));
}

void RecordingView::Profile(std::unique_ptr<CVCard> card, bool own)
{
    const PresenceProfileFields f = card->profile.value_or(PresenceProfileFields{});
    Add("VCARD jid=" + card->contactJid + " own=" + std::to_string(own) + " given=" + f.given + " nick=" + f.nick +
        " photo=" + std::to_string(f.photo.size()) + (f.photo.find('\0') != std::string::npos ? " nul" : ""));
}

void RecordingView::ProfileStored(std::unique_ptr<CVCard> card) { Add("VCARD-STORED " + std::to_string(card->result)); }

void RecordingView::SearchResult(const CSearchResult* result)
{
    Add("SEARCH count=" + std::to_string(result ? result->items.size() : 0));
    for (std::size_t i = 0; result != nullptr && i < result->items.size(); ++i) {
        const SearchResultItem& r = result->items[i];
        Add("SEARCH-ITEM " + r.userName + "|" + r.name + "|" + r.email + "|" + r.phone);
    }
}

void RecordingView::ImStatus(int imType, int signedIn, int loginInfo)
{
    Add("IM-STATUS " + std::to_string(imType) + " " + std::to_string(signedIn) + " " + std::to_string(loginInfo));
}

void RecordingView::GroupChatInvitation(const CMUCDetail& invite)
{
    Add("MUC-INVITE room=" + invite.room + " from=" + invite.from + " reason=" + invite.reason);
}

void RecordingView::ServicesDiscovered(const CIMLoginIDDetails& details)
{
    std::string line = "SERVICES";
    for (std::size_t i = 0; i < details.jids.size(); ++i)
        line += " " + details.jids[i] +
            (i < details.registeredIds.size() && !details.registeredIds[i].empty() ? "=" + details.registeredIds[i]
                                                                                   : "");
    Add(line);
}
