#pragma once
// Peers for the web tests: the operator simulator as a child process, and small raw TCP
// servers that misbehave on purpose.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

// Starts operator-sim on address:80 with the data file; Start() fails loudly when the binary
// is missing or does not come up.
class SimProcess {
public:
    SimProcess(std::string binary, std::string address, std::string dataFile);
    ~SimProcess();
    // Empty on success, else the reason.
    std::string Start();
    void Stop();
    // How many requests of `action` ("_getbal", ..., "ads" for advertisements) the simulator
    // has answered; -1 when it cannot be asked.
    int Requests(const std::string& action) const;
    // One POST of an URL-encoded form to the simulator's control path: the reply's body, or ""
    // when it failed.
    std::string Control(const std::string& form) const;

private:
    // The body of a 200 reply to one request, or "" (and false) when there was none.
    bool Exchange(const std::string& request, std::string& body) const;

    std::string m_binary;
    std::string m_address;
    std::string m_dataFile;
    pid_t m_pid = -1;
};

// Listens on address:80; each accepted connection has its request read, then `behaviour`
// gets the socket. With `blackHole` the server never accepts and fills its backlog, so a
// connection attempt gets no answer at all.
class RawServer {
public:
    using Behaviour = std::function<void(int fd)>;
    RawServer(std::string address, Behaviour behaviour, bool blackHole = false);
    ~RawServer();
    std::string Start();
    int Connections() const { return m_connections.load(); }

    static void SendAll(int fd, const std::string& text);

private:
    void Run();

    std::string m_address;
    Behaviour m_behaviour;
    bool m_blackHole;
    int m_listen = -1;
    std::vector<int> m_fillers;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};
