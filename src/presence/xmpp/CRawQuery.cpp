#include "presence/xmpp/CRawQuery.h"

#include <gloox/tag.h>

CRawQuery::CRawQuery(gloox::Tag* tag) : gloox::StanzaExtension(kType), m_tag(tag) { }

CRawQuery::~CRawQuery() { delete m_tag; }

// Never registered for incoming stanzas: nothing is filtered.
const std::string& CRawQuery::filterString() const
{
    static const std::string none;
    return none;
}

gloox::StanzaExtension* CRawQuery::newInstance(const gloox::Tag* tag) const
{
    return new CRawQuery(tag != nullptr ? tag->clone() : nullptr);
}

gloox::Tag* CRawQuery::tag() const { return m_tag != nullptr ? m_tag->clone() : nullptr; }

gloox::StanzaExtension* CRawQuery::clone() const { return newInstance(m_tag); }
