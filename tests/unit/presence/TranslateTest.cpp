#include "presence/CPresenceData.h"
#include "presence/xmpp/GlooxTranslate.h"
#include "presence/PresenceCodes.h"

#include <gloox/message.h>

#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace presence_xlate;

TEST(PresenceTranslate, TableKeepsHistoricNumbers)
{
    EXPECT_EQ(PresenceFromGloox(gloox::Presence::Available), 1);
    EXPECT_EQ(PresenceFromGloox(gloox::Presence::XA), 5);
    EXPECT_EQ(PresenceFromGloox(gloox::Presence::Unavailable), 6);
    EXPECT_EQ(PresenceFromGloox(gloox::Presence::Probe), 0);
    for (int v = 1; v <= 6; ++v)
        EXPECT_EQ(PresenceFromGloox(PresenceToGloox(v)), v);
    EXPECT_EQ(PresenceToGloox(0), gloox::Presence::Invalid);
    EXPECT_EQ(KindFromGloox(gloox::Message::Chat), 0x1000);
    EXPECT_EQ(KindFromGloox(gloox::Message::Headline), 0x8000);
    EXPECT_EQ(KindFromGloox(gloox::Message::Normal), 0x10000);
    EXPECT_EQ(KindToGloox(0x2000), gloox::Message::Error);
    EXPECT_EQ(StreamErrorFromGloox(gloox::StreamErrorUndefined), 0);
    EXPECT_EQ(StreamErrorFromGloox(gloox::StreamErrorSystemShutdown), 19);
    EXPECT_EQ(ConnectionErrorFromGloox(gloox::ConnAuthenticationFailed), 16);
}

std::unique_ptr<gloox::Message> Make(gloox::Message::MessageType type, const std::string& from, const std::string& body,
                                     const std::string& subject = "")
{
    auto m = std::make_unique<gloox::Message>(type, gloox::JID("al@d"), body, subject);
    m->setFrom(gloox::JID(from));
    return m;
}

TEST(PresenceTranslate, IncomingMessagesBecomeRecordsOrAreDropped)
{
    auto chat = Make(gloox::Message::Chat, "bob@d/r", "hi & bye", "s");
    std::unique_ptr<CChatMessage> rec(ChatFromMessage(*chat, nullptr, "al@d", "al"));
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->peerJid, "bob@d");
    EXPECT_EQ(rec->body, "hi & bye");
    EXPECT_EQ(rec->kind, MESSAGE_KIND_CHAT);
    EXPECT_EQ(rec->direction, 1);

    // No sender: a chat is dropped, a headline still goes through.
    auto anonChat = Make(gloox::Message::Chat, "", "x");
    EXPECT_EQ(ChatFromMessage(*anonChat, nullptr, "al@d", "al"), nullptr);
    auto headline = Make(gloox::Message::Headline, "", "news");
    std::unique_ptr<CChatMessage> h(ChatFromMessage(*headline, nullptr, "al@d", "al"));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->kind, MESSAGE_KIND_HEADLINE);

    // A field longer than a record holds is cut, not overrun.
    auto bigMsg = Make(gloox::Message::Normal, "bob@d", "b", std::string(300, 'x'));
    std::unique_ptr<CChatMessage> b(ChatFromMessage(*bigMsg, nullptr, "al@d", "al"));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->subject.size(), kPresenceTextMax);
    EXPECT_EQ(b->kind, MESSAGE_KIND_NORMAL);
}

} // namespace
