#include "presence/xmpp/CXMPPMessageCommands.h"

#include "app/CLogger.h"
#include "presence/CPresenceData.h"
#include "presence/xmpp/GlooxTranslate.h"
#include "presence/PresenceCodes.h"

#include <gloox/client.h>
#include <gloox/message.h>
#include <gloox/messagesession.h>

void CXMPPMessageCommands::SendChatMessage(gloox::Client& client, gloox::MessageHandler& handler, CChatMessage& message)
{
    ZLOG_SCOPE();
    if (message.sessionSlot == nullptr)
        return;
    auto* session = static_cast<gloox::MessageSession*>(message.sessionSlot->load());
    if (session == nullptr) {
        session = new gloox::MessageSession(&client, gloox::JID(message.peerJid), true, 0);
        session->registerMessageHandler(&handler);
        message.sessionSlot->store(session);
        m_filledSlots.push_back(message.sessionSlot);
    }
    session->send(message.body, message.subject);
}

void CXMPPMessageCommands::SendBroadCastMessage(gloox::Client& client, const CChatMessage& message)
{
    ZLOG_SCOPE();
    gloox::Message msg(presence_xlate::KindToGloox(MESSAGE_KIND_NORMAL), gloox::JID(message.peerJid), message.body);
    client.send(msg);
}

void CXMPPMessageCommands::Forget()
{
    for (auto* slot : m_filledSlots)
        slot->store(nullptr);
    m_filledSlots.clear();
}
