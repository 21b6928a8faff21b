#pragma once
// The GUI side of the presence bus: turns every user action into an XMPP command and
// runs the thread that reads results and drives the view. Keeps the roster model the
// tree shows and the gateway status table.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "presence/CPresenceData.h"

class CFifo;
class IPresenceView;
namespace zelora {
class MessageQueue;
}

struct PresenceGateways {
    std::string yahoo, msn, gtalk;
};

// The notification and sound choices of the presence settings.
struct PresenceNotifySettings {
    int soundOffline = 0, notifyOffline = 0, notifyOnline = 0;
    int soundMessageArrive = 0, toastPopup = 0, soundInvitation = 0, soundMessageSent = 0;
    std::string offlineSound, newMessageSound, invitationSound, sentMessageSound;
};

struct GatewayStatus {
    int loginInfo = 0;
    int loginAtStartUp = 0;
    int signedIn = 0;
};

class CGUIPresenceHandler {
public:
    static constexpr int kPollMs = 50;
    static constexpr const char* kDefaultGroup = "Buddies";

    CGUIPresenceHandler(CFifo& xmppFifo, CFifo& guiFifo);
    ~CGUIPresenceHandler();
    CGUIPresenceHandler(const CGUIPresenceHandler&) = delete;
    CGUIPresenceHandler& operator=(const CGUIPresenceHandler&) = delete;

    int InitializeGUIPresenceHandler(const std::string& ownJid, const std::string& userId, const std::string& domain,
                                     IPresenceView* view, zelora::MessageQueue* mainWindow,
                                     const PresenceGateways& gateways);
    // The window's one entry point for user actions; always 0.
    int HandleGUIPresenceData(std::int32_t command, CPresenceData* data);
    void WriteToXMPPFIFO(std::int32_t command, CPresenceData* data);
    int IsIMTransportJID(const std::string& jid) const;
    void SetNotifySettings(const PresenceNotifySettings& s) { m_notify = s; }

    // Snapshot of the roster model: one entry per contact, in arrival order.
    std::vector<RosterEntry> Roster() const;
    GatewayStatus Gateway(int imType) const;
    void SetLoginAtStartUp(int imType, int on);
    const std::string& OwnJid() const { return m_ownJid; }

    // One result as the thread handles it (tests call it directly). Returns whether the
    // record was kept (handed to the view).
    bool Handle(std::int32_t command, CPresenceData* data);

private:
    void ThreadProc();
    void HandleSuccessfulLogin();
    bool HandleConnectionError(CPresenceData* data);
    void HandleRosterData(CRosterData& roster);
    void HandleRosterPresenceData(CRosterPresenceData& data);
    bool HandleChatMessage(CPresenceData* data);
    void HandleRosterItemAdded(CRosterItem& item);
    void HandleRosterItemRemoved(CRosterItem& item);
    int HandleIMLoginStatus(const std::string& jid, int presence);
    void HandleIMLoginIDDetails(CIMLoginIDDetails& details);
    void EnableIMLoginIfExists();
    void PostSound(int flag, const std::string& file);
    RosterEntry* Find(const std::string& jid);

    CFifo& m_xmppFifo;
    CFifo& m_guiFifo;
    IPresenceView* m_view = nullptr;
    zelora::MessageQueue* m_mainWindow = nullptr;
    PresenceGateways m_gateways;
    PresenceNotifySettings m_notify;
    std::string m_ownJid, m_userId, m_domain;

    mutable std::mutex m_mutex;
    std::vector<RosterEntry> m_roster;
    std::array<GatewayStatus, 4> m_status{};
    std::thread m_thread;
    std::atomic<int> m_stop{0};
    std::atomic<int> m_done{1};
};
