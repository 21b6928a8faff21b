#include "presence/CPresenceChatTabs.h"

#include "app/CLogger.h"
#include "presence/PresenceCodes.h"

CPresenceChatTabs::CPresenceChatTabs(IPresenceChatTabsView& view, ChatPageIdentity own, CPresenceChatPage::Sender send)
    : m_view(view), m_own(std::move(own)), m_send(std::move(send))
{
}

CPresenceChatTabs::~CPresenceChatTabs() = default;

void CPresenceChatTabs::ApplySettings(const PresenceChatSettings& settings)
{
    m_settings = settings;
    for (auto& page : m_pages)
        page->ApplySettings(settings);
}

int CPresenceChatTabs::Find(const std::string& jid) const
{
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        if (m_pages[i]->ContactJid() == jid)
            return static_cast<int>(i);
    return -1;
}

CPresenceChatPage* CPresenceChatTabs::Page(int index) const
{
    return index >= 0 && index < Count() ? m_pages[static_cast<std::size_t>(index)].get() : nullptr;
}

int CPresenceChatTabs::Ensure(const std::string& jid, const std::string& name, bool& created)
{
    created = false;
    if (const int index = Find(jid); index >= 0) {
        CPresenceChatPage& page = *m_pages[static_cast<std::size_t>(index)];
        if (!name.empty() && name != page.ContactName()) {
            page.SetContactName(name);
            m_view.SetPageTitle(index, name);
        }
        return index;
    }
    auto& slot = m_slots[jid];
    if (!slot)
        slot = std::make_unique<ChatSessionSlot>(nullptr);
    ChatPageIdentity id = m_own;
    id.contactJid = jid;
    id.contactName = name;
    IPresenceChatPageView& pageView = m_view.AddPage(name.empty() ? jid : name);
    auto page = std::make_unique<CPresenceChatPage>(id, slot.get(), pageView);
    page->ApplySettings(m_settings);
    // The file is kept open for the page's life; with history off nothing is written to it.
    if (m_settings.history)
        page->EnableChatHistoryLogger(jid, m_own.folder);
    m_pages.push_back(std::move(page));
    created = true;
    return Count() - 1;
}

int CPresenceChatTabs::Open(const std::string& jid, const std::string& name)
{
    bool created = false;
    const int index = Ensure(jid, name, created);
    m_view.SelectPage(index);
    m_view.ShowWindow(true);
    return index;
}

ChatArrival CPresenceChatTabs::Decide(const PresenceChatSettings& settings, bool created, bool visible, bool active,
                                      bool current)
{
    ChatArrival a;
    a.created = created;
    if (settings.bringFront) {
        a.select = a.raise = true;
        return a;
    }
    // Left where the user is; a hidden window opens on the message's tab.
    a.select = !visible || current;
    a.popup = settings.toastPopup && !(active && current);
    return a;
}

ChatArrival CPresenceChatTabs::Receive(const CChatMessage& message, const std::string& name, std::time_t when)
{
    ZLOG_SCOPE();
    m_signedIn = true;
    const bool visible = m_view.WindowVisible();
    const bool active = m_view.WindowActive();
    bool created = false;
    const int index = Ensure(message.peerJid, name, created);
    const ChatArrival a = Decide(m_settings, created, visible, active, m_view.CurrentPage() == index);
    m_pages[static_cast<std::size_t>(index)]->Received(message, when);
    if (a.select)
        m_view.SelectPage(index);
    if (a.raise || !visible)
        m_view.ShowWindow(a.raise);
    if (a.popup)
        m_view.Popup(message.peerJid, name.empty() ? message.peerJid : name, kSays + message.body);
    return a;
}

void CPresenceChatTabs::ContactPresence(const RosterEntry& contact, std::time_t when)
{
    if (CPresenceChatPage* page = Page(Find(contact.jid)))
        page->Presence(contact, when);
}

int CPresenceChatTabs::Send(int index, const std::string& text, std::time_t when)
{
    CPresenceChatPage* page = Page(index);
    if (page == nullptr)
        return -1;
    return page->Send(text, when,
                      [this](std::unique_ptr<CChatMessage> m) { return m_signedIn && m_send(std::move(m)); });
}

void CPresenceChatTabs::Close(int index)
{
    if (Page(index) == nullptr)
        return;
    m_pages.erase(m_pages.begin() + index);
    m_view.RemovePage(index);
}
