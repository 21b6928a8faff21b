#include "presence/CPresenceSearch.h"

#include "app/CLogger.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/PresenceCodes.h"

#include <cstdlib>

CPresenceSearch::CPresenceSearch(IPresenceSearchView& view, Command send, std::string domain)
    : m_view(view), m_send(std::move(send)), m_domain(std::move(domain))
{
}

std::vector<std::pair<std::string, int>> CPresenceSearch::Columns()
{
    std::vector<std::pair<std::string, int>> columns;
    const std::string described = kColumns;
    std::size_t start = 0;
    while (start < described.size()) {
        std::size_t end = described.find(';', start);
        if (end == std::string::npos)
            end = described.size();
        const std::string part = described.substr(start, end - start);
        const std::size_t comma = part.find(',');
        columns.emplace_back(part.substr(0, comma), std::atoi(part.c_str() + comma + 1));
        start = end + 1;
    }
    return columns;
}

void CPresenceSearch::Enter(SearchState state, const std::string& text)
{
    m_state = state;
    m_view.ShowState(state, text);
}

int CPresenceSearch::Search(const std::string& text, const SearchCriteria& criteria)
{
    ZLOG_SCOPE();
    if (m_state == SearchState::Searching)
        return -2;
    if (text.empty()) {
        m_view.ShowMessage(kEmptyText);
        return -1;
    }
    auto* s = new CSearchContact;
    s->text = BoundedText(text, kPresenceTextMax);
    s->byUserName = criteria.userName ? 1 : 0;
    s->byName = criteria.name ? 1 : 0;
    s->byEmail = criteria.email ? 1 : 0;
    s->byPhone = criteria.phone ? 1 : 0;
    if (!m_send(PRESENCE_COMMAND_XMPP_SEARCH_USER, s))
        return -3;
    m_items.clear();
    m_view.ShowResults(m_items);
    Enter(SearchState::Searching, kInProgress);
    return 0;
}

void CPresenceSearch::Result(const CSearchResult* result)
{
    ZLOG_SCOPE();
    if (result == nullptr) {
        // A failed search is only logged; the dialog is ready for the next one.
        ZLOG(LOG_ERROR, "Search failed");
        Enter(SearchState::Idle, "");
        return;
    }
    m_items = result->items;
    m_view.ShowResults(m_items);
    if (m_items.empty())
        Enter(SearchState::NoResult, kNoResult);
    else
        Enter(SearchState::Results, std::to_string(m_items.size()) + " contact(s) found");
}

void CPresenceSearch::TimedOut()
{
    if (m_state != SearchState::Searching)
        return;
    ZLOG(LOG_ERROR, kNoAnswer);
    Enter(SearchState::Idle, "");
    m_view.ShowMessage(kNoAnswer);
}

int CPresenceSearch::AddAsContact(const std::string& id, const std::string& name)
{
    ZLOG_SCOPE();
    if (id.empty()) {
        m_view.ShowMessage(kInvalidId);
        return -1;
    }
    auto* item = new CRosterItem;
    // As the add-contact dialog: a bare ID is a user of the presence domain.
    item->contactJid = BoundedText(id.find(m_domain) == std::string::npos ? id + "@" + m_domain : id, kPresenceTextMax);
    item->name = BoundedText(name.empty() ? id : name, kPresenceTextMax);
    item->group = CGUIPresenceHandler::kDefaultGroup;
    if (!m_send(PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT, item)) {
        m_view.ShowMessage(kAddFailed);
        return -2;
    }
    m_view.ShowMessage(kAdded);
    return 0;
}
