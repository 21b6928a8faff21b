#include "presence/CPresenceProfile.h"

#include "app/CLogger.h"

#include <gloox/vcard.h>

std::unique_ptr<gloox::VCard> CPresenceProfile::Build(const PresenceProfileFields& f)
{
    ZLOG_SCOPE();
    auto card = std::make_unique<gloox::VCard>();
    card->setName(f.family, f.given, f.middle);
    card->setNickname(f.nick);
    if (!f.email.empty())
        card->addEmail(f.email, gloox::VCard::AddrTypeHome);
    if (!f.photo.empty())
        card->setPhoto("image/jpeg", f.photo);
    card->setTitle(f.title);
    card->setUrl(f.url);
    card->setOrganization(f.org, gloox::StringList());
    const std::pair<const std::string*, int> work[] = {
        {&f.fax, gloox::VCard::AddrTypeWork | gloox::VCard::AddrTypeFax},
        {&f.mobile, gloox::VCard::AddrTypeWork | gloox::VCard::AddrTypeCell},
        {&f.pager, gloox::VCard::AddrTypeWork | gloox::VCard::AddrTypePager},
        {&f.phone, gloox::VCard::AddrTypeWork | gloox::VCard::AddrTypeVoice}};
    for (const auto& [number, type] : work)
        if (!number->empty())
            card->addTelephone(*number, type);
    return card;
}

PresenceProfileFields CPresenceProfile::Read(const gloox::VCard& card)
{
    ZLOG_SCOPE();
    PresenceProfileFields f;
    f.given = card.name().given;
    f.family = card.name().family;
    f.middle = card.name().middle;
    f.nick = card.nickname();
    if (!card.emailAddresses().empty())
        f.email = card.emailAddresses().front().userid;
    f.url = card.url();
    f.title = card.title();
    f.org = card.org().name;
    f.photo = card.photo().binval;
    for (const auto& t : card.telephone()) {
        if (t.fax)
            f.fax = t.number;
        else if (t.cell)
            f.mobile = t.number;
        else if (t.pager)
            f.pager = t.number;
        else if (t.voice)
            f.phone = t.number;
    }
    return f;
}
