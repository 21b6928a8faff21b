#pragma once
// The one contract through which the phone talks to a signalling service.
#include <atomic>
#include <cstdio>
#include <string>

#include "session/SessionTypes.h"

class CSessionProtocol {
public:
    CSessionProtocol() = default;
    CSessionProtocol(const CSessionProtocol&) = delete;
    CSessionProtocol& operator=(const CSessionProtocol&) = delete;
    // Implementations unregister and stop their worker in their own destructor; the base
    // closes the protocol log file.
    virtual ~CSessionProtocol();

    virtual int Init(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback,
                     void* context, const char* logFilePath, CODEC_INFO* codecs, int codecCount, const char* userAgent,
                     int localSipPort) = 0;
    virtual int Register(const char* displayName, const char* userId, const char* password, int expiry,
                         const char* proxyHost, const char* proxyPort, int reserved) = 0;
    virtual int Invite(const char* ownUser, const char* calledUser, const char* proxyHost, const char* proxyPort,
                       const char* localMediaIp, const char* localMediaPort) = 0;
    virtual int SendRinging(SESSION_EVENT_INFO* record) = 0;
    virtual int SendRingWithSDP(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort) = 0;
    virtual int AcceptIncomingCall(SESSION_EVENT_INFO* record, const char* localMediaIp,
                                   const char* localMediaPort) = 0;
    virtual int RejectIncomingCall(SESSION_EVENT_INFO* record) = 0;
    virtual int HangUp(SESSION_EVENT_INFO* record) = 0;
    virtual int UnRegister(const char* displayName, const char* userId, const char* password, int expiry,
                           const char* proxyHost, const char* proxyPort) = 0;
    virtual int SendPing() = 0;
    virtual int StartListen(SESSION_EVENT_INFO* record);
    virtual int StopListen();

protected:
    // The validation and storing step every Init starts with: 0, or the Init failure code
    // (-1 callback, -2 realm, -3 proxy host, -4 proxy port, -7 codec list or log file,
    // -8 codec count, -9 context, -10 user agent).
    int ValidateAndStoreInit(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback,
                             void* context, const char* logFilePath, CODEC_INFO* codecs, int codecCount,
                             const char* userAgent, const char* method);
    // Copies display name, user ID and password, each at most 255 characters.
    void StoreCredentials(const char* displayName, const char* userId, const char* password);

    static std::string Bounded(const char* text, std::size_t limit = 255);

    std::string m_realm;
    std::string m_proxyHost;
    std::string m_proxyPort;
    std::string m_userAgent; // at most 254 characters
    SESSION_CALLBACK m_callback = nullptr;
    void* m_context = nullptr;
    CODEC_INFO* m_codecs = nullptr;
    int m_codecCount = 0;
    FILE* m_logFile = nullptr;
    std::string m_displayName;
    std::string m_userId;
    std::string m_password;
    std::atomic<bool> m_quitting{false};
    std::atomic<bool> m_registered{false};
};
