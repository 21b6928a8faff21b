#include "presence/xmpp/CXMPPListener.h"

#include "app/CLogger.h"
#include "presence/CPresenceData.h"
#include "presence/xmpp/CPresenceProfile.h"
#include "presence/xmpp/CXMPPHandler.h"
#include "presence/xmpp/GlooxTranslate.h"
#include "presence/PresenceCodes.h"

#include <gloox/dataform.h>
#include <gloox/dataformitem.h>
#include <gloox/iq.h>
#include <gloox/messagesession.h>
#include <gloox/rosteritem.h>
#include <gloox/tag.h>
#include <gloox/vcard.h>

namespace {
const std::string kDiscoItemsFilter = "/iq/query[@xmlns='http://jabber.org/protocol/disco#items']";

std::string FieldValue(const gloox::DataFormFieldContainer& c, const char* name)
{
    const gloox::DataFormField* f = c.field(name);
    return f != nullptr ? BoundedText(f->value(), kPresenceTextMax) : std::string();
}
} // namespace

CRawDiscoItems::CRawDiscoItems(const gloox::Tag* tag)
    : gloox::StanzaExtension(kType), m_raw(tag != nullptr ? tag->clone() : nullptr)
{
}

CRawDiscoItems::~CRawDiscoItems() { delete m_raw; }

const std::string& CRawDiscoItems::filterString() const { return kDiscoItemsFilter; }

gloox::StanzaExtension* CRawDiscoItems::newInstance(const gloox::Tag* tag) const { return new CRawDiscoItems(tag); }

gloox::Tag* CRawDiscoItems::tag() const { return m_raw != nullptr ? m_raw->clone() : nullptr; }

gloox::StanzaExtension* CRawDiscoItems::clone() const { return new CRawDiscoItems(m_raw); }

CXMPPListener::CXMPPListener(CXMPPHandler& owner, const std::string& ownJid, const std::string& ownUserId)
    : m_owner(owner), m_ownJid(ownJid), m_ownUserId(ownUserId)
{
}

void CXMPPListener::onConnect()
{
    ZLOG_SCOPE();
    m_owner.HandleLoginSuccessfull();
}

void CXMPPListener::onDisconnect(gloox::ConnectionError e)
{
    ZLOG_SCOPE();
    m_owner.HandleConnectionError(static_cast<int>(e));
}

bool CXMPPListener::onTLSConnect(const gloox::CertInfo&)
{
    ZLOG_SCOPE();
    return true; // the operator's server certificate is trusted as it is
}

void CXMPPListener::handleMessageSession(gloox::MessageSession* session)
{
    ZLOG_SCOPE();
    session->registerMessageHandler(this);
}

void CXMPPListener::handleMessage(const gloox::Message& msg, gloox::MessageSession* session)
{
    ZLOG_SCOPE();
    if (CChatMessage* chat = presence_xlate::ChatFromMessage(msg, session, m_ownJid, m_ownUserId))
        m_owner.HandleMessage(chat);
}

void CXMPPListener::handleItemAdded(const gloox::JID& jid)
{
    m_owner.HandleRosterItemEvent(PRESENCE_COMMAND_GUI_ITEM_ADDED, jid);
}

void CXMPPListener::handleItemSubscribed(const gloox::JID& jid)
{
    m_owner.HandleRosterItemEvent(PRESENCE_COMMAND_GUI_PROCESS_CONTACT_SUBSCRIBED, jid);
}

void CXMPPListener::handleItemRemoved(const gloox::JID& jid)
{
    m_owner.HandleRosterItemEvent(PRESENCE_COMMAND_GUI_ITEM_REMOVED, jid);
}

void CXMPPListener::handleItemUpdated(const gloox::JID& jid)
{
    m_owner.HandleRosterItemEvent(PRESENCE_COMMAND_GUI_ITEM_UPDATED, jid);
}

void CXMPPListener::handleItemUnsubscribed(const gloox::JID& jid)
{
    m_owner.HandleRosterItemEvent(PRESENCE_COMMAND_GUI_ITEM_UNSUBSCRIBED, jid);
}

void CXMPPListener::handleRoster(const gloox::Roster&) { m_owner.HandleRoster(); }

void CXMPPListener::handleRosterPresence(const gloox::RosterItem& item, const std::string& resource,
                                         gloox::Presence::PresenceType presence, const std::string& msg)
{
    m_owner.HandleRosterPresence(presence_xlate::PresenceFromRosterItem(item, resource, presence, msg, m_ownJid));
}

bool CXMPPListener::handleSubscriptionRequest(const gloox::JID& jid, const std::string& msg)
{
    m_owner.HandleSubscriptionRequest(PRESENCE_COMMAND_GUI_SUBSCRIPTION_REQUEST, jid, msg);
    return false; // answered later, by the user
}

bool CXMPPListener::handleUnsubscriptionRequest(const gloox::JID& jid, const std::string& msg)
{
    m_owner.HandleSubscriptionRequest(PRESENCE_COMMAND_GUI_UNSUBSCRIPTION_REQUEST, jid, msg);
    return false;
}

void CXMPPListener::handleNonrosterPresence(const gloox::Presence& presence)
{
    m_owner.HandleNonRosterPresence(presence_xlate::NonRosterFromPresence(presence));
}

void CXMPPListener::handleVCard(const gloox::JID& jid, const gloox::VCard* vcard)
{
    ZLOG_SCOPE();
    auto* card = new CVCard;
    card->profile = vcard != nullptr ? CPresenceProfile::Read(*vcard) : PresenceProfileFields{};
    // An answer without a sender comes from the user's own account: the own profile.
    const std::string about = jid.bare().empty() ? gloox::JID(m_ownJid).bare() : jid.bare();
    card->contactJid = about;
    card->ownJid = m_ownJid;
    m_owner.HandleVCardResults(jid, card);
}

void CXMPPListener::handleVCardResult(gloox::VCardHandler::VCardContext context, const gloox::JID& jid,
                                      gloox::StanzaError se)
{
    ZLOG_SCOPE();
    if (context == gloox::VCardHandler::StoreVCard) {
        m_owner.HandleVCardStoreResults(se == gloox::StanzaErrorUndefined ? 0 : 1);
    } else if (se != gloox::StanzaErrorUndefined) {
        handleVCard(jid, nullptr); // no profile stored: an empty one
    }
}

void CXMPPListener::handleSearchResult(const gloox::JID&, const gloox::SearchResultList& resultList)
{
    ZLOG_SCOPE();
    auto* result = new CSearchResult;
    for (const gloox::SearchFieldStruct* s : resultList) {
        SearchResultItem item;
        gloox::Tag* t = s->tag();
        item.userName = BoundedText(t != nullptr ? t->findAttribute("jid") : std::string(), kPresenceTextMax);
        delete t;
        item.name = BoundedText(s->first() + (s->last().empty() ? "" : " " + s->last()), kPresenceTextMax);
        item.email = BoundedText(s->email(), kPresenceTextMax);
        result->items.push_back(std::move(item));
    }
    m_owner.HandleSearchResults(result);
}

void CXMPPListener::handleSearchResult(const gloox::JID&, const gloox::DataForm* form)
{
    ZLOG_SCOPE();
    auto* result = new CSearchResult;
    if (form != nullptr) {
        for (const gloox::DataFormItem* i : form->items()) {
            SearchResultItem item;
            item.userName = FieldValue(*i, "Username");
            item.name = FieldValue(*i, "Name");
            item.email = FieldValue(*i, "Email");
            item.phone = FieldValue(*i, "Phone");
            result->items.push_back(std::move(item));
        }
    }
    m_owner.HandleSearchResults(result);
}

void CXMPPListener::handleSearchError(const gloox::JID&, const gloox::Error*)
{
    ZLOG_SCOPE();
    m_owner.HandleSearchError();
}

void CXMPPListener::handleIqID(const gloox::IQ& iq, int context)
{
    ZLOG_SCOPE();
    if (context > CXMPPServiceCommands::kRegisterContext) {
        m_owner.HandleIMRegistration(context, iq.subtype() == gloox::IQ::Result);
        return;
    }
    if (context != kDiscoItemsContext || iq.subtype() != gloox::IQ::Result)
        return;
    const auto* raw = iq.findExtension<CRawDiscoItems>(CRawDiscoItems::kType);
    m_owner.HandleDiscoItemsResult(raw != nullptr ? raw->Query() : nullptr);
}

CXMPPMUCRoomHandler::CXMPPMUCRoomHandler(gloox::ClientBase* parent, CXMPPHandler& owner)
    : gloox::MUCInvitationHandler(parent), m_owner(owner)
{
}

void CXMPPMUCRoomHandler::handleMUCInvitation(const gloox::JID& room, const gloox::JID& from, const std::string& reason,
                                              const std::string&, const std::string& password, bool, const std::string&)
{
    ZLOG_SCOPE();
    auto* detail = new CMUCDetail;
    detail->room = BoundedText(room.full(), kPresenceTextMax);
    detail->from = BoundedText(from.full(), kPresenceTextMax);
    detail->reason = BoundedText(reason, kPresenceTextMax);
    detail->password = BoundedText(password, kPresenceTextMax);
    m_owner.HandleMUCInvitation(detail);
}
