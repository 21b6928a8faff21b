#pragma once
// An outgoing IQ's child sent as it was built: lets a hand-made query go through
// ClientBase::send(IQ&, IqHandler*, context), so that its answer comes back to a handler.
#include <gloox/stanzaextension.h>

#include <string>

class CRawQuery : public gloox::StanzaExtension {
public:
    static constexpr int kType = gloox::ExtUser + 42;
    // Takes `tag`.
    explicit CRawQuery(gloox::Tag* tag);
    ~CRawQuery() override;
    CRawQuery(const CRawQuery&) = delete;
    CRawQuery& operator=(const CRawQuery&) = delete;

    const std::string& filterString() const override;
    gloox::StanzaExtension* newInstance(const gloox::Tag* tag) const override;
    gloox::Tag* tag() const override;
    gloox::StanzaExtension* clone() const override;

private:
    gloox::Tag* m_tag;
};
