#include "presence/CXMPPHandler.h"

#include "app/CLogger.h"
#include "presence/CClientSocket.h"
#include "presence/CGatewayStanzas.h"
#include "presence/CFifo.h"
#include "presence/CPresenceData.h"
#include "presence/CXMPPListener.h"
#include "presence/GlooxTranslate.h"
#include "presence/PresenceCodes.h"

#include <gloox/client.h>
#include <gloox/connectionhttpproxy.h>
#include <gloox/connectiontcpclient.h>
#include <gloox/dataform.h>
#include <gloox/disco.h>
#include <gloox/iq.h>
#include <gloox/messagesession.h>
#include <gloox/rostermanager.h>
#include <gloox/search.h>
#include <gloox/tag.h>
#include <gloox/vcard.h>
#include <gloox/vcardmanager.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {
enum ThreadIndex { kConnection = 0, kCommand = 1, kKeepAlive = 2 };
} // namespace

CXMPPHandler::CXMPPHandler(CFifo& xmppFifo, CFifo& guiFifo) : m_xmppFifo(xmppFifo), m_guiFifo(guiFifo) { }

CXMPPHandler::~CXMPPHandler()
{
    ZLOG_SCOPE();
    for (auto& s : m_stop)
        s = 1;
    {
        std::lock_guard<std::mutex> wake(m_wakeMutex);
        m_wake.notify_all();
    }
    if (m_threads[kConnection].joinable()) {
        {
            auto lock = LockClient();
            if (m_client) {
                m_client->removeConnectionListener(m_listener.get());
                m_client->rosterManager()->removeRosterListener();
                m_client->logInstance().removeLogHandler(m_listener.get());
                m_client->disconnect();
            }
        }
    }
    // No lock is held here: a thread may still need the client lock to finish its step.
    for (auto& t : m_threads)
        if (t.joinable())
            t.join();
    ResetGlooxConnection();
}

int CXMPPHandler::Init(const std::string& userId, const std::string& password, const std::string& domain,
                       const std::string& resource, int useProxy, const std::string& proxyHost, int proxyPort)
{
    ZLOG_SCOPE();
    m_userId = BoundedText(userId, kPresenceTextMax);
    m_password = BoundedText(password, kPresenceTextMax);
    m_domain = BoundedText(domain, kPresenceTextMax);
    m_resource = BoundedText(resource, kPresenceTextMax);
    m_ownJid = m_userId + "@" + m_domain;
    m_useProxy = useProxy;
    m_proxyHost = proxyHost;
    m_proxyPort = proxyPort;
    {
        std::lock_guard<std::mutex> lock(m_clientLock);
        InitGlooxConnection();
    }
    void (CXMPPHandler::*procs[3])() = {&CXMPPHandler::ThreadProc1, &CXMPPHandler::ThreadProc2,
                                        &CXMPPHandler::ThreadProc3};
    for (int i = 0; i < 3; ++i) {
        try {
            m_threads[i] = std::thread(procs[i], this);
            m_done[i] = 0;
        } catch (const std::system_error&) {
            ZLOG(LOG_ERROR, "----- CreateThread failed -----");
            return -2;
        }
    }
    return 1;
}

// Called with the client lock held (or before the threads exist).
int CXMPPHandler::InitGlooxConnection()
{
    ZLOG_SCOPE();
    gloox::JID jid(m_ownJid + "/" + m_resource);
    const std::string server = m_endpoint.server.empty() ? m_domain : m_endpoint.server;
    m_client = std::make_unique<gloox::Client>(jid, m_password, m_useProxy == 1 ? -1 : m_endpoint.port);
    m_client->setServer(server);
    m_client->setResource(m_resource);
    m_client->setSasl(true);
    m_client->setSASLMechanisms(gloox::SaslMechPlain);
    m_client->setCompression(false);
    m_client->setTls(gloox::TLSOptional);
    m_listener = std::make_unique<CXMPPListener>(*this, m_ownJid, m_userId);
    m_search = std::make_unique<gloox::Search>(m_client.get());
    m_vcardManager = std::make_unique<gloox::VCardManager>(m_client.get());
    m_client->registerConnectionListener(m_listener.get());
    m_client->registerMessageSessionHandler(m_listener.get(), 0);
    m_client->rosterManager()->registerRosterListener(m_listener.get(), false);
    m_client->registerMessageHandler(m_listener.get());
    m_mucHandler = std::make_unique<CXMPPMUCRoomHandler>(m_client.get(), *this);
    m_client->registerMUCInvitationHandler(m_mucHandler.get());
    m_client->registerStanzaExtension(new CRawDiscoItems());
    m_client->logInstance().registerLogHandler(gloox::LogLevelDebug, gloox::LogAreaAll, m_listener.get());
    if (m_useProxy == 1) {
        auto* tcp = new gloox::ConnectionTCPClient(m_client->logInstance(), m_proxyHost, m_proxyPort);
        auto* http =
            new gloox::ConnectionHTTPProxy(m_client.get(), tcp, m_client->logInstance(), server, m_endpoint.proxyPort);
        http->setHTTP11(true);
        m_client->setConnectionImpl(http);
        m_transport = tcp;
    } else {
        m_transport = nullptr;
    }
    m_services.clear();
    return 1;
}

int CXMPPHandler::ResetGlooxConnection()
{
    ZLOG_SCOPE();
    if (m_client)
        m_client->registerMUCInvitationHandler(nullptr);
    for (auto* slot : m_filledSlots)
        slot->store(nullptr);
    m_filledSlots.clear();
    m_mucHandler.reset();
    m_search.reset();
    m_vcardManager.reset();
    m_client.reset();
    m_listener.reset();
    return 1;
}

std::unique_lock<std::mutex> CXMPPHandler::LockClient()
{
    ++m_lockWaiters;
    std::unique_lock<std::mutex> lock(m_clientLock);
    --m_lockWaiters;
    return lock;
}

void CXMPPHandler::Disconnect()
{
    ZLOG_SCOPE();
    auto lock = LockClient();
    if (m_client)
        m_client->disconnect();
}

void CXMPPHandler::WriteToGuiFIFO(std::int32_t command, CPresenceData* data)
{
    PresenceWrite(m_guiFifo, command, data);
}

bool CXMPPHandler::SleepUnlessStopped(int milliseconds, const std::atomic<int>& stop)
{
    std::unique_lock<std::mutex> wake(m_wakeMutex);
    return !m_wake.wait_for(wake, std::chrono::milliseconds(milliseconds), [&] { return stop.load() != 0; });
}

void CXMPPHandler::ThreadProc1()
{
    ZLOG_SCOPE();
    {
        std::lock_guard<std::mutex> lock(m_clientLock);
        m_client->connect(false);
    }
    while (m_stop[kConnection] == 0) {
        gloox::ConnectionState state;
        int fd = -1;
        {
            std::lock_guard<std::mutex> lock(m_clientLock);
            state = m_client->state();
            fd = state == gloox::StateConnected ? CClientSocket::Of(*m_client, m_transport) : -1;
            if (state != gloox::StateDisconnected && fd < 0)
                m_client->recv(kRecvTimeoutUs);
        }
        // Connected: wait for data without the lock, so commands go out meanwhile.
        if (fd >= 0 && CClientSocket::WaitReadable(fd, kRecvTimeoutUs / 1000)) {
            std::lock_guard<std::mutex> lock(m_clientLock);
            if (m_client->state() != gloox::StateDisconnected)
                m_client->recv(0);
        }
        // Let a waiting command in before the next receive call.
        while (m_lockWaiters.load() > 0 && m_stop[kConnection] == 0)
            std::this_thread::yield();
        if (state == gloox::StateConnecting) {
            SleepUnlessStopped(kCommandPollMs, m_stop[kConnection]);
        } else if (state == gloox::StateDisconnected) {
            m_signedIn = 0;
            if (m_reconnect.load() == 1) {
                if (!SleepUnlessStopped(m_reconnectDelayMs, m_stop[kConnection]))
                    break;
                m_reconnect = 0;
                std::lock_guard<std::mutex> lock(m_clientLock);
                ResetGlooxConnection();
                InitGlooxConnection();
                ++m_reconnects;
                m_client->connect(false);
            } else {
                std::unique_lock<std::mutex> wake(m_wakeMutex);
                m_wake.wait_for(wake, std::chrono::milliseconds(kDisconnectedPollMs),
                                [&] { return m_stop[kConnection] != 0 || m_reconnect.load() == 1; });
            }
        }
    }
    m_done[kConnection] = 1;
}

void CXMPPHandler::ThreadProc2()
{
    ZLOG_SCOPE();
    while (m_stop[kCommand] == 0) {
        CFifoMessage* message = nullptr;
        m_xmppFifo.WaitMessage(message, kCommandPollMs);
        if (message == nullptr)
            continue;
        if (message->command == PRESENCE_COMMAND_XMPP_CLOSE_CHAT_SESSION) {
            message->data = nullptr; // a session pointer, not a record
        } else {
            auto lock = LockClient();
            Dispatch(message->command, message->data);
        }
        PresenceRelease(message);
    }
    m_done[kCommand] = 1;
}

void CXMPPHandler::ThreadProc3()
{
    ZLOG_SCOPE();
    for (long counter = 0; m_stop[kKeepAlive] == 0; ++counter) {
        if (!SleepUnlessStopped(1000, m_stop[kKeepAlive]))
            break;
        if (counter % kPingEveryTicks == 0 && m_signedIn.load() == 1) {
            auto lock = LockClient();
            if (m_client)
                m_client->whitespacePing();
        }
    }
    m_done[kKeepAlive] = 1;
}

// Client lock held.
void CXMPPHandler::Dispatch(std::int32_t command, CPresenceData*& data)
{
    if (command == PRESENCE_COMMAND_XMPP_RECONNECT) {
        ZLOG_AS(LOG_INFO, "CXMPPHandler::PRESENCE_COMMAND_XMPP_RECONNECT", "********Entering********");
        m_reconnect = 1;
        std::lock_guard<std::mutex> wake(m_wakeMutex);
        m_wake.notify_all();
        return;
    }
    // Before the stream is authenticated a stanza would be a protocol error that closes it.
    if (data == nullptr || !m_client || m_signedIn.load() != 1)
        return;
    if (auto* item = dynamic_cast<CRosterItem*>(data))
        return DispatchRoster(command, *item);
    if (auto* im = dynamic_cast<CIMDetails*>(data))
        return DispatchIm(command, *im);
    if (auto* chat = dynamic_cast<CChatMessage*>(data)) {
        if (command == PRESENCE_COMMAND_XMPP_SEND_CHAT_MESSAGE)
            SendChatMessage(*chat);
        else if (command == PRESENCE_COMMAND_XMPP_BROADCAST_MESSAGE)
            SendBroadCastMessage(*chat);
    } else if (auto* status = dynamic_cast<CRosterPresenceData*>(data)) {
        if (command == PRESENCE_COMMAND_XMPP_CHANGE_STATUS)
            SendPresenceData(*status);
    } else if (auto* card = dynamic_cast<CVCard*>(data)) {
        if (command == PRESENCE_COMMAND_XMPP_GET_VCARD)
            GetVCard(*card);
        else if (command == PRESENCE_COMMAND_XMPP_SET_VCARD)
            SetVCard(*card);
    } else if (auto* search = dynamic_cast<CSearchContact*>(data)) {
        if (command == PRESENCE_COMMAND_XMPP_SEARCH_USER)
            SearchContact(*search);
    }
}

void CXMPPHandler::DispatchRoster(std::int32_t command, CRosterItem& item)
{
    switch (command) {
    case PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT:
        AddSubscription(item);
        break;
    case PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION:
        AckSubscription(item);
        break;
    case PRESENCE_COMMAND_XMPP_UNSUBSCRIBE_CONTACT:
        RemoveSubscription(item);
        break;
    case PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP:
    case PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP:
    case PRESENCE_COMMAND_XMPP_REMOVE_CONTACT_FROM_GROUP:
        EditGroups(item, command);
        break;
    case PRESENCE_COMMAND_XMPP_RENAME_CONTACT:
        RenameContact(item);
        break;
    default:
        break;
    }
}

void CXMPPHandler::DispatchIm(std::int32_t command, CIMDetails& details)
{
    switch (command) {
    case PRESENCE_COMMAND_XMPP_REGISTER_IM:
        RegisterIM(details, false);
        break;
    case PRESENCE_COMMAND_XMPP_UNREGISTER_IM:
        RegisterIM(details, true);
        break;
    case PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE:
        SendIMPresence(details, true);
        break;
    case PRESENCE_COMMAND_XMPP_SET_IM_SIGNOUT:
        SendIMPresence(details, false);
        break;
    case PRESENCE_COMMAND_XMPP_SET_IM_LOGIN_AT_STARTUP:
        SendIMGatewayLoginAtStartUp(details);
        break;
    default:
        break;
    }
}

void CXMPPHandler::HandleLoginSuccessfull()
{
    ZLOG_SCOPE();
    m_signedIn = 1;
    RequestDiscoItems();
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_LOGIN_SUCCESSFUL, nullptr);
}

void CXMPPHandler::RequestDiscoItems()
{
    ZLOG_SCOPE();
    gloox::IQ iq(gloox::IQ::Get, gloox::JID(m_domain), m_client->getID());
    iq.addExtension(new gloox::Disco::Items());
    m_client->send(iq, m_listener.get(), CXMPPListener::kDiscoItemsContext);
}

void CXMPPHandler::HandleConnectionError(int error)
{
    ZLOG_SCOPE();
    auto* e = new CConnectionError;
    e->connectionError = presence_xlate::ConnectionErrorFromGloox(static_cast<gloox::ConnectionError>(error));
    e->errorDetail = m_client ? presence_xlate::StreamErrorFromGloox(m_client->streamError()) : 0;
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_AUTHENTICATION_FAILURE, e);
}

void CXMPPHandler::HandleRoster()
{
    ZLOG_SCOPE();
    auto* data = new CRosterData;
    for (const auto& [key, item] : *m_client->rosterManager()->roster()) {
        CRosterPresenceData* one =
            presence_xlate::PresenceFromRosterItem(*item, "", gloox::Presence::Unavailable, "", m_ownJid);
        one->entry.presence = PRESENCE_UNKNOWN;
        data->entries.push_back(std::move(one->entry));
        delete one;
    }
    data->count = static_cast<std::int32_t>(data->entries.size());
    data->ownJid = m_ownJid;
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_PROCESS_ROSTER_DATA, data);
}

void CXMPPHandler::HandleRosterPresence(CRosterPresenceData* data)
{
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_PROCESS_ROSTER_PRESENCE_DATA, data);
}

void CXMPPHandler::HandleRosterItemEvent(std::int32_t command, const gloox::JID& jid)
{
    ZLOG_SCOPE();
    auto* item = new CRosterItem;
    item->contactJid = BoundedText(jid.bare(), kPresenceTextMax);
    item->ownJid = m_ownJid;
    if (gloox::RosterItem* known = m_client->rosterManager()->getRosterItem(jid)) {
        item->name = BoundedText(known->name(), kPresenceTextMax);
        for (const std::string& g : known->groups())
            item->groups.push_back(BoundedText(g, kPresenceTextMax));
        if (!item->groups.empty())
            item->group = item->groups.front();
        item->subscription = presence_xlate::SubscriptionFromGloox(known->subscription());
    }
    WriteToGuiFIFO(command, item);
}

void CXMPPHandler::HandleSubscriptionRequest(std::int32_t command, const gloox::JID& jid, const std::string& text)
{
    ZLOG_SCOPE();
    auto* item = new CRosterItem;
    item->contactJid = BoundedText(jid.bare(), kPresenceTextMax);
    item->requestText = BoundedText(text, kPresenceTextMax);
    item->ownJid = m_ownJid;
    WriteToGuiFIFO(command, item);
}

void CXMPPHandler::HandleMessage(CChatMessage* message)
{
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_PROCESS_CHAT_MESSAGE, message);
}

void CXMPPHandler::HandleNonRosterPresence(CPresenceData* data)
{
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_NON_ROSTER_PRESENCE, data);
}

void CXMPPHandler::HandleVCardResults(const gloox::JID&, CVCard* card)
{
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_VCARD_RESULT, card);
}

void CXMPPHandler::HandleVCardStoreResults(int failed)
{
    auto* card = new CVCard;
    card->result = failed;
    card->ownJid = m_ownJid;
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_STORE_VCARD_RESULT, card);
}

void CXMPPHandler::HandleSearchResults(CPresenceData* result)
{
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_SEARCH_RESULT, result);
}

void CXMPPHandler::HandleSearchError() { WriteToGuiFIFO(PRESENCE_COMMAND_GUI_SEARCH_ERROR, nullptr); }

void CXMPPHandler::HandleMUCInvitation(CPresenceData* detail)
{
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_MUC_INVITATION, detail);
}

void CXMPPHandler::HandleDiscoItemsResult(const gloox::Tag* query)
{
    ZLOG_SCOPE();
    auto* details = new CIMLoginIDDetails;
    details->ownJid = m_ownJid;
    m_services.clear();
    if (query != nullptr) {
        for (const gloox::Tag* item : query->findChildren("item")) {
            const std::string jid = BoundedText(item->findAttribute("jid"), kPresenceTextMax);
            m_services.push_back(jid);
            details->jids.push_back(jid);
            details->names.push_back(BoundedText(item->findAttribute("name"), kPresenceTextMax));
            details->registeredIds.push_back(BoundedText(item->findAttribute("RegisteredID"), kPresenceTextMax));
        }
    }
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_IM_LOGIN_ID_DETAILS, details);
}

std::vector<std::string> CXMPPHandler::CopyGroup(std::vector<std::string> groups, const std::string& group)
{
    groups.push_back(group);
    return groups;
}

std::vector<std::string> CXMPPHandler::MoveGroup(std::vector<std::string> groups, const std::string& from,
                                                 const std::string& to)
{
    groups = RemoveGroup(std::move(groups), from);
    groups.push_back(to);
    return groups;
}

std::vector<std::string> CXMPPHandler::RemoveGroup(std::vector<std::string> groups, const std::string& group)
{
    groups.erase(std::remove(groups.begin(), groups.end(), group), groups.end());
    return groups;
}

void CXMPPHandler::AddSubscription(CRosterItem& item)
{
    ZLOG_SCOPE();
    gloox::StringList groups;
    if (!item.group.empty())
        groups.push_back(item.group);
    m_client->rosterManager()->subscribe(gloox::JID(item.contactJid), item.name, groups, item.requestText);
}

void CXMPPHandler::AckSubscription(CRosterItem& item)
{
    ZLOG_SCOPE();
    m_client->rosterManager()->ackSubscriptionRequest(gloox::JID(item.contactJid), (item.accept & 0xFF) != 0);
}

void CXMPPHandler::RemoveSubscription(CRosterItem& item)
{
    ZLOG_SCOPE();
    m_client->rosterManager()->remove(gloox::JID(item.contactJid));
}

void CXMPPHandler::EditGroups(CRosterItem& item, std::int32_t command)
{
    ZLOG_SCOPE();
    gloox::RosterManager* roster = m_client->rosterManager();
    gloox::RosterItem* known = roster->getRosterItem(gloox::JID(item.contactJid));
    if (known == nullptr)
        return; // nothing to edit; the server would ignore it too
    const gloox::StringList current = known->groups();
    std::vector<std::string> groups(current.begin(), current.end());
    if (command == PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP)
        groups = CopyGroup(std::move(groups), item.group);
    else if (command == PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP)
        groups = MoveGroup(std::move(groups), item.oldGroup, item.group);
    else
        groups = RemoveGroup(std::move(groups), item.group);
    known->setGroups(gloox::StringList(groups.begin(), groups.end()));
    roster->synchronize();
}

void CXMPPHandler::RenameContact(CRosterItem& item)
{
    ZLOG_SCOPE();
    gloox::RosterManager* roster = m_client->rosterManager();
    if (gloox::RosterItem* known = roster->getRosterItem(gloox::JID(item.contactJid))) {
        known->setName(item.name);
        roster->synchronize();
    }
}

void CXMPPHandler::SendChatMessage(CChatMessage& message)
{
    ZLOG_SCOPE();
    if (message.sessionSlot == nullptr)
        return;
    auto* session = static_cast<gloox::MessageSession*>(message.sessionSlot->load());
    if (session == nullptr) {
        session = new gloox::MessageSession(m_client.get(), gloox::JID(message.peerJid), true, 0);
        session->registerMessageHandler(m_listener.get());
        message.sessionSlot->store(session);
        m_filledSlots.push_back(message.sessionSlot);
    }
    session->send(message.body, message.subject);
}

void CXMPPHandler::SendBroadCastMessage(CChatMessage& message)
{
    ZLOG_SCOPE();
    gloox::Message msg(presence_xlate::KindToGloox(MESSAGE_KIND_NORMAL), gloox::JID(message.peerJid), message.body);
    m_client->send(msg);
}

void CXMPPHandler::SendPresenceData(CRosterPresenceData& data)
{
    ZLOG_SCOPE();
    const gloox::Presence::PresenceType type = presence_xlate::PresenceToGloox(data.entry.presence);
    if (type == gloox::Presence::Invalid)
        return;
    m_client->setPresence(type, data.priority, data.entry.statusMessage);
}

void CXMPPHandler::GetVCard(CVCard& card)
{
    ZLOG_SCOPE();
    m_vcardManager->fetchVCard(gloox::JID(card.contactJid), m_listener.get());
}

void CXMPPHandler::SetVCard(CVCard& card)
{
    ZLOG_SCOPE();
    if (card.vcard)
        m_vcardManager->storeVCard(card.vcard.release(), m_listener.get());
}

void CXMPPHandler::SearchContact(CSearchContact& search)
{
    ZLOG_SCOPE();
    const std::string target = GetSearchServer();
    if (target.empty())
        return;
    auto* form = new gloox::DataForm(gloox::TypeSubmit);
    form->addField(gloox::DataFormField::TypeTextSingle, "search", search.text);
    form->addField(gloox::DataFormField::TypeBoolean, "Username", search.byUserName ? "1" : "0");
    form->addField(gloox::DataFormField::TypeBoolean, "Name", search.byName ? "1" : "0");
    form->addField(gloox::DataFormField::TypeBoolean, "Email", search.byEmail ? "1" : "0");
    form->addField(gloox::DataFormField::TypeBoolean, "Phone", search.byPhone ? "1" : "0");
    m_search->search(gloox::JID(target), form, m_listener.get());
}

std::string CXMPPHandler::GetSearchServer() const
{
    for (const std::string& s : m_services)
        if (s.find("search") != std::string::npos)
            return s;
    return {};
}

std::string CXMPPHandler::GetIMServer(const std::string& name) const
{
    for (const std::string& s : m_services)
        if (s.find(name) != std::string::npos)
            return s;
    return {};
}

std::string CXMPPHandler::ImServerFor(int imType) const
{
    switch (imType) {
    case IM_TYPE_YAHOO:
        return GetIMServer("yahoo");
    case IM_TYPE_MSN:
        return GetIMServer("msn");
    case IM_TYPE_GTALK:
        return GetIMServer("gtalk");
    default:
        return {};
    }
}

void CXMPPHandler::RegisterIM(CIMDetails& details, bool remove)
{
    ZLOG_SCOPE();
    const std::string gateway = ImServerFor(details.imType);
    if (!gateway.empty())
        m_client->send(CGatewayStanzas::Register(gateway, m_client->getID(), details, remove));
}

void CXMPPHandler::SendIMPresence(CIMDetails& details, bool signIn)
{
    ZLOG_SCOPE();
    const std::string gateway = ImServerFor(details.imType);
    if (!gateway.empty())
        m_client->send(CGatewayStanzas::Presence(gateway, m_client->getID(), signIn));
}

void CXMPPHandler::SendIMGatewayLoginAtStartUp(CIMDetails& details)
{
    ZLOG_SCOPE();
    const std::array<std::string, 3> hosts = {GetIMServer("yahoo"), GetIMServer("msn"), GetIMServer("gtalk")};
    if (!hosts[0].empty())
        m_client->send(CGatewayStanzas::StartUpSettings(m_client->getID(), hosts, details));
}
