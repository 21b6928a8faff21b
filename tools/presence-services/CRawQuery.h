#pragma once
// An IQ's <query/> of one namespace, kept as the raw element: the services read fields
// that gloox's own extensions do not expose to a component (x:data forms, <remove/>).
#include <gloox/iq.h>
#include <gloox/stanzaextension.h>
#include <gloox/tag.h>

#include <memory>
#include <string>

class CRawQuery : public gloox::StanzaExtension {
public:
    static constexpr int kSearch = gloox::ExtUser + 61;
    static constexpr int kRegister = gloox::ExtUser + 62;

    CRawQuery(int type, const std::string& xmlns, const gloox::Tag* tag = nullptr);
    const std::string& filterString() const override { return m_filter; }
    gloox::StanzaExtension* newInstance(const gloox::Tag* tag) const override;
    gloox::Tag* tag() const override { return m_raw ? m_raw->clone() : nullptr; }
    gloox::StanzaExtension* clone() const override;
    const gloox::Tag* Query() const { return m_raw.get(); }

private:
    std::string m_xmlns;
    std::string m_filter;
    std::unique_ptr<gloox::Tag> m_raw;
};

// The reply to `request` ("result" or "error"), addressed back from the service.
gloox::Tag* ReplyTo(const gloox::IQ& request, const std::string& type);
