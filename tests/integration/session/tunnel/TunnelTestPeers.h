#pragma once
// Peers of the tunnel tests: started by the test, waited for, stopped by PID.
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/SessionTypes.h"

// A scratch folder removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string m_path;
};

// A child process; SIGTERM and reaped on Stop or destruction.
class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess() { Stop(); }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    // Empty on success, else why it could not start.
    std::string Start(const std::vector<std::string>& argv, const std::string& logFile);
    // Exit status (or 128 + signal), -1 when nothing ran.
    int Stop();
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

// true once a TCP connect to address:port succeeds within the time.
bool WaitForTcp(const std::string& address, int port, int timeoutMs);
// Full path of a program on PATH, empty when missing.
std::string FindProgram(const std::string& name);

// The session callback's events, copied, for a test thread to wait on.
class EventLog {
public:
    static int Callback(int status, void* context, SESSION_EVENT_INFO* record);
    // true and the record when `status` arrives within the time (earlier events stay queued).
    bool WaitFor(int status, int timeoutMs, SESSION_EVENT_INFO* record = nullptr);
    int Count(int status);

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<std::pair<int, SESSION_EVENT_INFO>> m_events;
    std::vector<int> m_all;
};

// A UDP socket bound to address:port for sending and receiving test datagrams.
class UdpPeer {
public:
    UdpPeer(const std::string& address, int port);
    ~UdpPeer();
    bool Ok() const { return m_fd >= 0; }
    int SendTo(const std::string& address, int port, const std::vector<unsigned char>& data);
    // Received bytes, empty on time-out.
    std::vector<unsigned char> Receive(int timeoutMs);

private:
    int m_fd = -1;
};

// Accepts one TCP connection at a time on address:port and answers each with a fixed text.
class FixedReplyServer {
public:
    FixedReplyServer(const std::string& address, int port, std::string reply);
    ~FixedReplyServer();
    bool Ok() const { return m_fd >= 0; }
    std::string FirstRequest();

private:
    void Run();
    int m_fd = -1;
    std::string m_reply;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::string m_request;
    std::thread m_thread;
};

// A minimal tunnel endpoint: answers the handshake and keeps every byte that follows.
class CaptureTunnelServer {
public:
    CaptureTunnelServer(const std::string& address, std::string timestamp);
    ~CaptureTunnelServer();
    bool Ok() const { return m_fd >= 0; }
    // Bytes received after the handshake.
    std::vector<unsigned char> Stream();
    bool WaitForBytes(std::size_t count, int timeoutMs);

private:
    void Run();
    int m_fd = -1;
    std::string m_timestamp;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::vector<unsigned char> m_stream;
    std::thread m_thread;
};
