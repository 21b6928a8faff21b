#include "cli/CCliPresence.h"

#include "app/CLogger.h"
#include "app/Deployment.h"
#include "cli/CCliProtocol.h"
#include "cli/CCliView.h"
#include "phone/CzeloraTALKDlg.h"
#include "platform/ProfileFile.h"
#include "presence/CFifo.h"
#include "presence/CPresenceChatHistoryLogger.h"
#include "presence/CPresenceHandler.h"
#include "presence/CPresenceIMAccounts.h"
#include "presence/CPresenceInvite.h"
#include "presence/PresenceCodes.h"

#include <ctime>

namespace {

const char* kGatewayNames[] = {"", "yahoo", "msn", "gtalk"};

int GatewayType(const std::string& name)
{
    for (int i = 1; i <= 3; ++i)
        if (name == kGatewayNames[i])
            return i;
    return -1;
}

std::string Join(const std::vector<std::string>& v)
{
    std::string out;
    for (const std::string& s : v)
        out += (out.empty() ? "" : ",") + s;
    return out;
}

} // namespace

CCliPresence::CCliPresence(CzeloraTALKDlg& dlg, CCliView& view) : m_dlg(dlg), m_view(view) { }

CCliPresence::~CCliPresence()
{
    m_handler.reset(); // threads end before the slots and loggers go
}

void CCliPresence::Send(int command, CPresenceData* data)
{
    if (!m_handler) {
        delete data;
        m_view.WriteLine(CCliProtocol::MessageLine("Presence is not started"));
        return;
    }
    m_handler->Gui()->HandleGUIPresenceData(command, data);
}

bool CCliPresence::Login()
{
    ZLOG_SCOPE();
    if (m_handler)
        return true;
    if (!m_dlg.IsSignedIn()) {
        m_view.WriteLine(CCliProtocol::MessageLine("Sign in first"));
        return true;
    }
    const DeploymentValues& d = Deployment::Get();
    PresenceAccount account;
    account.userId = m_dlg.GetUserId();
    account.password = m_dlg.GetPassword();
    account.domain = d.presenceDomain;
    // Named after the account: the console knows no VoIP number before the web service answers.
    account.settingsFile = CPresenceIMAccounts::SettingsFile(account.userId);
    XmppEndpoint endpoint;
    endpoint.server = d.presenceServer;
    endpoint.port = d.presencePort;
    // The main window's HTTP proxy, when one is set, carries presence too (port 5223).
    if (const char* proxy = std::getenv("ZELORA_PRESENCE_PROXY"); proxy != nullptr && *proxy != '\0') {
        const std::string hp = proxy;
        const auto colon = hp.rfind(':');
        account.useProxy = 1;
        account.proxyHost = hp.substr(0, colon);
        account.proxyPort = colon == std::string::npos ? 8080 : std::atoi(hp.c_str() + colon + 1);
    }
    m_handler = std::make_unique<CPresenceHandler>(CFifo::XmppFifo(), CFifo::GuiFifo());
    m_handler->InitializePresenceHandler(account, endpoint, {d.gatewayYahoo, d.gatewayMsn, d.gatewayGtalk}, this,
                                         &m_dlg.Queue());
    return true;
}

bool CCliPresence::Execute(const std::vector<std::string>& w)
{
    const std::string& cmd = w[0];
    if (cmd == "presence-login" && w.size() == 1)
        return Login();
    if (cmd == "presence-logout" && w.size() == 1) {
        m_handler.reset();
        m_slots.clear();
        m_view.WriteLine("PRESENCE-LOGOUT");
        return true;
    }
    if (cmd == "presence-reconnect" && w.size() == 1) {
        Send(PRESENCE_COMMAND_XMPP_RECONNECT, nullptr);
        return true;
    }
    if (cmd == "presence-status" && (w.size() == 2 || w.size() == 3)) {
        int value = 0;
        if (!CCliProtocol::ParseNumber(w[1], 0, 5, value))
            return false;
        auto* p = new CRosterPresenceData;
        p->entry.presence = value + 1; // the status box's index plus one
        p->entry.statusMessage = w.size() == 3 ? w[2] : "";
        p->priority = 0;
        Send(PRESENCE_COMMAND_XMPP_CHANGE_STATUS, p);
        return true;
    }
    if (cmd == "roster" && w.size() == 1) {
        PrintRoster(m_handler ? m_handler->Gui()->Roster() : std::vector<RosterEntry>{});
        return true;
    }
    return RosterCommand(w) || ChatCommand(w) || ProfileCommand(w) || ImCommand(w) || InviteCommand(w);
}

bool CCliPresence::RosterCommand(const std::vector<std::string>& w)
{
    const std::string& cmd = w[0];
    auto item = [&](const std::string& jid) {
        auto* r = new CRosterItem;
        r->contactJid = BoundedText(jid, kPresenceTextMax);
        return r;
    };
    if (cmd == "buddy-add" && w.size() >= 2 && w.size() <= 5) {
        CRosterItem* r = item(w[1]);
        r->group = w.size() > 2 ? w[2] : "";
        r->name = w.size() > 3 ? w[3] : "";
        r->requestText = w.size() > 4 ? w[4] : "";
        Send(PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT, r);
    } else if ((cmd == "buddy-accept" || cmd == "buddy-deny") && w.size() == 2) {
        CRosterItem* r = item(w[1]);
        r->accept = cmd == "buddy-accept" ? 1 : 0;
        Send(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION, r);
    } else if (cmd == "buddy-remove" && w.size() == 2) {
        Send(PRESENCE_COMMAND_XMPP_UNSUBSCRIBE_CONTACT, item(w[1]));
    } else if (cmd == "buddy-rename" && w.size() == 3) {
        CRosterItem* r = item(w[1]);
        r->name = w[2];
        Send(PRESENCE_COMMAND_XMPP_RENAME_CONTACT, r);
    } else if (cmd == "buddy-copy" && w.size() == 3) {
        CRosterItem* r = item(w[1]);
        r->group = w[2];
        Send(PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP, r);
    } else if (cmd == "buddy-move" && w.size() == 4) {
        CRosterItem* r = item(w[1]);
        r->oldGroup = w[2];
        r->group = w[3];
        Send(PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP, r);
    } else if (cmd == "buddy-ungroup" && w.size() == 3) {
        // No window sends this; the console reaches the XMPP side's edit directly.
        CRosterItem* r = item(w[1]);
        r->group = w[2];
        if (m_handler)
            m_handler->Gui()->WriteToXMPPFIFO(PRESENCE_COMMAND_XMPP_REMOVE_CONTACT_FROM_GROUP, r);
        else
            delete r;
    } else {
        return false;
    }
    return true;
}

bool CCliPresence::ChatCommand(const std::vector<std::string>& w)
{
    const std::string& cmd = w[0];
    if (cmd == "chat" && w.size() == 3) {
        auto& slot = m_slots[w[1]];
        if (!slot)
            slot = std::make_unique<ChatSessionSlot>(nullptr);
        auto* m = new CChatMessage;
        m->peerJid = w[1];
        m->body = BoundedText(w[2], kPresenceBodyMax);
        m->sessionSlot = slot.get();
        if (m_handler)
            SaveHistory(w[1], m_handler->OwnJid(), w[1], w[2]);
        Send(PRESENCE_COMMAND_XMPP_SEND_CHAT_MESSAGE, m);
    } else if (cmd == "broadcast" && w.size() == 3) {
        std::size_t start = 0;
        while (start <= w[1].size()) {
            std::size_t comma = w[1].find(',', start);
            if (comma == std::string::npos)
                comma = w[1].size();
            if (comma > start) {
                auto* m = new CChatMessage;
                m->peerJid = w[1].substr(start, comma - start);
                m->body = BoundedText(w[2], kPresenceBodyMax);
                m->kind = MESSAGE_KIND_NORMAL;
                Send(PRESENCE_COMMAND_XMPP_BROADCAST_MESSAGE, m);
            }
            start = comma + 1;
        }
    } else if (cmd == "history" && w.size() == 3 && (w[2] == "on" || w[2] == "off")) {
        std::lock_guard<std::mutex> lock(m_historyLock);
        if (w[2] == "off") {
            m_history.erase(w[1]);
            return true;
        }
        auto logger = std::make_unique<CPresenceChatHistoryLogger>();
        if (logger->InitializeLogger(w[1], m_dlg.GetUserId()) != 0)
            m_view.WriteLine(CCliProtocol::MessageLine("Unable to open chat history"));
        else
            m_history[w[1]] = std::move(logger);
    } else {
        return false;
    }
    return true;
}

bool CCliPresence::ProfileCommand(const std::vector<std::string>& w)
{
    const std::string& cmd = w[0];
    if (cmd == "vcard" && w.size() == 2) {
        auto* c = new CVCard;
        c->contactJid = w[1];
        Send(PRESENCE_COMMAND_XMPP_GET_VCARD, c);
    } else if (cmd == "vcard-set" && w.size() >= 2) {
        PresenceProfileFields f;
        std::pair<const char*, std::string*> keys[] = {{"given", &f.given},
                                                       {"family", &f.family},
                                                       {"middle", &f.middle},
                                                       {"nick", &f.nick},
                                                       {"email", &f.email},
                                                       {"url", &f.url},
                                                       {"title", &f.title},
                                                       {"org", &f.org},
                                                       {"phone", &f.workNumbers.phone},
                                                       {"fax", &f.workNumbers.fax},
                                                       {"mobile", &f.workNumbers.mobile},
                                                       {"pager", &f.workNumbers.pager},
                                                       {"home-phone", &f.homeNumbers.phone},
                                                       {"street", &f.work.street},
                                                       {"city", &f.work.locality},
                                                       {"home-street", &f.home.street},
                                                       {"home-city", &f.home.locality}};
        for (std::size_t i = 1; i < w.size(); ++i) {
            bool taken = false;
            for (auto& [key, field] : keys)
                taken = taken || CCliProtocol::TakeValue(w[i], key, *field);
            std::string photoFile;
            if (!taken && CCliProtocol::TakeValue(w[i], "photo", photoFile)) {
                if (zelora::ReadFileContents(photoFile, f.photo) != 0) {
                    m_view.WriteLine(CCliProtocol::MessageLine("Invalid file"));
                    return true;
                }
                taken = true;
            }
            if (!taken)
                return false;
        }
        auto* c = new CVCard;
        c->profile = f;
        Send(PRESENCE_COMMAND_XMPP_SET_VCARD, c);
    } else if (cmd == "search" && w.size() >= 2) {
        auto* s = new CSearchContact;
        s->text = w[1];
        for (std::size_t i = 2; i < w.size(); ++i) {
            if (w[i] == "username")
                s->byUserName = 1;
            else if (w[i] == "name")
                s->byName = 1;
            else if (w[i] == "email")
                s->byEmail = 1;
            else if (w[i] == "phone")
                s->byPhone = 1;
            else {
                delete s;
                return false;
            }
        }
        if (s->text.empty()) {
            delete s;
            m_view.WriteLine(CCliProtocol::MessageLine("Please! Enter String to search"));
            return true;
        }
        Send(PRESENCE_COMMAND_XMPP_SEARCH_USER, s);
    } else {
        return false;
    }
    return true;
}

bool CCliPresence::ImCommand(const std::vector<std::string>& w)
{
    const std::string& cmd = w[0];
    const bool reg = cmd == "im-register" && (w.size() == 4 || (w.size() == 5 && w[4] == "autologin"));
    const bool other = (cmd == "im-unregister" || cmd == "im-login" || cmd == "im-logout") && w.size() == 2;
    if (!reg && !other)
        return false;
    const int type = GatewayType(w[1]);
    if (type < 0)
        return false;
    if (!m_handler) {
        m_view.WriteLine(CCliProtocol::MessageLine("Presence is not started"));
        return true;
    }
    CGUIPresenceHandler& gui = *m_handler->Gui();
    if (reg) {
        std::string refusal;
        if (gui.AddIMAccount(type, w[2], w[3], w.size() == 5 ? 1 : 0, refusal) == -3)
            m_view.WriteLine(CCliProtocol::MessageLine(refusal));
    } else if (cmd == "im-unregister") {
        gui.DeleteIMAccount(type);
    } else {
        auto* d = new CIMDetails;
        d->imType = type;
        d->presence = cmd == "im-login" ? PRESENCE_AVAILABLE : PRESENCE_OFFLINE;
        Send(cmd == "im-login" ? PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE : PRESENCE_COMMAND_XMPP_SET_IM_SIGNOUT, d);
    }
    return true;
}

bool CCliPresence::InviteCommand(const std::vector<std::string>& w)
{
    if (w[0] != "invite" || w.size() != 2)
        return false;
    if (!m_dlg.IsSignedIn()) {
        m_view.WriteLine(CCliProtocol::MessageLine("Sign in first"));
        return true;
    }
    if (!m_invite)
        m_invite = std::make_unique<CPresenceInvite>(Deployment::Get().mailWebHost, 80);
    CCliView& view = m_view;
    const int sent = m_invite->Send(
        w[1], m_dlg.GetUserId(), [&view](const std::string& text) { view.WriteLine(CCliProtocol::MessageLine(text)); });
    if (sent == -2)
        m_view.WriteLine(CCliProtocol::MessageLine("Enter a valid e-mail address"));
    else if (sent == -1)
        m_view.WriteLine(CCliProtocol::MessageLine(CPresenceInvite::kFailed));
    else if (sent == -3)
        m_view.WriteLine(CCliProtocol::MessageLine("The last invitation is still on its way"));
    return true;
}

void CCliPresence::SaveHistory(const std::string& jid, const std::string& from, const std::string& to,
                               const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_historyLock);
    auto it = m_history.find(jid);
    if (it != m_history.end())
        it->second->SaveMessage(from.c_str(), to.c_str(), text.c_str(), std::time(nullptr));
}

void CCliPresence::PrintRoster(const std::vector<RosterEntry>& roster)
{
    for (const RosterEntry& e : roster) {
        m_view.WriteLine("ROSTER jid=" + e.jid + " name=" + CCliProtocol::Quote(e.name) +
                         " group=" + CCliProtocol::Quote(e.groups.empty() ? "" : e.groups.front()) + " groups=" +
                         CCliProtocol::Quote(Join(e.groups)) + " subscription=" + std::to_string(e.subscription) +
                         " presence=" + std::to_string(e.presence) + " status=" + CCliProtocol::Quote(e.statusMessage));
    }
    m_view.WriteLine("ROSTER-END " + std::to_string(roster.size()));
}

// The view callbacks run on the GUI presence thread with the handler's lock held: the
// roster is read from the model directly.
void CCliPresence::LoginStatus(std::unique_ptr<CConnectionError> error)
{
    if (!error)
        m_view.WriteLine("PRESENCE-LOGIN OK");
    else
        m_view.WriteLine("PRESENCE-LOGIN FAILED error=" + std::to_string(error->connectionError) +
                         " detail=" + std::to_string(error->errorDetail));
}

void CCliPresence::RosterArrived(int count) { m_view.WriteLine("ROSTER-END " + std::to_string(count)); }

void CCliPresence::ContactPresence(const RosterEntry& contact)
{
    m_view.WriteLine("PRESENCE jid=" + contact.jid + " presence=" + std::to_string(contact.presence) +
                     " status=" + CCliProtocol::Quote(contact.statusMessage));
}

void CCliPresence::SubscriptionRequest(const std::string& jid, const std::string& text)
{
    m_view.WriteLine("SUBSCRIBE-REQUEST jid=" + jid + " text=" + CCliProtocol::Quote(text));
}

void CCliPresence::ItemUnsubscribed(const std::string& jid) { m_view.WriteLine("UNSUBSCRIBED jid=" + jid); }

void CCliPresence::RosterChanged(int command, const std::string& jid)
{
    const char* word = command == PRESENCE_COMMAND_GUI_ITEM_ADDED ? "ROSTER-ADDED"
        : command == PRESENCE_COMMAND_GUI_ITEM_REMOVED            ? "ROSTER-REMOVED"
                                                                  : "ROSTER-UPDATED";
    m_view.WriteLine(std::string(word) + " jid=" + jid);
}

void CCliPresence::ChatMessage(std::unique_ptr<CChatMessage> message)
{
    // Stored before the line goes out: a reader of the line finds the message in the file.
    SaveHistory(message->peerJid, message->peerJid, message->ownJid, message->body);
    m_view.WriteLine("CHAT from=" + message->peerJid + " kind=" + std::to_string(message->kind) + " subject=" +
                     CCliProtocol::Quote(message->subject) + " text=" + CCliProtocol::Quote(message->body));
}

void CCliPresence::ServiceError(std::unique_ptr<CChatMessage> message) { ChatMessage(std::move(message)); }

void CCliPresence::Profile(std::unique_ptr<CVCard> card, bool)
{
    const PresenceProfileFields f = card->profile.value_or(PresenceProfileFields{});
    m_view.WriteLine("VCARD jid=" + card->contactJid + " given=" + CCliProtocol::Quote(f.given) +
                     " family=" + CCliProtocol::Quote(f.family) + " nick=" + CCliProtocol::Quote(f.nick) +
                     " email=" + CCliProtocol::Quote(f.email) + " photo=" + std::to_string(f.photo.size()));
}

void CCliPresence::ProfileStored(std::unique_ptr<CVCard> card)
{
    m_view.WriteLine(card->result == 0 ? "VCARD-STORED OK" : "VCARD-STORED FAILED");
}

void CCliPresence::SearchResult(const CSearchResult* result)
{
    const std::size_t n = result != nullptr ? result->items.size() : 0;
    m_view.WriteLine("SEARCH-RESULT count=" + std::to_string(n));
    for (std::size_t i = 0; i < n; ++i) {
        const SearchResultItem& r = result->items[i];
        m_view.WriteLine("SEARCH-ITEM user=" + CCliProtocol::Quote(r.userName) +
                         " name=" + CCliProtocol::Quote(r.name) + " email=" + CCliProtocol::Quote(r.email) +
                         " phone=" + CCliProtocol::Quote(r.phone));
    }
}

void CCliPresence::ImStatus(int imType, int signedIn, int loginInfo)
{
    if (imType < 1 || imType > 3)
        return;
    m_view.WriteLine(std::string("IM-STATUS gateway=") + kGatewayNames[imType] +
                     " signed_in=" + std::to_string(signedIn) + " login_info=" + std::to_string(loginInfo));
}

void CCliPresence::GroupChatInvitation(const CMUCDetail& invite)
{
    m_view.WriteLine("MUC-INVITE room=" + invite.room + " from=" + invite.from +
                     " reason=" + CCliProtocol::Quote(invite.reason));
}
