#pragma once
// What the presence window's controller asks of the window it drives.
#include <string>

class IKVPresenceView {
public:
    virtual ~IKVPresenceView() = default;
    // The signed-in controls (status box, tree, buttons) shown or the signed-out look.
    virtual void ShowSignedIn(bool signedIn) = 0;
    virtual void SetStatusLabel(const std::string& text) = 0;
    virtual void ShowReconnect(bool shown) = 0;
    // The request dialog for one requester (Accept / Deny, a name, the groups).
    virtual void AskSubscription(const std::string& jid, const std::string& text) = 0;
    // Every node of the contact gets its name followed directly by `suffix`.
    virtual void SetSubscriptionText(const std::string& jid, const std::string& suffix) = 0;
    virtual void ShowInformation(const std::string& title, const std::string& text) = 0;
};
