#include "presence/CPresenceChatPage.h"

#include "app/CLogger.h"
#include "presence/PresenceCodes.h"

CPresenceChatPage::CPresenceChatPage(ChatPageIdentity identity, ChatSessionSlot* slot, IPresenceChatPageView& view)
    : m_id(std::move(identity)), m_slot(slot), m_view(view)
{
}

int CPresenceChatPage::EnableChatHistoryLogger(const std::string& contactName, const std::string& folderName)
{
    ZLOG_SCOPE();
    auto logger = std::make_unique<CPresenceChatHistoryLogger>(m_id.historyBase);
    if (logger->InitializeLogger(contactName, folderName) != 0) {
        m_logger.reset();
        return -1;
    }
    m_logger = std::move(logger);
    return 0;
}

int CPresenceChatPage::SaveChatMessage(const std::string& sender, const std::string& receiver, const std::string& text,
                                       std::time_t when)
{
    if (!m_logger || !m_settings.history)
        return -1;
    return m_logger->SaveMessage(sender.c_str(), receiver.c_str(), text.c_str(), when);
}

void CPresenceChatPage::ApplySettings(const PresenceChatSettings& settings)
{
    m_settings = settings;
    // History switched on while the page is open: the file is opened now, not at the next page.
    if (m_settings.history && !m_logger)
        EnableChatHistoryLogger(m_id.contactJid, m_id.folder);
}

std::string CPresenceChatPage::TimePrefix(std::time_t when)
{
    std::tm local{};
    char text[32];
    if (localtime_r(&when, &local) == nullptr || std::strftime(text, sizeof text, "(%H:%M:%S %p) ", &local) == 0) {
        ZLOG(LOG_ERROR, "----- Unable to get Time -----");
        return {};
    }
    return text;
}

const char* CPresenceChatPage::PresenceText(int presence)
{
    static const char* const texts[] = {"Unknown", "Online",        "Free for Chat", "Away",
                                        "Busy",    "Not Available", "Offline"};
    return presence >= PRESENCE_UNKNOWN && presence <= PRESENCE_OFFLINE ? texts[presence] : texts[0];
}

void CPresenceChatPage::ShowMessage(const std::string& who, const std::string& text, std::time_t when)
{
    m_view.ShowHeader((m_settings.showTime ? TimePrefix(when) : std::string()) + who + ":" + kLineEnd);
    m_view.ShowText(text + kLineEnd);
}

void CPresenceChatPage::Received(const CChatMessage& message, std::time_t when)
{
    // Saved before it is shown: what the user has seen is in the file.
    SaveChatMessage(m_id.contactJid, m_id.ownJid, message.body, when);
    const std::string& who = !message.senderName.empty() ? message.senderName
        : !m_id.contactName.empty()                      ? m_id.contactName
                                                         : m_id.contactJid;
    ShowMessage(who, message.body, when);
}

int CPresenceChatPage::Send(const std::string& text, std::time_t when, const Sender& send)
{
    ZLOG_SCOPE();
    if (text.empty())
        return -1;
    const std::string body = BoundedText(text, kPresenceBodyMax);
    ShowMessage(m_id.ownName, body, when);
    SaveChatMessage(m_id.ownJid, m_id.contactJid, body, when);
    auto message = std::make_unique<CChatMessage>();
    message->peerJid = m_id.contactJid;
    message->body = body;
    message->ownJid = m_id.ownJid;
    message->direction = 0;
    message->kind = MESSAGE_KIND_CHAT;
    message->sessionSlot = m_slot;
    if (!send || !send(std::move(message))) {
        ZLOG(LOG_ERROR, kSendFailed);
        m_view.ShowText(std::string(kSendFailed) + kLineEnd);
        return -2;
    }
    return 0;
}

void CPresenceChatPage::Presence(const RosterEntry& contact, std::time_t when)
{
    const std::string prefix = TimePrefix(when);
    std::string line = "*** " + prefix + (m_id.contactName.empty() ? m_id.contactJid : m_id.contactName) + " is " +
        PresenceText(contact.presence);
    if (!contact.statusMessage.empty())
        line += " (" + contact.statusMessage + ")";
    m_view.ShowStatus(line + kLineEnd);
}

std::string CPresenceChatPage::HistoryFile() const
{
    const std::string base =
        m_id.historyBase.empty() ? CPresenceChatHistoryLogger::PresenceDataFolder() : m_id.historyBase;
    return base + m_id.folder + "/" + CPresenceChatHistoryLogger::ContactFileName(m_id.contactJid) + ".xml";
}
