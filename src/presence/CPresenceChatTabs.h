#pragma once
// The tabbed chat window's logic: one page per contact, found by the contact's JID; where
// an arriving message goes and whether its tab comes forward or a pop-up announces it.
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "presence/CPresenceChatPage.h"

// What the window does for one arriving message.
struct ChatArrival {
    bool created = false; // a new tab was made for it
    bool select = false; // its tab becomes the current one
    bool raise = false; // the window comes to the front and takes the focus
    bool popup = false; // a pop-up announces it instead
};

class IPresenceChatTabsView {
public:
    virtual ~IPresenceChatTabsView() = default;
    // A new tab at the end; the page's widget stays the view's.
    virtual IPresenceChatPageView& AddPage(const std::string& title) = 0;
    virtual void RemovePage(int index) = 0;
    virtual void SetPageTitle(int index, const std::string& title) = 0;
    virtual void SelectPage(int index) = 0;
    virtual int CurrentPage() const = 0;
    // Shown; `activate`: raised and given the focus, else shown without taking it.
    virtual void ShowWindow(bool activate) = 0;
    virtual bool WindowVisible() const = 0;
    virtual bool WindowActive() const = 0;
    virtual void Popup(const std::string& jid, const std::string& title, const std::string& text) = 0;
};

class CPresenceChatTabs {
public:
    static constexpr const char* kWindowTitle = "zelora Chat";
    static constexpr const char* kSays = " Says:\n";

    CPresenceChatTabs(IPresenceChatTabsView& view, ChatPageIdentity own, CPresenceChatPage::Sender send);
    ~CPresenceChatTabs();

    void ApplySettings(const PresenceChatSettings& settings);
    const PresenceChatSettings& Settings() const { return m_settings; }
    // The user opened the conversation: its tab, shown and in front. Returns its index.
    int Open(const std::string& jid, const std::string& name);
    ChatArrival Receive(const CChatMessage& message, const std::string& name, std::time_t when);
    void ContactPresence(const RosterEntry& contact, std::time_t when);
    int Send(int index, const std::string& text, std::time_t when);
    void Close(int index);
    // Pages stay; sending is refused until the connection is back.
    void SignedOut() { m_signedIn = false; }
    void SignedIn() { m_signedIn = true; }

    static ChatArrival Decide(const PresenceChatSettings& settings, bool created, bool visible, bool active,
                              bool current);

    int Find(const std::string& jid) const;
    int Count() const { return static_cast<int>(m_pages.size()); }
    CPresenceChatPage* Page(int index) const;

private:
    int Ensure(const std::string& jid, const std::string& name, bool& created);

    IPresenceChatTabsView& m_view;
    ChatPageIdentity m_own;
    CPresenceChatPage::Sender m_send;
    PresenceChatSettings m_settings;
    bool m_signedIn = true;
    std::vector<std::unique_ptr<CPresenceChatPage>> m_pages;
    // The XMPP side keeps writing a slot it filled until its connection resets: slots outlive
    // their pages and serve the contact's next page.
    std::map<std::string, std::unique_ptr<ChatSessionSlot>> m_slots;
};
