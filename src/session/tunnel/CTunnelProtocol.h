#pragma once
// Session protocol over the operator's TCP tunnel, with the call's RTP relayed inside it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/CSessionProtocol.h"
#include "session/tunnel/CTCPConnection.h"
#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelMediaRelay.h"
#include "platform/Event.h"

class CTunnelProtocol : public CSessionProtocol {
public:
    static constexpr int kTunnelPort = 443;
    static constexpr int kSignallingBufferSize = 1024;
    static constexpr int kLocalMediaPort = CTunnelMediaRelay::kLocalMediaPort;
    static constexpr int kMaxCredentialLength = 30;
    static constexpr const char* kCodecList = "102,8,0,";
    static constexpr int TUNNEL_STATE_RUNNING = 3;

    CTunnelProtocol(const char* userAgent, int proxyPort, const char* proxyAddress, int useProxy, int reserved,
                    const char* tunnelServer);
    ~CTunnelProtocol() override;

    int Init(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback, void* context,
             const char* logFilePath, CODEC_INFO* codecs, int codecCount, const char* userAgent,
             int localSipPort) override;
    int Register(const char* displayName, const char* userId, const char* password, int expiry, const char* proxyHost,
                 const char* proxyPort, int reserved) override;
    int Invite(const char* ownUser, const char* calledUser, const char* proxyHost, const char* proxyPort,
               const char* localMediaIp, const char* localMediaPort) override;
    int SendRinging(SESSION_EVENT_INFO* record) override;
    int SendRingWithSDP(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort) override;
    int AcceptIncomingCall(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort) override;
    int RejectIncomingCall(SESSION_EVENT_INFO* record) override;
    int HangUp(SESSION_EVENT_INFO* record) override;
    int UnRegister(const char* displayName, const char* userId, const char* password, int expiry, const char* proxyHost,
                   const char* proxyPort) override;
    int SendPing() override;
    int StartListen(SESSION_EVENT_INFO* record) override;
    int StopListen() override;

    // Connection procedure; each returns 1 or a negative code.
    int MakeTcpConnection();
    int TryDirectConnection(const char* address, int port);
    int TryConnectionThroughProxy(const char* proxyAddress, int proxyPort, const char* tunnelHost, int tunnelPort);
    int HandShakeWithTunnelServer();
    // Sends a handshake text, waits (9 x 500 ms) for at least minReply bytes and reads the
    // reply, terminated, into reply (kHandshakeReplySize + 1 bytes). 0, or a negative code.
    int Exchange(CTCPConnection& connection, const std::uint8_t* data, int length, int minReply,
                 const char* noResponseText, const char* method, std::uint8_t* reply, int& replyLength);
    static constexpr int kHandshakeReplySize = 2048;

    std::string GetTimeStamp() const;
    bool IsConnected() const { return m_connected.load(); }
    bool IsRegistered() const { return m_registered.load(); }
    bool IsRelayActive() const { return m_relay.IsActive(); }
    int GetTunnelState() const { return m_tunnelState.load(); }

private:
    // One tunnel thread with its own connection, record and stopped event: a thread that has
    // been replaced neither touches its successor's state nor signals its end for it.
    struct TunnelWorker {
        std::shared_ptr<CTCPConnection> connection;
        std::atomic<bool> current{true}; // cleared, under m_workerLock, once replaced or closed
        zelora::Event stopped;
        std::thread thread;
        SESSION_EVENT_INFO record; // its thread only
    };

    std::shared_ptr<CTCPConnection> Connection() const;
    void SetConnection(std::shared_ptr<CTCPConnection> connection);
    std::shared_ptr<TunnelWorker> CurrentWorker() const;
    int StartTunnelThread(std::shared_ptr<CTCPConnection> connection);
    void RetireTunnelThread();
    void JoinTunnelThreads();
    bool EndConnection(TunnelWorker& worker);
    void TunnelThreadProc(std::shared_ptr<TunnelWorker> worker);
    void TunnelThreadStateMachine(TunnelWorker& worker);
    // Parses a signalling frame and reports it; false once the unregistration is answered.
    bool DeliverFrame(TunnelWorker& worker, const std::uint8_t* frame, int length);
    int SendCommand(const TUNNEL_CLIENT_DATA& data, const char* method);
    int SendCallCommand(int command, const SESSION_EVENT_INFO* record, const char* codecList, const char* method);
    static void SetCallIds(TUNNEL_CLIENT_DATA& data, const SESSION_EVENT_INFO* record);

    std::string m_tunnelUserAgent;
    int m_tunnelProxyPort;
    std::string m_proxyAddress;
    int m_useProxy;
    [[maybe_unused]] int m_reserved; // stored, never read
    std::string m_tunnelServer;

    // The one-entry connection table. Readers take a copy, so a replaced connection lives
    // until its last sender is done with it.
    mutable std::mutex m_connectionLock;
    std::shared_ptr<CTCPConnection> m_connection;
    int m_connectionCount = 0;
    std::mutex m_connectProcedure; // one connection procedure at a time

    std::atomic<int> m_tunnelState{0};
    std::atomic<bool> m_connected{false};
    mutable std::mutex m_timestampLock;
    std::string m_timestamp;

    std::mutex m_signallingLock;
    std::uint8_t m_sendBuffer[kSignallingBufferSize];

    // The running tunnel thread and those replaced but not yet joined. Replacing one never
    // waits for it: it may be in a callback waiting for a lock our caller holds.
    mutable std::mutex m_workerLock; // never held while waiting for or joining a thread
    std::shared_ptr<TunnelWorker> m_worker;
    std::vector<std::shared_ptr<TunnelWorker>> m_retired;

    CTunnelMediaRelay m_relay{[this] { return Connection(); }};
};
