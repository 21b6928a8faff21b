#include "CSearchService.h"

#include "CComponentLink.h"
#include "CRawQuery.h"

#include <gloox/disco.h>

#include <cstdio>

namespace {

constexpr const char* kSearchNs = "jabber:iq:search";
constexpr const char* kDataNs = "jabber:x:data";
const char* const kColumns[] = {"Username", "Name", "Email", "Phone"};

gloox::Tag* Field(gloox::Tag* parent, const std::string& var, const std::string& type, const std::string& value)
{
    auto* f = new gloox::Tag(parent, "field");
    f->addAttribute("var", var);
    f->addAttribute("type", type);
    if (!value.empty())
        new gloox::Tag(f, "value", value);
    return f;
}

std::string Value(const gloox::Tag& field)
{
    const gloox::Tag* v = field.findChild("value");
    return v != nullptr ? v->cdata() : std::string();
}

bool Flag(const gloox::Tag& form, const std::string& var)
{
    for (const gloox::Tag* f : form.findChildren("field"))
        if (f->findAttribute("var") == var) {
            const std::string v = Value(*f);
            return v == "1" || v == "true";
        }
    return false;
}

} // namespace

CSearchService::CSearchService(CComponentLink& link, CUserDirectory& directory) : m_link(link), m_directory(directory)
{
    gloox::Component& c = m_link.Component();
    c.disco()->setIdentity("directory", "user", "User search");
    c.disco()->addFeature(kSearchNs);
    c.registerStanzaExtension(new CRawQuery(CRawQuery::kSearch, kSearchNs));
    c.registerIqHandler(this, CRawQuery::kSearch);
}

bool CSearchService::ReadForm(const gloox::Tag& query, DirectoryQuery& out)
{
    const gloox::Tag* form = query.findChild("x");
    if (form == nullptr || form->xmlns() != kDataNs || form->findAttribute("type") != "submit")
        return false;
    bool hasText = false;
    for (const gloox::Tag* f : form->findChildren("field"))
        if (f->findAttribute("var") == "search") {
            out.text = Value(*f);
            hasText = true;
        }
    out.user = Flag(*form, "Username");
    out.name = Flag(*form, "Name");
    out.email = Flag(*form, "Email");
    out.phone = Flag(*form, "Phone");
    return hasText && !out.text.empty() && out.text.size() <= CUserDirectory::kMaxField;
}

gloox::Tag* CSearchService::ResultQuery(const std::vector<DirectoryUser>& users)
{
    auto* query = new gloox::Tag("query", "xmlns", kSearchNs);
    auto* form = new gloox::Tag(query, "x", "xmlns", kDataNs);
    form->addAttribute("type", "result");
    Field(form, "FORM_TYPE", "hidden", kSearchNs);
    auto* reported = new gloox::Tag(form, "reported");
    for (const char* column : kColumns)
        Field(reported, column, "text-single", "")->addAttribute("label", column);
    for (const DirectoryUser& u : users) {
        auto* item = new gloox::Tag(form, "item");
        const std::string* values[] = {&u.user, &u.name, &u.email, &u.phone};
        for (int i = 0; i < 4; ++i) {
            auto* f = new gloox::Tag(item, "field");
            f->addAttribute("var", kColumns[i]);
            new gloox::Tag(f, "value", *values[i]);
        }
    }
    return query;
}

void CSearchService::AnswerFields(const gloox::IQ& iq)
{
    gloox::Tag* reply = ReplyTo(iq, "result");
    auto* query = new gloox::Tag(reply, "query", "xmlns", kSearchNs);
    new gloox::Tag(query, "instructions", "Enter a text and where to look for it.");
    auto* form = new gloox::Tag(query, "x", "xmlns", kDataNs);
    form->addAttribute("type", "form");
    Field(form, "FORM_TYPE", "hidden", kSearchNs);
    Field(form, "search", "text-single", "");
    for (const char* column : kColumns)
        Field(form, column, "boolean", "0");
    m_link.Component().send(reply);
}

bool CSearchService::handleIq(const gloox::IQ& iq)
{
    const auto* raw = iq.findExtension<CRawQuery>(CRawQuery::kSearch);
    if (raw == nullptr || raw->Query() == nullptr)
        return false;
    if (iq.subtype() == gloox::IQ::Get) {
        std::fprintf(stderr, "presence-services: search fields for %s\n", iq.from().full().c_str());
        AnswerFields(iq);
        return true;
    }
    if (iq.subtype() != gloox::IQ::Set)
        return false;
    DirectoryQuery q;
    if (!ReadForm(*raw->Query(), q)) {
        std::fprintf(stderr, "presence-services: search from %s refused: not a filled search form\n",
                     iq.from().full().c_str());
        gloox::Tag* reply = ReplyTo(iq, "error");
        auto* error = new gloox::Tag(reply, "error");
        error->addAttribute("type", "modify");
        new gloox::Tag(error, "bad-request", "xmlns", "urn:ietf:params:xml:ns:xmpp-stanzas");
        m_link.Component().send(reply);
        return true;
    }
    const std::vector<DirectoryUser> found = m_directory.Search(q);
    std::fprintf(stderr, "presence-services: search from %s text=\"%s\" flags=%d%d%d%d found %zu\n",
                 iq.from().full().c_str(), q.text.c_str(), q.user, q.name, q.email, q.phone, found.size());
    gloox::Tag* reply = ReplyTo(iq, "result");
    reply->addChild(ResultQuery(found));
    m_link.Component().send(reply);
    return true;
}
