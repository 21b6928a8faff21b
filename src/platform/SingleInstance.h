#pragma once
// One running program per user: the first start listens on a Unix-domain socket, every later
// start connects, sends its 256-byte number block and ends. A lock file held around
// connect-or-listen makes two starts at the same instant agree on one listener; a socket
// file left by a killed program refuses connections and is taken over.
//
//   zelora::SingleInstance instance(zelora::SingleInstance::DefaultPath("zeloraTALK"));
//   if (instance.Claim(block) == zelora::SingleInstance::kHandedOver) return 0;
//   // watch instance.ListenFd() for reading; on readiness:
//   if (auto c = instance.Accept()) ... c->Feed() until kComplete, then c->Block()
#include <array>
#include <chrono>
#include <memory>
#include <string>

namespace zelora {

class SingleInstance {
public:
    static constexpr std::size_t kBlockSize = 256;
    using Block = std::array<char, kBlockSize>;

    static constexpr int kListening = 1; // this start is the first: it listens
    static constexpr int kHandedOver = 0; // another start listens and has the block
    static constexpr int kNoLock = -1; // lock file cannot be opened or taken in time
    static constexpr int kPathTooLong = -2; // the socket path does not fit a socket address
    static constexpr int kSocketFailed = -3; // socket, bind or listen failed
    static constexpr int kSendFailed = -4; // connected, but the block did not go out

    // How long a start waits for the lock, the connection and the send.
    static constexpr std::chrono::milliseconds kWaitLimit{3000};

    // $XDG_RUNTIME_DIR/<name>.sock, or a private folder in the temporary folder when unset.
    static std::string DefaultPath(const std::string& name);
    // A zero-filled block holding `number` (cut to 255 bytes).
    static Block MakeBlock(const std::string& number);
    // The text of a block: up to its first zero byte.
    static std::string BlockText(const Block& block);

    explicit SingleInstance(std::string socketPath);
    // Removes the socket file when it is still this program's.
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Connect-or-listen under the lock: kListening, kHandedOver (the block was sent) or a
    // negative code. After a failure the program runs on without a single-instance guard.
    int Claim(const Block& block);
    // The non-blocking listening socket after kListening, else -1.
    int ListenFd() const { return m_listenFd; }
    const std::string& Path() const { return m_path; }

    // One later start's connection, read without blocking as its bytes arrive.
    class Connection {
    public:
        static constexpr int kComplete = 1;
        static constexpr int kPending = 0;
        static constexpr int kFailed = -1; // closed early or a read error (the deadline is the owner's)

        explicit Connection(int fd);
        ~Connection();
        Connection(const Connection&) = delete;
        Connection& operator=(const Connection&) = delete;

        int Fd() const { return m_fd; }
        // Reads what is there; kComplete once all 256 bytes arrived.
        int Feed();
        const Block& Data() const { return m_block; }

    private:
        int m_fd;
        std::size_t m_have = 0;
        Block m_block{};
    };
    // Accepts one waiting connection (non-blocking); null when none waits.
    std::unique_ptr<Connection> Accept();
    // Accept and read one block, waiting at most `limit` (for tests and for programs without
    // an event loop). kComplete with `out` filled, or kFailed.
    int ReceiveOne(Block& out, std::chrono::milliseconds limit);

private:
    int Listen();
    int Connect(bool& refused);
    int Send(int fd, const Block& block);

    std::string m_path;
    int m_listenFd = -1;
    unsigned long m_inode = 0; // of the socket file this program bound
};

} // namespace zelora
