#include "presence/CGUIPresenceHandler.h"

#include "app/CLogger.h"
#include "platform/MessageQueue.h"
#include "presence/CFifo.h"
#include "presence/IPresenceView.h"
#include "presence/PresenceCodes.h"

#include <algorithm>
#include <chrono>
#include <strings.h>

namespace {

bool KnownGateway(int imType)
{
    if (imType >= IM_TYPE_YAHOO && imType <= IM_TYPE_GTALK)
        return true;
    ZLOG(LOG_ERROR, "No Case Matched-IM Settings");
    return false;
}

} // namespace

CGUIPresenceHandler::CGUIPresenceHandler(CFifo& xmppFifo, CFifo& guiFifo) : m_xmppFifo(xmppFifo), m_guiFifo(guiFifo) { }

CGUIPresenceHandler::~CGUIPresenceHandler()
{
    ZLOG_SCOPE();
    m_stop = 1;
    if (m_thread.joinable())
        m_thread.join();
}

int CGUIPresenceHandler::InitializeGUIPresenceHandler(const std::string& ownJid, const std::string& userId,
                                                      const std::string& domain, IPresenceView* view,
                                                      zelora::MessageQueue* mainWindow,
                                                      const PresenceGateways& gateways)
{
    ZLOG_SCOPE();
    if (m_view != nullptr)
        return -1;
    m_ownJid = ownJid;
    m_userId = userId;
    m_domain = domain;
    m_view = view;
    m_mainWindow = mainWindow;
    m_gateways = gateways;
    try {
        m_thread = std::thread(&CGUIPresenceHandler::ThreadProc, this);
    } catch (const std::system_error&) {
        m_view = nullptr;
        ZLOG(LOG_ERROR, "----- CreateThread failed -----");
        return -2;
    }
    m_done = 0;
    return 0;
}

int CGUIPresenceHandler::HandleGUIPresenceData(std::int32_t command, CPresenceData* data)
{
    ZLOG_SCOPE();
    if (command < PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT || command > PRESENCE_COMMAND_XMPP_BROADCAST_MESSAGE ||
        command == PRESENCE_COMMAND_XMPP_UNUSED_101 || command == PRESENCE_COMMAND_XMPP_REMOVE_CONTACT_FROM_GROUP) {
        ZLOG(LOG_DEBUG, "Unknown Case");
        delete data; // not forwarded: nobody else will free it
        return 0;
    }
    WriteToXMPPFIFO(command, data);
    if (command == PRESENCE_COMMAND_XMPP_SEND_CHAT_MESSAGE)
        PostSound(m_notify.soundMessageSent, m_notify.sentMessageSound);
    return 0;
}

void CGUIPresenceHandler::SetNotifySettings(const PresenceNotifySettings& s)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notify = s;
}

void CGUIPresenceHandler::WriteToXMPPFIFO(std::int32_t command, CPresenceData* data)
{
    PresenceWrite(m_xmppFifo, command, data);
}

int CGUIPresenceHandler::IsIMTransportJID(const std::string& jid) const
{
    const std::string* hosts[] = {&m_gateways.yahoo, &m_gateways.msn, &m_gateways.gtalk};
    for (int i = 0; i < 3; ++i)
        if (!hosts[i]->empty() && strcasecmp(jid.c_str(), hosts[i]->c_str()) == 0)
            return i + 1;
    return -1;
}

std::vector<RosterEntry> CGUIPresenceHandler::Roster() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_roster;
}

GatewayStatus CGUIPresenceHandler::Gateway(int imType) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return (imType >= 0 && imType < 4) ? m_status[imType] : GatewayStatus{};
}

void CGUIPresenceHandler::UseSettingsFile(const std::string& path)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settingsFile = path;
    CPresenceIMAccounts::Load(path, m_status);
}

void CGUIPresenceHandler::UseSettingsFile(const std::string& path, const GatewayTable& loaded)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settingsFile = path;
    for (int type = IM_TYPE_YAHOO; type <= IM_TYPE_GTALK; ++type) {
        m_status[type].loginInfo = loaded[type].loginInfo;
        m_status[type].loginAtStartUp = loaded[type].loginAtStartUp;
    }
}

int CGUIPresenceHandler::AddIMAccount(int imType, const std::string& userName, const std::string& password,
                                      int atStartUp, std::string& refusal)
{
    ZLOG_SCOPE();
    if (!KnownGateway(imType))
        return -1;
    if (const char* text = CPresenceIMAccounts::Refusal(imType, userName, password)) {
        refusal = text;
        return -3;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status[imType].loginInfo = 1;
        m_status[imType].loginAtStartUp = atStartUp == 1 ? 1 : 0;
        if (!m_settingsFile.empty())
            CPresenceIMAccounts::Store(m_settingsFile, imType, 1, m_status[imType].loginAtStartUp);
    }
    auto* d = new CIMDetails;
    d->imType = imType;
    d->userName = BoundedText(userName, kPresenceTextMax);
    d->password = BoundedText(password, kPresenceTextMax);
    HandleGUIPresenceData(PRESENCE_COMMAND_XMPP_REGISTER_IM, d);
    return 0;
}

int CGUIPresenceHandler::DeleteIMAccount(int imType)
{
    ZLOG_SCOPE();
    if (!KnownGateway(imType))
        return -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status[imType].loginInfo = 0;
        m_status[imType].loginAtStartUp = 0;
        if (!m_settingsFile.empty())
            CPresenceIMAccounts::Store(m_settingsFile, imType, 0, 0);
    }
    auto* d = new CIMDetails;
    d->imType = imType;
    HandleGUIPresenceData(PRESENCE_COMMAND_XMPP_UNREGISTER_IM, d);
    return 0;
}

int CGUIPresenceHandler::SetIMLoginAtStartUp(int imType, int on)
{
    ZLOG_SCOPE();
    if (!KnownGateway(imType))
        return -1;
    auto* d = new CIMDetails;
    d->imType = imType;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status[imType].loginAtStartUp = on == 1 ? 1 : 0;
        if (!m_settingsFile.empty())
            CPresenceIMAccounts::Store(m_settingsFile, imType, m_status[imType].loginInfo, on == 1 ? 1 : 0);
        d->yahooAtStartUp = m_status[IM_TYPE_YAHOO].loginAtStartUp;
        d->msnAtStartUp = m_status[IM_TYPE_MSN].loginAtStartUp;
        d->gtalkAtStartUp = m_status[IM_TYPE_GTALK].loginAtStartUp;
    }
    HandleGUIPresenceData(PRESENCE_COMMAND_XMPP_SET_IM_LOGIN_AT_STARTUP, d);
    return 0;
}

void CGUIPresenceHandler::ThreadProc()
{
    ZLOG_SCOPE();
    while (m_stop == 0) {
        CFifoMessage* message = nullptr;
        m_guiFifo.WaitMessage(message, kPollMs);
        if (message == nullptr)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (Handle(message->command, message->data))
            message->data = nullptr;
        PresenceRelease(message);
    }
    m_done = 1;
}

RosterEntry* CGUIPresenceHandler::Find(const std::string& jid)
{
    for (RosterEntry& e : m_roster)
        if (e.jid == jid)
            return &e;
    return nullptr;
}

// Called with m_mutex held, which serialises the view against the window's own work.
bool CGUIPresenceHandler::Handle(std::int32_t command, CPresenceData* data)
{
    switch (command) {
    case PRESENCE_COMMAND_GUI_LOGIN_SUCCESSFUL:
        HandleSuccessfulLogin();
        return false;
    case PRESENCE_COMMAND_GUI_AUTHENTICATION_FAILURE:
        return HandleConnectionError(data);
    case PRESENCE_COMMAND_GUI_PROCESS_CHAT_MESSAGE:
        return HandleChatMessage(data);
    default:
        break;
    }
    if (data == nullptr) {
        if (command == PRESENCE_COMMAND_GUI_SEARCH_ERROR)
            m_view->SearchResult(nullptr);
        return false;
    }
    if (auto* roster = dynamic_cast<CRosterData*>(data);
        roster && command == PRESENCE_COMMAND_GUI_PROCESS_ROSTER_DATA) {
        HandleRosterData(*roster);
    } else if (auto* p = dynamic_cast<CRosterPresenceData*>(data);
               p && command == PRESENCE_COMMAND_GUI_PROCESS_ROSTER_PRESENCE_DATA) {
        HandleRosterPresenceData(*p);
    } else if (auto* item = dynamic_cast<CRosterItem*>(data)) {
        HandleRosterItem(command, *item);
    } else if (auto* card = dynamic_cast<CVCard*>(data)) {
        std::unique_ptr<CVCard> owned(card);
        if (command == PRESENCE_COMMAND_GUI_VCARD_RESULT)
            m_view->Profile(std::move(owned), card->contactJid == m_ownJid);
        else if (command == PRESENCE_COMMAND_GUI_STORE_VCARD_RESULT)
            m_view->ProfileStored(std::move(owned));
        else
            owned.release();
        return command == PRESENCE_COMMAND_GUI_VCARD_RESULT || command == PRESENCE_COMMAND_GUI_STORE_VCARD_RESULT;
    } else if (auto* result = dynamic_cast<CSearchResult*>(data)) {
        m_view->SearchResult(result);
    } else if (auto* nr = dynamic_cast<CIMPersonalNonRosterPresenceData*>(data)) {
        HandleIMLoginStatus(nr->jid, nr->presence);
    } else if (auto* ids = dynamic_cast<CIMLoginIDDetails*>(data)) {
        HandleIMLoginIDDetails(*ids);
    } else if (auto* im = dynamic_cast<CIMDetails*>(data);
               im && command == PRESENCE_COMMAND_GUI_IM_REGISTRATION_RESULT) {
        m_view->ImRegistered(im->imType, im->result == 1);
    } else if (auto* invite = dynamic_cast<CMUCDetail*>(data);
               invite && command == PRESENCE_COMMAND_GUI_MUC_INVITATION) {
        m_view->GroupChatInvitation(*invite);
    }
    return false; // the other group-chat codes and the unused ones reach no handler
}

void CGUIPresenceHandler::HandleRosterItem(std::int32_t command, CRosterItem& item)
{
    switch (command) {
    case PRESENCE_COMMAND_GUI_SUBSCRIPTION_REQUEST:
        m_view->SubscriptionRequest(item.contactJid, item.requestText);
        PostSound(m_notify.soundInvitation, m_notify.invitationSound);
        break;
    case PRESENCE_COMMAND_GUI_ITEM_UNSUBSCRIBED:
        m_view->ItemUnsubscribed(item.contactJid);
        break;
    case PRESENCE_COMMAND_GUI_ITEM_ADDED:
        HandleRosterItemAdded(item);
        break;
    case PRESENCE_COMMAND_GUI_ITEM_REMOVED:
        HandleRosterItemRemoved(item);
        break;
    case PRESENCE_COMMAND_GUI_ITEM_UPDATED:
        if (RosterEntry* e = Find(item.contactJid)) {
            e->name = item.name;
            e->groups = item.groups;
            e->subscription = item.subscription;
            m_view->RosterChanged(command, item.contactJid);
        }
        break;
    default:
        break; // subscribed and unsubscription requests are only logged
    }
}

void CGUIPresenceHandler::HandleSuccessfulLogin()
{
    ZLOG_SCOPE();
    m_status[IM_TYPE_PRESENCE].signedIn = 1;
    m_view->LoginStatus(nullptr);
    EnableIMLoginIfExists();
}

bool CGUIPresenceHandler::HandleConnectionError(CPresenceData* data)
{
    ZLOG_SCOPE();
    auto* error = dynamic_cast<CConnectionError*>(data);
    if (error == nullptr)
        return false;
    m_status[IM_TYPE_PRESENCE].signedIn = 0;
    m_view->LoginStatus(std::unique_ptr<CConnectionError>(error));
    return true;
}

void CGUIPresenceHandler::HandleRosterData(CRosterData& roster)
{
    ZLOG_SCOPE();
    m_roster.clear();
    for (RosterEntry& e : roster.entries) {
        if (IsIMTransportJID(e.jid) >= 0)
            continue;
        if (e.groups.empty())
            e.groups.push_back(kDefaultGroup);
        e.presence = PRESENCE_OFFLINE; // new nodes start offline
        m_roster.push_back(std::move(e));
    }
    m_view->RosterArrived(static_cast<int>(m_roster.size()));
}

void CGUIPresenceHandler::HandleRosterPresenceData(CRosterPresenceData& data)
{
    ZLOG_SCOPE();
    if (HandleIMLoginStatus(data.entry.jid, data.entry.presence) >= 0)
        return;
    RosterEntry* e = Find(data.entry.jid);
    if (e == nullptr)
        return;
    e->presence = data.entry.presence;
    e->statusMessage = data.entry.statusMessage;
    e->resource = data.entry.resource;
    m_view->ContactPresence(*e);
    const std::string title = e->name.empty() ? e->jid : e->name;
    if (data.entry.presence == PRESENCE_OFFLINE) {
        PostSound(m_notify.soundOffline, m_notify.offlineSound);
        if (m_notify.notifyOffline == 1)
            m_view->Notify(title, " is Offline", false);
    } else if (data.entry.presence == PRESENCE_AVAILABLE && m_notify.notifyOnline == 1) {
        m_view->Notify(title, " is Online", false);
    }
    if (m_mainWindow != nullptr)
        m_mainWindow->Post(PRESENCE_WM_ADDRESSBOOK_PRESENCE, data.entry.presence, 0, data.entry.jid);
}

bool CGUIPresenceHandler::HandleChatMessage(CPresenceData* data)
{
    ZLOG_SCOPE();
    auto* message = dynamic_cast<CChatMessage*>(data);
    if (message == nullptr || message->peerJid.empty())
        return false;
    if (RosterEntry* e = Find(message->peerJid))
        message->senderName = e->name;
    const std::string title = message->senderName.empty() ? message->peerJid : message->senderName;
    switch (message->kind) {
    case MESSAGE_KIND_ERROR:
        m_view->ServiceError(std::unique_ptr<CChatMessage>(message));
        return true;
    case MESSAGE_KIND_HEADLINE:
        m_view->Notify(title, " Says:\n" + message->body, true);
        return false;
    case MESSAGE_KIND_CHAT:
        PostSound(m_notify.soundMessageArrive, m_notify.newMessageSound);
        if (m_notify.toastPopup == 1)
            m_view->Notify(title, " Says:\n" + message->body, false);
        m_view->ChatMessage(std::unique_ptr<CChatMessage>(message));
        return true;
    case MESSAGE_KIND_NORMAL:
        m_view->ChatMessage(std::unique_ptr<CChatMessage>(message));
        return true;
    default:
        return false;
    }
}

void CGUIPresenceHandler::HandleRosterItemAdded(CRosterItem& item)
{
    ZLOG_SCOPE();
    if (IsIMTransportJID(item.contactJid) >= 0)
        return;
    if (Find(item.contactJid) == nullptr) {
        RosterEntry e;
        e.jid = item.contactJid;
        e.name = item.name;
        e.subscription = item.subscription;
        e.groups = item.groups.empty() ? std::vector<std::string>{item.group.empty() ? kDefaultGroup : item.group}
                                       : item.groups;
        e.presence = PRESENCE_OFFLINE;
        m_roster.push_back(std::move(e));
    }
    m_view->RosterChanged(PRESENCE_COMMAND_GUI_ITEM_ADDED, item.contactJid);
}

void CGUIPresenceHandler::HandleRosterItemRemoved(CRosterItem& item)
{
    ZLOG_SCOPE();
    std::erase_if(m_roster, [&](const RosterEntry& e) { return e.jid == item.contactJid; });
    m_view->RosterChanged(PRESENCE_COMMAND_GUI_ITEM_REMOVED, item.contactJid);
}

int CGUIPresenceHandler::HandleIMLoginStatus(const std::string& jid, int presence)
{
    const int type = IsIMTransportJID(jid);
    if (type < 0)
        return -2;
    GatewayStatus& s = m_status[type];
    if (presence == PRESENCE_OFFLINE) {
        if (s.signedIn != 1)
            return type;
        s.signedIn = 0;
        s.loginInfo = 1;
    } else {
        s.signedIn = 1;
        s.loginInfo = 1;
    }
    m_view->ImStatus(type, s.signedIn, s.loginInfo);
    return type;
}

void CGUIPresenceHandler::HandleIMLoginIDDetails(CIMLoginIDDetails& details)
{
    ZLOG_SCOPE();
    for (std::size_t i = 0; i < details.jids.size(); ++i) {
        const int type = IsIMTransportJID(details.jids[i]);
        if (type > 0 && i < details.registeredIds.size() && !details.registeredIds[i].empty()) {
            m_status[type].loginInfo = 1;
            m_view->ImStatus(type, m_status[type].signedIn, 1);
        }
    }
    m_view->ServicesDiscovered(details);
    EnableIMLoginIfExists();
}

void CGUIPresenceHandler::EnableIMLoginIfExists()
{
    for (int type = IM_TYPE_YAHOO; type <= IM_TYPE_GTALK; ++type) {
        GatewayStatus& s = m_status[type];
        if (s.loginAtStartUp == 1 && s.loginInfo == 1 && s.signedIn == 0) {
            auto* details = new CIMDetails;
            details->imType = type;
            details->presence = PRESENCE_AVAILABLE;
            details->autoLogin = 1;
            WriteToXMPPFIFO(PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE, details);
        }
    }
}

void CGUIPresenceHandler::PostSound(int flag, const std::string& file)
{
    if (flag == 1 && m_mainWindow != nullptr)
        m_mainWindow->Post(PRESENCE_WM_PLAY_SOUND, 0, 0, file);
}
