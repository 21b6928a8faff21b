#pragma once
// search.<domain>: jabber:iq:search with the x:data form the phone sends (a text "search"
// and the flags "Username", "Name", "Email", "Phone" saying where to look).
#include <gloox/iqhandler.h>

#include "CUserDirectory.h"

class CComponentLink;

class CSearchService : public gloox::IqHandler {
public:
    CSearchService(CComponentLink& link, CUserDirectory& directory);

    bool handleIq(const gloox::IQ& iq) override;
    void handleIqID(const gloox::IQ&, int) override { }

    // The query a submitted form asks for; false when the form is not one.
    static bool ReadForm(const gloox::Tag& query, DirectoryQuery& out);
    static gloox::Tag* ResultQuery(const std::vector<DirectoryUser>& users);

private:
    void AnswerFields(const gloox::IQ& iq);

    CComponentLink& m_link;
    CUserDirectory& m_directory;
};
