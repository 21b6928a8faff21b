#pragma once
// One user's presence session as the desktop program builds it, with the presence window's
// secondary windows fed the results meant for them.
#include <atomic>
#include <memory>
#include <string>

#include "RecordingView.h"
#include "presence/CFifo.h"
#include "presence/CPresenceHandler.h"
#include "presence/ui/CPresenceDialogHost.h"

// What the presence window does with the results meant for its secondary windows; every
// other result is recorded for the test to wait on.
class ForwardingView : public RecordingView {
public:
    // Set once the session's core exists; results before that are sign-in ones.
    std::atomic<CPresenceDialogHost*> host{nullptr};
    void ChatMessage(std::unique_ptr<CChatMessage> m) override
    {
        const std::string name = m->senderName;
        if (CPresenceDialogHost* h = host.load())
            h->ChatMessage(std::move(m), name);
    }
    void ContactPresence(const RosterEntry& contact) override
    {
        RecordingView::ContactPresence(contact);
        if (CPresenceDialogHost* h = host.load())
            h->ContactPresence(contact);
    }
    void Profile(std::unique_ptr<CVCard> card, bool own) override
    {
        if (CPresenceDialogHost* h = host.load())
            h->Profile(std::move(card), own);
    }
    void ProfileStored(std::unique_ptr<CVCard> card) override
    {
        if (CPresenceDialogHost* h = host.load())
            h->ProfileStored(std::move(card));
    }
    void SearchResult(const CSearchResult* result) override
    {
        if (CPresenceDialogHost* h = host.load())
            h->SearchResult(result);
    }
    void ImRegistered(int imType, bool registered) override
    {
        if (CPresenceDialogHost* h = host.load())
            h->ImRegistered(imType, registered);
    }
    void ImStatus(int imType, int signedIn, int loginInfo) override
    {
        RecordingView::ImStatus(imType, signedIn, loginInfo);
        if (CPresenceDialogHost* h = host.load())
            h->ImStatus(imType, signedIn, loginInfo);
    }
};

struct DialogSession {
    CFifo xmpp, gui;
    ForwardingView view;
    std::unique_ptr<CPresenceDialogHost> host;
    // Goes first: the core's threads end before the windows they feed.
    std::unique_ptr<CPresenceHandler> handler;

    DialogSession(const std::string& server, const std::string& user, const std::string& settings);
};
