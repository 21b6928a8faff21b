#include "presence/xmpp/CXMPPHandler.h"

#include "app/CLogger.h"
#include "presence/xmpp/CClientSocket.h"
#include "presence/CFifo.h"
#include "presence/CPresenceData.h"
#include "presence/xmpp/CXMPPListener.h"
#include "presence/xmpp/CXMPPRosterCommands.h"
#include "presence/xmpp/GlooxTranslate.h"
#include "presence/PresenceCodes.h"

#include <gloox/client.h>
#include <gloox/disco.h>
#include <gloox/iq.h>
#include <gloox/rostermanager.h>
#include <gloox/search.h>
#include <gloox/vcard.h>
#include <gloox/vcardmanager.h>

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
    m_domain = BoundedText(domain, kPresenceTextMax);
    m_ownJid = m_userId + "@" + m_domain;
    m_login.ownJid = m_ownJid;
    m_login.password = BoundedText(password, kPresenceTextMax);
    m_login.domain = m_domain;
    m_login.resource = BoundedText(resource, kPresenceTextMax);
    m_login.useProxy = useProxy;
    m_login.proxyHost = proxyHost;
    m_login.proxyPort = proxyPort;
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
    m_client = CXMPPClientBuilder::Build(m_login, m_endpoint, m_transport);
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
    m_serviceCommands.Clear();
    return 1;
}

int CXMPPHandler::ResetGlooxConnection()
{
    ZLOG_SCOPE();
    if (m_client)
        m_client->registerMUCInvitationHandler(nullptr);
    m_messageCommands.Forget();
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
    DispatchRecord(command, *data);
}

// One command with its record, the client lock held.
void CXMPPHandler::DispatchRecord(std::int32_t command, CPresenceData& data)
{
    using C = CXMPPServiceCommands;
    if (auto* item = dynamic_cast<CRosterItem*>(&data)) {
        CXMPPRosterCommands::Dispatch(*m_client->rosterManager(), command, *item);
    } else if (auto* im = dynamic_cast<CIMDetails*>(&data)) {
        if (command == PRESENCE_COMMAND_XMPP_REGISTER_IM || command == PRESENCE_COMMAND_XMPP_UNREGISTER_IM)
            m_serviceCommands.RegisterIM(*m_client, *m_listener, *im, command == PRESENCE_COMMAND_XMPP_UNREGISTER_IM);
        else if (command == PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE || command == PRESENCE_COMMAND_XMPP_SET_IM_SIGNOUT)
            m_serviceCommands.SendIMPresence(*m_client, *im, command == PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE);
        else if (command == PRESENCE_COMMAND_XMPP_SET_IM_LOGIN_AT_STARTUP)
            m_serviceCommands.SendIMGatewayLoginAtStartUp(*m_client, *im);
    } else if (auto* chat = dynamic_cast<CChatMessage*>(&data)) {
        if (command == PRESENCE_COMMAND_XMPP_SEND_CHAT_MESSAGE)
            m_messageCommands.SendChatMessage(*m_client, *m_listener, *chat);
        else if (command == PRESENCE_COMMAND_XMPP_BROADCAST_MESSAGE)
            CXMPPMessageCommands::SendBroadCastMessage(*m_client, *chat);
    } else if (auto* status = dynamic_cast<CRosterPresenceData*>(&data)) {
        if (command == PRESENCE_COMMAND_XMPP_CHANGE_STATUS)
            CXMPPRosterCommands::SendPresenceData(*m_client, *status);
    } else if (auto* card = dynamic_cast<CVCard*>(&data)) {
        if (command == PRESENCE_COMMAND_XMPP_GET_VCARD)
            C::GetVCard(*m_vcardManager, *m_listener, *card);
        else if (command == PRESENCE_COMMAND_XMPP_SET_VCARD)
            C::SetVCard(*m_vcardManager, *m_listener, *card);
    } else if (auto* search = dynamic_cast<CSearchContact*>(&data)) {
        if (command == PRESENCE_COMMAND_XMPP_SEARCH_USER)
            m_serviceCommands.SearchContact(*m_search, *m_listener, *search);
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
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_PROCESS_ROSTER_DATA,
                   CXMPPRosterCommands::RosterRecord(*m_client->rosterManager(), m_ownJid));
}

void CXMPPHandler::HandleRosterPresence(CRosterPresenceData* data)
{
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_PROCESS_ROSTER_PRESENCE_DATA, data);
}

void CXMPPHandler::HandleRosterItemEvent(std::int32_t command, const gloox::JID& jid)
{
    ZLOG_SCOPE();
    WriteToGuiFIFO(command, CXMPPRosterCommands::ItemRecord(*m_client->rosterManager(), jid, m_ownJid));
}

void CXMPPHandler::HandleSubscriptionRequest(std::int32_t command, const gloox::JID& jid, const std::string& text)
{
    ZLOG_SCOPE();
    WriteToGuiFIFO(command, CXMPPRosterCommands::RequestRecord(jid, text, m_ownJid));
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
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_IM_LOGIN_ID_DETAILS, m_serviceCommands.Discovered(query, m_ownJid));
}

void CXMPPHandler::HandleIMRegistration(int context, bool registered)
{
    ZLOG_SCOPE();
    auto* details = new CIMDetails;
    details->imType = context - CXMPPServiceCommands::kRegisterContext;
    details->result = registered ? 1 : -1;
    details->ownJid = m_ownJid;
    WriteToGuiFIFO(PRESENCE_COMMAND_GUI_IM_REGISTRATION_RESULT, details);
}
