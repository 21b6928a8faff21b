#include "CRawQuery.h"

CRawQuery::CRawQuery(int type, const std::string& xmlns, const gloox::Tag* tag)
    : gloox::StanzaExtension(type), m_xmlns(xmlns), m_filter("/iq/query[@xmlns='" + xmlns + "']"),
      m_raw(tag != nullptr ? tag->clone() : nullptr)
{
}

gloox::StanzaExtension* CRawQuery::newInstance(const gloox::Tag* tag) const
{
    return new CRawQuery(extensionType(), m_xmlns, tag);
}

gloox::StanzaExtension* CRawQuery::clone() const { return new CRawQuery(extensionType(), m_xmlns, m_raw.get()); }

gloox::Tag* ReplyTo(const gloox::IQ& request, const std::string& type)
{
    auto* reply = new gloox::Tag("iq");
    reply->addAttribute("type", type);
    reply->addAttribute("id", request.id());
    reply->addAttribute("from", request.to().full());
    reply->addAttribute("to", request.from().full());
    return reply;
}
