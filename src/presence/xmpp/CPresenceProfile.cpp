#include "presence/xmpp/CPresenceProfile.h"

#include "app/CLogger.h"

#include <gloox/vcard.h>

namespace {

void AddAddress(gloox::VCard& card, const PresenceProfileAddress& a, int type)
{
    if (!a.Empty())
        card.addAddress("", "", a.street, a.locality, a.region, a.pcode, a.country, type);
}

PresenceProfileAddress ReadAddress(const gloox::VCard::Address& a)
{
    return {a.street, a.locality, a.region, a.pcode, a.ctry};
}

} // namespace

void CPresenceProfile::AddNumbers(gloox::VCard& card, const PresenceProfileNumbers& n, int place)
{
    const std::pair<const std::string*, int> numbers[] = {{&n.fax, gloox::VCard::AddrTypeFax},
                                                          {&n.mobile, gloox::VCard::AddrTypeCell},
                                                          {&n.pager, gloox::VCard::AddrTypePager},
                                                          {&n.phone, gloox::VCard::AddrTypeVoice}};
    for (const auto& [number, type] : numbers)
        if (!number->empty())
            card.addTelephone(*number, place | type);
}

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
    AddAddress(*card, f.work, gloox::VCard::AddrTypeWork);
    card->setTitle(f.title);
    card->setUrl(f.url);
    card->setOrganization(f.org, gloox::StringList());
    AddNumbers(*card, f.workNumbers, gloox::VCard::AddrTypeWork);
    AddAddress(*card, f.home, gloox::VCard::AddrTypeHome);
    AddNumbers(*card, f.homeNumbers, gloox::VCard::AddrTypeHome);
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
    for (const auto& a : card.addresses())
        (a.home ? f.home : f.work) = ReadAddress(a);
    for (const auto& t : card.telephone()) {
        PresenceProfileNumbers& n = t.home ? f.homeNumbers : f.workNumbers;
        (t.fax ? n.fax : t.cell ? n.mobile : t.pager ? n.pager : n.phone) = t.number;
    }
    return f;
}
