#pragma once
// The operator's end of the tunnel: handshake, registration, calls between tunnel users,
// an echo number, and media relayed inside the stream. One poll() loop, bounded everywhere.
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CTunnelAccounts.h"
#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelRingBuffer.h"

struct TunnelServerOptions {
    std::string listenAddress = "127.0.0.1";
    int port = 443;
    std::string accountsFile;
    std::string echoNumber;
    int timestampInterval = 300; // seconds between command-100 frames
    int idleTimeout = 180; // seconds without a byte before a client is dropped
    int maxClients = 256;
    std::string refuseFrom; // connections from this address are closed at once (a blocked path)
    int rtpBase = 40000;
    std::vector<int> codecPreference{8, 0, 102};
};

class CTunnelServer {
public:
    explicit CTunnelServer(TunnelServerOptions options);
    ~CTunnelServer();
    CTunnelServer(const CTunnelServer&) = delete;
    CTunnelServer& operator=(const CTunnelServer&) = delete;

    // 0 once listening, -1 with the reason on stderr.
    int Start();
    // Runs until Stop (or a signal through the stop descriptor); returns the exit code.
    int Run();
    // Safe from a signal handler.
    void Stop();

private:
    struct Client {
        int fd = -1;
        std::uint64_t id = 0;
        std::string peer;
        bool helloDone = false;
        std::string hello;
        CTunnelRingBuffer ring{3000};
        std::vector<std::uint8_t> out;
        std::size_t outOffset = 0;
        bool closing = false;
        std::string user; // registered user, empty when not registered
        std::string timestamp, previousTimestamp;
        std::time_t lastTimestamp = 0;
        std::time_t lastActivity = 0;
    };
    struct Leg {
        std::uint64_t client = 0;
        int did = 0;
        int rtpPort = 0;
        std::string user;
    };
    struct Call {
        int cid = 0;
        int tid = 0;
        bool echo = false;
        bool answered = false;
        Leg caller, callee;
        std::string callerCodecs;
        int payload = 0;
    };
    struct Frame {
        std::uint8_t tlv[1024];
        int length = 1;
        Frame() { tlv[0] = 0; }
        Frame& Number(std::uint8_t type, int value);
        Frame& Text(std::uint8_t type, const std::string& value);
    };

    void Accept();
    void OnReadable(Client& c);
    void OnWritable(Client& c);
    void HandleHello(Client& c);
    void HandleFrames(Client& c);
    void HandleSignalling(Client& c, const std::uint8_t* content, int length);
    void HandleMedia(Client& c, const std::uint8_t* rtp, int length);
    void HandleRegister(Client& c, const TUNNEL_CLIENT_DATA& d);
    void HandleInvite(Client& c, const TUNNEL_CLIENT_DATA& d);
    void HandleCallCommand(Client& c, const TUNNEL_CLIENT_DATA& d);
    void SendSignalling(Client& c, int command, Frame& frame);
    void SendPacket(Client& c, const std::uint8_t* content, int length);
    void Drop(Client& c, const char* why);
    void EndCallsOf(Client& c);
    void Tick(std::time_t now);
    Client* FindClient(std::uint64_t id);
    Client* FindUser(const std::string& user);
    Call* FindCall(int cid);
    bool InCall(std::uint64_t client) const;
    int NextRtpPort();
    std::string NewTimestamp();
    Frame CallFrame(const Call& call, const Leg& leg, bool withMedia);
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    TunnelServerOptions m_options;
    CTunnelAccounts m_accounts;
    int m_listen = -1;
    int m_stopPipe[2] = {-1, -1};
    std::map<std::uint64_t, std::unique_ptr<Client>> m_clients;
    std::map<int, Call> m_calls;
    std::uint64_t m_nextClient = 1;
    int m_nextCid = 1;
    int m_nextDid = 1;
    int m_nextTid = 1;
    int m_nextRtp = 0;
    unsigned m_timestampCounter = 0;
    std::uint8_t m_frameArea[3000];
    std::uint8_t m_readArea[4096];
};
