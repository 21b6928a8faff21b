#include "platform/SingleInstance.h"

#include "platform/PlatformLog.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace zelora {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The lock on "<socket>.lock". Taking it waits only while another start is between its
// connect and its listen (milliseconds), so a short retry within the limit is enough; the
// kernel drops the lock of a start that was killed inside that section.
class StartLock {
public:
    explicit StartLock(const std::string& socketPath)
    {
        const std::string name = socketPath + ".lock";
        m_fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            PLATFORM_LOG(1, "Unable to open lock file %s: %s", name.c_str(), std::strerror(errno));
            return;
        }
        const auto deadline = Clock::now() + SingleInstance::kWaitLimit;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= deadline) {
                PLATFORM_LOG(1, "Unable to lock %s: %s", name.c_str(), std::strerror(errno));
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~StartLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

bool fillAddress(const std::string& path, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

unsigned long inodeOf(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<unsigned long>(st.st_ino) : 0;
}

} // namespace

std::string SingleInstance::DefaultPath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return std::string(runtime) + "/" + name + ".sock";
    // No runtime folder: one of our own, readable by nobody else.
    std::error_code ec;
    std::filesystem::path folder =
        std::filesystem::temp_directory_path(ec) / (name + "-runtime-" + std::to_string(::getuid()));
    ::mkdir(folder.c_str(), 0700);
    return (folder / (name + ".sock")).string();
}

SingleInstance::Block SingleInstance::MakeBlock(const std::string& number)
{
    Block block{};
    std::memcpy(block.data(), number.data(), std::min(number.size(), kBlockSize - 1));
    return block;
}

std::string SingleInstance::BlockText(const Block& block)
{
    const void* end = std::memchr(block.data(), '\0', kBlockSize);
    return std::string(block.data(), end != nullptr ? static_cast<const char*>(end) - block.data() : kBlockSize);
}

SingleInstance::SingleInstance(std::string socketPath) : m_path(std::move(socketPath)) { }

SingleInstance::~SingleInstance()
{
    if (m_listenFd < 0)
        return;
    ::close(m_listenFd);
    // A start that came after our close may already listen on a new file of the same name.
    StartLock lock(m_path);
    if (lock.Held() && inodeOf(m_path) == m_inode)
        ::unlink(m_path.c_str());
}

int SingleInstance::Claim(const Block& block)
{
    sockaddr_un address;
    if (!fillAddress(m_path, address)) {
        PLATFORM_LOG(1, "Socket path too long: %s", m_path.c_str());
        return kPathTooLong;
    }
    StartLock lock(m_path);
    if (!lock.Held())
        return kNoLock;
    bool refused = false;
    int fd = Connect(refused);
    if (fd >= 0) {
        int rc = Send(fd, block);
        ::close(fd);
        return rc;
    }
    if (refused) {
        // The file of a program that ended without removing it (killed): nobody listens.
        PLATFORM_LOG(2, "Taking over stale socket %s", m_path.c_str());
        ::unlink(m_path.c_str());
    }
    return Listen();
}

int SingleInstance::Connect(bool& refused)
{
    sockaddr_un address;
    fillAddress(m_path, address);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (errno == EAGAIN || errno == EINPROGRESS) {
        // The listener's backlog is full (a program that hangs): wait within the limit.
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (::poll(&p, 1, static_cast<int>(kWaitLimit.count())) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
            return fd;
        errno = err != 0 ? err : ETIMEDOUT;
    }
    refused = errno == ECONNREFUSED;
    ::close(fd);
    return -1;
}

int SingleInstance::Send(int fd, const Block& block)
{
    const auto deadline = Clock::now() + kWaitLimit;
    std::size_t sent = 0;
    while (sent < kBlockSize) {
        ssize_t n = ::send(fd, block.data() + sent, kBlockSize - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        pollfd p{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&p, 1, remainingMs(deadline)) == 1)
            continue;
        PLATFORM_LOG(1, "Unable to hand the number to the running program: %s", std::strerror(errno));
        return kSendFailed;
    }
    return kHandedOver;
}

int SingleInstance::Listen()
{
    sockaddr_un address;
    fillAddress(m_path, address);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        PLATFORM_LOG(1, "Unable to listen on %s: %s", m_path.c_str(), std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return kSocketFailed;
    }
    ::chmod(m_path.c_str(), 0600);
    m_listenFd = fd;
    m_inode = inodeOf(m_path);
    return kListening;
}

std::unique_ptr<SingleInstance::Connection> SingleInstance::Accept()
{
    if (m_listenFd < 0)
        return nullptr;
    int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return nullptr;
    return std::make_unique<Connection>(fd);
}

int SingleInstance::ReceiveOne(Block& out, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    std::unique_ptr<Connection> connection;
    while (connection == nullptr) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (m_listenFd < 0 || ::poll(&p, 1, remainingMs(deadline)) != 1)
            return Connection::kFailed;
        connection = Accept();
    }
    for (;;) {
        int rc = connection->Feed();
        if (rc == Connection::kComplete)
            out = connection->Data();
        if (rc != Connection::kPending)
            return rc;
        pollfd p{connection->Fd(), POLLIN, 0};
        if (::poll(&p, 1, remainingMs(deadline)) != 1)
            return Connection::kFailed;
    }
}

SingleInstance::Connection::Connection(int fd) : m_fd(fd) { }

SingleInstance::Connection::~Connection() { ::close(m_fd); }

int SingleInstance::Connection::Feed()
{
    while (m_have < kBlockSize) {
        ssize_t n = ::recv(m_fd, m_block.data() + m_have, kBlockSize - m_have, 0);
        if (n > 0) {
            m_have += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return kPending;
        } else {
            PLATFORM_LOG(2, "Hand-over closed after %zu of %zu bytes", m_have, kBlockSize);
            return kFailed;
        }
    }
    return kComplete;
}

} // namespace zelora
