#include "session/tunnel/CTunnelProtocol.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/CEncryptDecrypt.h"
#include "app/CLogger.h"
#include "session/tunnel/CTunnelFrameCodec.h"
#include "platform/HexString.h"

namespace {
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// 8 hex digits per character: the cipher's 4 bytes per character, two digits each.
int EncipherToHex(const std::string& plain, std::string& hex)
{
    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> out;
    int n = cipher.Encrypt(plain, CEncryptDecrypt::kTunnelKey, out);
    if (n <= 0)
        return -1;
    out.resize(static_cast<std::size_t>(n));
    hex = zelora::MakeHexString(out);
    return 1;
}
} // namespace

CTunnelProtocol::CTunnelProtocol(const char* userAgent, int proxyPort, const char* proxyAddress, int useProxy,
                                 int reserved, const char* tunnelServer)
    : m_tunnelUserAgent(Bounded(userAgent, 254)), m_tunnelProxyPort(proxyPort), m_proxyAddress(Bounded(proxyAddress)),
      m_useProxy(useProxy), m_reserved(reserved), m_tunnelServer(Bounded(tunnelServer))
{
    ZLOG_SCOPE();
    std::memset(m_sendBuffer, 0, sizeof m_sendBuffer);
}

CTunnelProtocol::~CTunnelProtocol()
{
    ZLOG_SCOPE();
    m_quitting = true;
    if (m_registered.load() && m_connected.load()) {
        std::shared_ptr<TunnelWorker> worker = CurrentWorker();
        UnRegister(m_displayName.c_str(), m_userId.c_str(), m_password.c_str(), 0, nullptr, nullptr);
        // The tunnel thread ends on the server's answer to the unregistration.
        if (worker && !worker->stopped.Wait(5000))
            ZLOG(LOG_WARNING, "No answer to the unregistration");
    }
    m_tunnelState = 0;
    StopListen();
    JoinTunnelThreads();
    if (m_logFile != nullptr)
        ZLOG(LOG_DEBUG, "Closing TCPLayer Log file");
    SetConnection(nullptr);
}

std::shared_ptr<CTCPConnection> CTunnelProtocol::Connection() const
{
    std::lock_guard<std::mutex> guard(m_connectionLock);
    return m_connection;
}

void CTunnelProtocol::SetConnection(std::shared_ptr<CTCPConnection> connection)
{
    std::lock_guard<std::mutex> guard(m_connectionLock);
    m_connection = std::move(connection);
    m_connectionCount = m_connection ? 1 : 0;
}

std::string CTunnelProtocol::GetTimeStamp() const
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_timestampLock);
    return m_timestamp;
}

std::shared_ptr<CTunnelProtocol::TunnelWorker> CTunnelProtocol::CurrentWorker() const
{
    std::lock_guard<std::mutex> guard(m_workerLock);
    return m_worker;
}

int CTunnelProtocol::StartTunnelThread(std::shared_ptr<CTCPConnection> connection)
{
    ZLOG_SCOPE();
    auto worker = std::make_shared<TunnelWorker>();
    worker->connection = std::move(connection);
    ClearEventInfo(worker->record);
    // Held until the worker is current, so that its thread cannot see itself as replaced.
    std::lock_guard<std::mutex> guard(m_workerLock);
    m_tunnelState = TUNNEL_STATE_RUNNING;
    m_connected = true;
    try {
        worker->thread = std::thread(&CTunnelProtocol::TunnelThreadProc, this, worker);
    } catch (...) {
        m_tunnelState = 0;
        m_connected = false;
        return -1;
    }
    m_worker = std::move(worker);
    return 1;
}

void CTunnelProtocol::RetireTunnelThread()
{
    ZLOG_SCOPE();
    std::vector<std::shared_ptr<TunnelWorker>> ended;
    {
        std::lock_guard<std::mutex> guard(m_workerLock);
        if (m_worker) {
            m_worker->current = false;
            m_worker->connection->Shutdown();
            m_retired.push_back(std::move(m_worker));
        }
        // Only threads that are already done are joined here: one still running may be in a
        // callback waiting for a lock our caller holds, or be the calling thread itself.
        for (auto it = m_retired.begin(); it != m_retired.end();) {
            if ((*it)->stopped.IsSet() && (*it)->thread.get_id() != std::this_thread::get_id()) {
                ended.push_back(std::move(*it));
                it = m_retired.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& worker : ended)
        worker->thread.join();
}

void CTunnelProtocol::JoinTunnelThreads()
{
    ZLOG_SCOPE();
    RetireTunnelThread();
    std::vector<std::shared_ptr<TunnelWorker>> all;
    {
        std::lock_guard<std::mutex> guard(m_workerLock);
        all.swap(m_retired);
    }
    for (auto& worker : all) {
        if (worker->thread.get_id() == std::this_thread::get_id()) {
            // Destroyed from its own callback: nothing can wait for this thread any more.
            ZLOG(LOG_ERROR, "Tunnel protocol destroyed by its own thread");
            worker->thread.detach();
            continue;
        }
        worker->thread.join();
        // Closed only once no thread can be inside a receive on it.
        worker->connection->Close();
    }
}

bool CTunnelProtocol::EndConnection(TunnelWorker& worker)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_workerLock);
    // A replaced thread's close was made by its replacement: the state is no longer its own.
    if (!worker.current.exchange(false))
        return false;
    m_connected = false;
    // exchange: the logout is reported once, however the close came about
    return m_registered.exchange(false);
}

int CTunnelProtocol::Init(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback,
                          void* context, const char* logFilePath, CODEC_INFO* codecs, int codecCount,
                          const char* userAgent, int /*localSipPort*/)
{
    ZLOG_SCOPE();
    int rc = ValidateAndStoreInit(realm, proxyHost, proxyPort, callback, context, logFilePath, codecs, codecCount,
                                  userAgent, "CTunnelProtocol::Init");
    if (rc < 0) {
        ZLOG(LOG_ERROR, "Invalid argument, code %d", rc);
        return rc;
    }
    std::lock_guard<std::mutex> guard(m_connectProcedure);
    rc = MakeTcpConnection();
    if (rc < 0)
        return rc;
    return 0;
}

int CTunnelProtocol::MakeTcpConnection()
{
    ZLOG_SCOPE();
    if (m_tunnelServer.empty()) {
        ZLOG(LOG_ERROR, "Unable to get tunnel ip from registry");
        return -1;
    }
    // A connection left from before goes first; the thread that reads it is told to end but
    // not waited for (it may be waiting for the lock our caller holds, or be this thread).
    std::shared_ptr<CTCPConnection> old = Connection();
    m_tunnelState = 0;
    m_connected = false;
    if (old)
        old->Shutdown();
    StopListen();
    RetireTunnelThread();
    SetConnection(nullptr);
    old.reset();

    int rc;
    if (m_useProxy == 1 && !m_proxyAddress.empty()) {
        ZLOG(LOG_DEBUG, "Trying connection with [%s:%d]", m_proxyAddress.c_str(), m_tunnelProxyPort);
        rc = TryConnectionThroughProxy(m_proxyAddress.c_str(), m_tunnelProxyPort, m_tunnelServer.c_str(), kTunnelPort);
        if (rc < 0) {
            ZLOG(LOG_ERROR, "Connection through internet proxy failed");
            return rc;
        }
    } else {
        ZLOG(LOG_DEBUG, "Trying connection with [%s:%d]", m_tunnelServer.c_str(), kTunnelPort);
        rc = TryDirectConnection(m_tunnelServer.c_str(), kTunnelPort);
        if (rc < 0) {
            ZLOG(LOG_ERROR, "Direct connection to tunnel server failed");
            return rc;
        }
    }
    ZLOG(LOG_DEBUG, "TCP Connection successfull");
    std::shared_ptr<CTCPConnection> connection = Connection();
    if (!connection || StartTunnelThread(connection) < 0) {
        ZLOG(LOG_ERROR, "CreateThread failed");
        return -11;
    }
    return 1;
}

int CTunnelProtocol::TryDirectConnection(const char* address, int port)
{
    ZLOG_SCOPE();
    auto connection = std::make_shared<CTCPConnection>(m_tunnelUserAgent.c_str(), address);
    ZLOG(LOG_DEBUG, "Trying Connection with PPTP server.IP[%s]Port[%d]", address, port);
    int rc = connection->Init(address, port);
    if (rc < 0) {
        ZLOG(LOG_ERROR, "Unable Init TCP connection with IP[%s]Port[%d]", address, port);
        return rc;
    }
    SetConnection(connection);
    ZLOG(LOG_DEBUG, "Connected to IP[%s] Port [%d]", address, port);
    return HandShakeWithTunnelServer();
}

int CTunnelProtocol::TryConnectionThroughProxy(const char* proxyAddress, int proxyPort, const char* tunnelHost,
                                               int tunnelPort)
{
    ZLOG_SCOPE();
    auto connection = std::make_shared<CTCPConnection>(m_tunnelUserAgent.c_str(), tunnelHost);
    ZLOG(LOG_DEBUG, "Trying Connection through Internet Proxy.IP[%s]Port[%d]", proxyAddress, proxyPort);
    int rc = connection->Init(proxyAddress, proxyPort);
    if (rc < 0) {
        ZLOG(LOG_ERROR, "Unable Init TCP connection with IP[%s]Port[%d]", proxyAddress, proxyPort);
        return rc;
    }
    SetConnection(connection);
    ZLOG(LOG_DEBUG, "Connected to IP[%s] Port [%d]", proxyAddress, proxyPort);

    char request[2048];
    int length = std::snprintf(
        request, sizeof request,
        "CONNECT %s:%d HTTP/1.1\r\nHost: %s:%d \r\nUser-Agent: Mozilla/4.0 (compatible; %s)\r\n"
        "Accept: "
        "text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,*/*;q=0.5\r\n"
        "Accept-Language: en-us,en;q=0.5\r\nAccept-Encoding: gzip,deflate\r\n"
        "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\nConnection: Keep-Alive\r\n"
        "Proxy-Connection: keep-alive\r\nKeep-Alive: 86400\r\n\r\n",
        tunnelHost, tunnelPort, tunnelHost, tunnelPort, m_tunnelUserAgent.c_str());
    if (length < 0 || length >= static_cast<int>(sizeof request))
        length = static_cast<int>(std::strlen(request));
    std::uint8_t reply[kHandshakeReplySize + 1];
    int replyLength = 0;
    rc = Exchange(*connection, reinterpret_cast<const std::uint8_t*>(request), length, 1,
                  "No response from Internet proxy", ZLOG_METHOD, reply, replyLength);
    if (rc < 0)
        return rc;
    const char* text = reinterpret_cast<const char*>(reply);
    ZLOG(LOG_DATA, "Searching[HTTP/1.0 200]in [%s]", text);
    bool accepted = std::strstr(text, "HTTP/1.0 200") != nullptr;
    if (accepted)
        ZLOG(LOG_DEBUG, "Tunnel connectoin successful");
    ZLOG(LOG_DATA, "Searching[HTTP/1.1 200]in [%s]", text);
    if (!accepted && std::strstr(text, "HTTP/1.1 200") != nullptr) {
        accepted = true;
        ZLOG(LOG_DEBUG, "Tunnel connectoin successful");
    }
    if (!accepted) {
        ZLOG(LOG_ERROR, "Proxy Reply[%s]", text);
        return -1;
    }
    ZLOG(LOG_DEBUG, "Perform Handshake with server");
    return HandShakeWithTunnelServer();
}

int CTunnelProtocol::Exchange(CTCPConnection& connection, const std::uint8_t* data, int length, int minReply,
                              const char* noResponseText, const char* m, std::uint8_t* reply, int& replyLength)
{
    ZLOG_SCOPE();
    ZLOG_AS(LOG_DATA, m, "Sending[%.*s]", length, reinterpret_cast<const char*>(data));
    int sent = connection.Send(data, length);
    if (sent <= 0) {
        SetConnection(nullptr);
        ZLOG_AS(LOG_ERROR, m, "Unable to send buffer");
        return sent < 0 ? sent : -1;
    }
    SleepMs(500);
    int polls = 0;
    while (connection.GetBytesAvailable() < minReply) {
        if (++polls >= 9) {
            ZLOG_AS(LOG_ERROR, m, "%s", noResponseText);
            return -1;
        }
        SleepMs(500);
    }
    replyLength = kHandshakeReplySize;
    int r = connection.Receive(reply, replyLength);
    if (r != CTCPConnection::RECEIVE_OK) {
        SetConnection(nullptr);
        ZLOG_AS(LOG_ERROR, m, "Receive failed, socket closed or error[%d]", r);
        return -1;
    }
    reply[replyLength] = '\0';
    return 0;
}

int CTunnelProtocol::HandShakeWithTunnelServer()
{
    ZLOG_SCOPE();
    std::shared_ptr<CTCPConnection> connection = Connection();
    if (!connection) {
        ZLOG(LOG_ERROR, "Invalid object state, null value found");
        return -1;
    }
    std::string hello = "CLIENT_HELLO\r\n" + m_tunnelUserAgent + "\r\n\r\n";
    std::uint8_t reply[kHandshakeReplySize + 1];
    int replyLength = 0;
    int rc = Exchange(*connection, reinterpret_cast<const std::uint8_t*>(hello.data()), static_cast<int>(hello.size()),
                      12, "No response from Tunnel Server", ZLOG_METHOD, reply, replyLength);
    if (rc < 0)
        return rc;
    const char* text = reinterpret_cast<const char*>(reply);
    ZLOG(LOG_DATA, "Searching[SERVER_HELLO]in [%s]", text);
    if (std::strstr(text, "SERVER_HELLO") == nullptr) {
        ZLOG(LOG_ERROR, "No SERVER_HELLO in the reply");
        return -1;
    }
    ZLOG(LOG_DEBUG, "Tunnel connectoin successful");
    std::string timestamp = replyLength > 12 ? std::string(text + 12, static_cast<std::size_t>(replyLength - 12)) : "";
    if (timestamp.size() > 255)
        timestamp.resize(255);
    {
        std::lock_guard<std::mutex> guard(m_timestampLock);
        m_timestamp = timestamp;
    }
    ZLOG(LOG_DEBUG, "TimeStamp[%s]", timestamp.c_str());
    return 1;
}

int CTunnelProtocol::SendCommand(const TUNNEL_CLIENT_DATA& data, const char* method)
{
    ZLOG_SCOPE();
    std::shared_ptr<CTCPConnection> connection = Connection();
    if (!connection || !m_connected.load()) {
        ZLOG_AS(LOG_ERROR, method, "Not connected to the tunnel server");
        return -1;
    }
    std::lock_guard<std::mutex> guard(m_signallingLock);
    m_sendBuffer[0] = CTunnelFrameCodec::kTypeSignalling;
    int length = CTunnelDataParser::MakeTLVFrame(m_sendBuffer + 1, kSignallingBufferSize - 1, &data);
    if (length < 0) {
        ZLOG_AS(LOG_ERROR, method, "Unable to make TLV frame");
        return length;
    }
    int rc = connection->SendFrameWithCRC(m_sendBuffer, length + 1, kSignallingBufferSize);
    if (rc < 0)
        ZLOG_AS(LOG_ERROR, method, "Unable to send frame, result %d", rc);
    return rc;
}

void CTunnelProtocol::SetCallIds(TUNNEL_CLIENT_DATA& data, const SESSION_EVENT_INFO* record)
{
    data.cid = record->cid;
    data.did = record->did;
    data.tid = record->tid;
}

int CTunnelProtocol::Register(const char* displayName, const char* userId, const char* password, int expiry,
                              const char* proxyHost, const char* proxyPort, int /*reserved*/)
{
    ZLOG_SCOPE();
    if (userId == nullptr || password == nullptr) {
        ZLOG(LOG_ERROR, "Null user ID or password");
        return -2;
    }
    // Longer credentials give hex texts that no element can carry.
    if (std::strlen(userId) > kMaxCredentialLength || std::strlen(password) > kMaxCredentialLength) {
        ZLOG(LOG_ERROR, "User ID or password longer than %d characters", kMaxCredentialLength);
        return -5;
    }
    {
        std::lock_guard<std::mutex> guard(m_connectProcedure);
        if (!m_connected.load()) {
            int rc = MakeTcpConnection();
            if (rc < 0)
                return rc;
        }
    }
    StoreCredentials(displayName, userId, password);

    TUNNEL_CLIENT_DATA data;
    std::memset(&data, 0, sizeof data);
    data.command = 1;
    std::string hexUser, hexPassword;
    if (EncipherToHex(userId, hexUser) < 0 || EncipherToHex(password, hexPassword) < 0) {
        ZLOG(LOG_ERROR, "Unable to encipher user ID or password");
        return -6;
    }
    CopyText(data.userName, hexUser);
    CopyText(data.password, hexPassword);
    if (proxyHost != nullptr && proxyPort != nullptr) {
        CopyText(data.fromHost, proxyHost);
        CopyText(data.fromHostPort, proxyPort);
    } else {
        CopyText(data.fromHost, m_proxyHost);
        CopyText(data.fromHostPort, m_proxyPort);
    }
    CopyText(data.timestamp, GetTimeStamp());
    data.registrationTimeout = expiry;

    std::shared_ptr<CTCPConnection> connection = Connection();
    if (connection && connection->ResolveLocalAddress() < 0)
        ZLOG(LOG_WARNING, "Unable to resolve the local address");
    return SendCommand(data, ZLOG_METHOD);
}

int CTunnelProtocol::UnRegister(const char* displayName, const char* userId, const char* password, int expiry,
                                const char* proxyHost, const char* proxyPort)
{
    ZLOG_SCOPE();
    return Register(displayName, userId, password, expiry, proxyHost, proxyPort, 0);
}

int CTunnelProtocol::Invite(const char* ownUser, const char* calledUser, const char* proxyHost, const char* proxyPort,
                            const char* /*localMediaIp*/, const char* /*localMediaPort*/)
{
    ZLOG_SCOPE();
    TUNNEL_CLIENT_DATA data;
    std::memset(&data, 0, sizeof data);
    data.command = 2;
    CopyText(data.userName, ownUser);
    CopyText(data.toUserName, calledUser);
    CopyText(data.toHost, proxyHost != nullptr ? std::string(proxyHost) : m_proxyHost);
    CopyText(data.toHostPort, proxyPort != nullptr ? std::string(proxyPort) : m_proxyPort);
    CopyText(data.codecList, kCodecList);
    return SendCommand(data, ZLOG_METHOD);
}

// The commands that name one call: its IDs, and the codec list where the command carries one.
int CTunnelProtocol::SendCallCommand(int command, const SESSION_EVENT_INFO* record, const char* codecList,
                                     const char* method)
{
    if (record == nullptr) {
        ZLOG_AS(LOG_ERROR, method, "Null record");
        return -1;
    }
    TUNNEL_CLIENT_DATA data;
    std::memset(&data, 0, sizeof data);
    data.command = command;
    SetCallIds(data, record);
    if (codecList != nullptr)
        CopyText(data.codecList, codecList);
    return SendCommand(data, method);
}

int CTunnelProtocol::SendRinging(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    return SendCallCommand(3, record, nullptr, ZLOG_METHOD);
}

int CTunnelProtocol::SendRingWithSDP(SESSION_EVENT_INFO* /*record*/, const char* /*ip*/, const char* /*port*/)
{
    ZLOG_SCOPE();
    return 0;
}

int CTunnelProtocol::AcceptIncomingCall(SESSION_EVENT_INFO* record, const char* /*ip*/, const char* /*port*/)
{
    ZLOG_SCOPE();
    return SendCallCommand(4, record, kCodecList, ZLOG_METHOD);
}

int CTunnelProtocol::RejectIncomingCall(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    return SendCallCommand(5, record, nullptr, ZLOG_METHOD);
}

int CTunnelProtocol::HangUp(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    return SendCallCommand(6, record, nullptr, ZLOG_METHOD);
}

int CTunnelProtocol::SendPing()
{
    ZLOG_SCOPE();
    std::shared_ptr<CTCPConnection> connection = Connection();
    if (!connection || !m_connected.load()) {
        ZLOG(LOG_ERROR, "Not connected to the tunnel server");
        return -1;
    }
    static const std::uint8_t ping[3] = {'p', 'n', 'g'};
    return connection->Send(ping, 3);
}

void CTunnelProtocol::TunnelThreadProc(std::shared_ptr<TunnelWorker> worker)
{
    ZLOG_SCOPE();
    ZLOG(LOG_DEBUG, "Thread Started");
    TunnelThreadStateMachine(*worker);
    worker->stopped.Set();
}

void CTunnelProtocol::TunnelThreadStateMachine(TunnelWorker& worker)
{
    ZLOG_SCOPE();
    CTCPConnection& connection = *worker.connection;
    while (worker.current.load() && m_tunnelState.load() == TUNNEL_STATE_RUNNING) {
        int rc = connection.ReceiveFrame();
        if (rc == CTCPConnection::FRAME_CLOSED) {
            if (EndConnection(worker) && !m_quitting.load() && m_callback != nullptr)
                m_callback(MXSS_STATUS_LOGOUT, m_context, &worker.record);
            ZLOG(LOG_DEBUG, "Socket closed");
            return;
        }
        if (rc != CTCPConnection::FRAME_READY)
            continue;
        int length = 0;
        const std::uint8_t* frame = connection.GetFrame(length);
        if (frame == nullptr || length <= 0) {
            ZLOG(LOG_ERROR, "Null pointer received as data frame");
            continue;
        }
        if (frame[0] == CTunnelFrameCodec::kTypeMedia) {
            if (m_relay.IsActive())
                m_relay.SendMedia(frame + 1, length - 1);
        } else if (frame[0] == CTunnelFrameCodec::kTypeSignalling) {
            if (!DeliverFrame(worker, frame + 1, length - 1))
                return;
            continue; // the frame was taken apart before the callback
        } else {
            ZLOG(LOG_ERROR, "Invalid frame type received %d", frame[0]);
        }
        connection.ResetFrame();
    }
}

bool CTunnelProtocol::DeliverFrame(TunnelWorker& worker, const std::uint8_t* frame, int length)
{
    ZLOG_SCOPE();
    char timestamp[SESSION_TEXT_SIZE];
    CTunnelDataParser::ParseTLVFrame(frame, length, &worker.record, timestamp);
    worker.connection->ResetFrame();
    int command = worker.record.command;
    if (command == MXSS_STATUS_TIMESTAMP) {
        std::lock_guard<std::mutex> guard(m_timestampLock);
        m_timestamp = timestamp;
    } else if (command == MXSS_STATUS_REGISTRATION_SUCCESSFUL) {
        if (m_registered.load() && m_quitting.load()) {
            ZLOG(LOG_DEBUG, "Unregistration answered");
            return false;
        }
        if (worker.current.load())
            m_registered = true;
    }
    CopyText(worker.record.rtpIp, worker.connection->LocalAddressCopy());
    // A replaced thread drains what was already buffered without reporting it.
    if (m_callback != nullptr && worker.current.load())
        m_callback(command, m_context, &worker.record);
    return true;
}

int CTunnelProtocol::StartListen(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (!Connection() || record == nullptr) {
        ZLOG(LOG_ERROR, "Invalid object state, null value found");
        return -1;
    }
    m_relay.Stop();
    return m_relay.Start(record->rtpIp, std::atoi(record->rtpPort));
}

int CTunnelProtocol::StopListen()
{
    ZLOG_SCOPE();
    return m_relay.Stop();
}
