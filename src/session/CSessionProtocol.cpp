#include "session/CSessionProtocol.h"

#include "app/CLogger.h"

CSessionProtocol::~CSessionProtocol()
{
    if (m_logFile != nullptr) {
        std::fclose(m_logFile);
        m_logFile = nullptr;
    }
}

int CSessionProtocol::StartListen(SESSION_EVENT_INFO* /*record*/) { return 1; }

int CSessionProtocol::StopListen()
{
    ZLOG_SCOPE();
    return 1;
}

std::string CSessionProtocol::Bounded(const char* text, std::size_t limit)
{
    if (text == nullptr)
        return {};
    std::string s(text);
    if (s.size() > limit)
        s.resize(limit);
    return s;
}

int CSessionProtocol::ValidateAndStoreInit(const char* realm, const char* proxyHost, const char* proxyPort,
                                           SESSION_CALLBACK callback, void* context, const char* logFilePath,
                                           CODEC_INFO* codecs, int codecCount, const char* userAgent,
                                           const char* method)
{
    if (callback == nullptr)
        return -1;
    if (realm == nullptr)
        return -2;
    if (proxyHost == nullptr)
        return -3;
    if (proxyPort == nullptr)
        return -4;
    if (codecs == nullptr)
        return -7;
    if (codecCount <= 0)
        return -8;
    if (context == nullptr)
        return -9;
    if (userAgent == nullptr)
        return -10;

    m_realm = Bounded(realm);
    m_proxyHost = Bounded(proxyHost);
    m_proxyPort = Bounded(proxyPort);
    m_userAgent = Bounded(userAgent, 254);
    m_callback = callback;
    m_context = context;
    m_codecs = codecs;
    m_codecCount = codecCount > MAX_CODEC_COUNT ? MAX_CODEC_COUNT : codecCount;

    if (logFilePath != nullptr) {
        if (m_logFile != nullptr)
            std::fclose(m_logFile);
        m_logFile = std::fopen(logFilePath, "w+");
        if (m_logFile == nullptr) {
            ZLOG_AS(LOG_ERROR, method, "Unable to create sip log file %s", logFilePath);
            return -7;
        }
    }
    return 0;
}

void CSessionProtocol::StoreCredentials(const char* displayName, const char* userId, const char* password)
{
    m_displayName = Bounded(displayName);
    m_userId = Bounded(userId);
    m_password = Bounded(password);
}
