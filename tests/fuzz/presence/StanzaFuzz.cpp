// Arbitrary bytes as an incoming stanza: parsed by gloox, then turned into the records
// the GUI side reads. The record fields must stay within their bounds.
#include "presence/CPresenceData.h"
#include "presence/xmpp/GlooxTranslate.h"
#include "presence/PresenceCodes.h"

#include <gloox/message.h>
#include <gloox/parser.h>
#include <gloox/tag.h>
#include <gloox/taghandler.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Collector : gloox::TagHandler {
    std::unique_ptr<gloox::Tag> tag;
    void handleTag(gloox::Tag* t) override
    {
        if (!tag)
            tag.reset(t->clone());
    }
};

gloox::Message::MessageType TypeOf(const std::string& t)
{
    if (t == "chat")
        return gloox::Message::Chat;
    if (t == "error")
        return gloox::Message::Error;
    if (t == "headline")
        return gloox::Message::Headline;
    if (t == "groupchat")
        return gloox::Message::Groupchat;
    return gloox::Message::Normal;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Collector c;
    gloox::Parser parser(&c);
    std::string text = "<stream:stream xmlns='jabber:client' xmlns:stream='http://etherx.jabber.org/streams'>";
    text.append(reinterpret_cast<const char*>(data), size);
    parser.feed(text);
    if (!c.tag)
        return 0;
    const gloox::Tag* t = c.tag.get();
    gloox::Message msg(TypeOf(t->findAttribute("type")), gloox::JID(t->findAttribute("to")),
                       t->findCData("/message/body"), t->findCData("/message/subject"));
    msg.setFrom(gloox::JID(t->findAttribute("from")));
    std::unique_ptr<CChatMessage> chat(presence_xlate::ChatFromMessage(msg, nullptr, "me@d", "me"));
    if (chat &&
        (chat->peerJid.size() > kPresenceTextMax || chat->subject.size() > kPresenceTextMax ||
         chat->body.size() > kPresenceBodyMax))
        std::abort();
    return 0;
}
