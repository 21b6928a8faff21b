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
#include "presence/CPresenceIMAccounts.h"

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
    // Any thread: the GUI presence thread reads them while it handles a result.
    void SetNotifySettings(const PresenceNotifySettings& s);

    // Snapshot of the roster model: one entry per contact, in arrival order.
    std::vector<RosterEntry> Roster() const;
    GatewayStatus Gateway(int imType) const;
    // The presence settings file: its gateway keys are read now and written by the
    // account operations below. Before sign-in.
    void UseSettingsFile(const std::string& path);
    // The same with the gateway keys read already by the settings reader.
    void UseSettingsFile(const std::string& path, const GatewayTable& loaded);
    // The account dialog: refused (-3, `refusal` set) for a missing user name or password or
    // an MSN name without '@'; otherwise both keys become "1"/the start-up choice and the
    // registration goes out (0). -1 an IM type outside 1 to 3.
    int AddIMAccount(int imType, const std::string& userName, const std::string& password, int atStartUp,
                     std::string& refusal);
    // Deleting the login information: both keys "0", the gateway unregisters.
    int DeleteIMAccount(int imType);
    // The start-up choice: written, and the three choices stored on the server.
    int SetIMLoginAtStartUp(int imType, int on);
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
    void HandleRosterItem(std::int32_t command, CRosterItem& item);
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
    GatewayTable m_status{};
    std::string m_settingsFile;
    std::thread m_thread;
    std::atomic<int> m_stop{0};
    std::atomic<int> m_done{1};
};
