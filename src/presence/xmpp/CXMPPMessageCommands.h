#pragma once
// Messages on the XMPP side: a chat window's messages through the one session kept in its slot,
// and broadcasts. The sessions belong to the client: Forget() empties the slots before it goes.
#include <atomic>
#include <vector>

class CChatMessage;
namespace gloox {
class Client;
class MessageHandler;
} // namespace gloox

class CXMPPMessageCommands {
public:
    void SendChatMessage(gloox::Client& client, gloox::MessageHandler& handler, CChatMessage& message);
    static void SendBroadCastMessage(gloox::Client& client, const CChatMessage& message);
    void Forget();

private:
    // Slots this side filled.
    std::vector<std::atomic<void*>*> m_filledSlots;
};
