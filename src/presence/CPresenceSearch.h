#pragma once
// The search dialog's logic: its states (idle, searching, results, nothing found), the
// criteria it sends, its four result columns and "Add as a Contact".
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "presence/CPresenceData.h"

enum class SearchState { Idle, Searching, Results, NoResult };

class IPresenceSearchView {
public:
    virtual ~IPresenceSearchView() = default;
    // The button is enabled only outside Searching; `text` is the state's line.
    virtual void ShowState(SearchState state, const std::string& text) = 0;
    virtual void ShowResults(const std::vector<SearchResultItem>& items) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
};

struct SearchCriteria {
    bool userName = true, name = false, email = false, phone = false;
};

class CPresenceSearch {
public:
    static constexpr const char* kColumns = "ID,140;Name,110;EMail,130;Phone,90";
    static constexpr const char* kEmptyText = "Please! Enter String to search";
    static constexpr const char* kInProgress = "Search in progress...";
    static constexpr const char* kNoResult = "No contact found";
    static constexpr const char* kInvalidId = "Invalid Contact Id";
    static constexpr const char* kAddFailed = "Unable to Add Contact";
    static constexpr const char* kAdded = "Contact request sent";
    static constexpr const char* kNoAnswer = "The search service did not answer";
    // Without a search service the request is dropped unanswered: the dialog gives up then.
    static constexpr int kAnswerTimeoutMs = 15000;
    // Sends one command; false when it cannot go out.
    using Command = std::function<bool(int command, CPresenceData* data)>;

    CPresenceSearch(IPresenceSearchView& view, Command send, std::string domain);

    // 0 sent; -1 an empty text; -2 a search is still running; -3 it could not be sent.
    int Search(const std::string& text, const SearchCriteria& criteria);
    // The answer, or null when the search failed.
    void Result(const CSearchResult* result);
    // No answer within kAnswerTimeoutMs: ready for the next search (a late answer still shows).
    void TimedOut();
    // 0 requested; -1 an empty ID; -2 it could not be sent.
    int AddAsContact(const std::string& id, const std::string& name);

    SearchState State() const { return m_state; }
    const std::vector<SearchResultItem>& Items() const { return m_items; }
    // "ID,140;..." as (title, width) pairs.
    static std::vector<std::pair<std::string, int>> Columns();

private:
    void Enter(SearchState state, const std::string& text);

    IPresenceSearchView& m_view;
    Command m_send;
    std::string m_domain;
    SearchState m_state = SearchState::Idle;
    std::vector<SearchResultItem> m_items;
};
