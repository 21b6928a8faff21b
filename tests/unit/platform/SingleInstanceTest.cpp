#include "platform/SingleInstance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "TempDir.h"

using zelora::SingleInstance;
using namespace std::chrono_literals;

namespace {

// Reads one line a child wrote to `fd` (bounded by the pipe's close).
std::string readAll(int fd)
{
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// A start in a child process: waits for `go` to close, claims, and reports on `report`:
// "L<number received>\n" when it listened, "H\n" when it handed over, "E<code>\n" else.
pid_t startChild(const std::string& path, const std::string& number, const int (&go)[2], const int (&report)[2])
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    close(go[1]);
    close(report[0]);
    char c;
    while (read(go[0], &c, 1) > 0) {
    }
    SingleInstance instance(path);
    int rc = instance.Claim(SingleInstance::MakeBlock(number));
    std::string line = "E" + std::to_string(rc) + "\n";
    if (rc == SingleInstance::kHandedOver) {
        line = "H\n";
    } else if (rc == SingleInstance::kListening) {
        SingleInstance::Block block{};
        line = instance.ReceiveOne(block, 3s) == SingleInstance::Connection::kComplete
            ? "L" + SingleInstance::BlockText(block) + "\n"
            : "Lnothing\n";
    }
    ssize_t n = write(report[1], line.data(), line.size());
    _exit(n == static_cast<ssize_t>(line.size()) ? 0 : 1);
}

} // namespace

// A program killed with SIGKILL leaves its socket file: the next start takes it over and
// receives a later start's whole block, zero filling included.
TEST(SingleInstance, StaleSocketTakenOverAndBlockRoundTrip)
{
    TempDir dir;
    const std::string path = dir.File("zeloraTALK.sock");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t first = fork();
    if (first == 0) {
        SingleInstance instance(path);
        char c = instance.Claim(SingleInstance::MakeBlock("")) == SingleInstance::kListening ? 'L' : 'E';
        ssize_t n = write(ready[1], &c, 1);
        pause();
        _exit(n == 1 ? 0 : 1);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    ASSERT_EQ(c, 'L');
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    ASSERT_TRUE(std::filesystem::exists(path)) << "a killed program leaves its socket file";

    SingleInstance running(path);
    ASSERT_EQ(running.Claim(SingleInstance::MakeBlock("")), SingleInstance::kListening);
    ASSERT_GE(running.ListenFd(), 0);
    EXPECT_EQ(running.Accept(), nullptr) << "nobody has connected yet";

    // Longer than a block holds: 255 characters arrive, and the terminator.
    const std::string number = std::string(300, '7');
    SingleInstance later(path);
    EXPECT_EQ(later.Claim(SingleInstance::MakeBlock(number)), SingleInstance::kHandedOver);
    EXPECT_EQ(later.ListenFd(), -1);
    SingleInstance::Block block;
    block.fill('x');
    ASSERT_EQ(running.ReceiveOne(block, 2s), SingleInstance::Connection::kComplete);
    EXPECT_EQ(SingleInstance::BlockText(block), number.substr(0, 255));
    EXPECT_EQ(block[255], '\0');

    // A start that connects and sends half a block is dropped, and the next one still arrives.
    {
        // Speak to the listener by hand: connect, send 100 bytes, close.
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(write(fd, number.data(), 100), 100);
        close(fd);
        EXPECT_EQ(running.ReceiveOne(block, 2s), SingleInstance::Connection::kFailed);
    }
    EXPECT_EQ(SingleInstance(path).Claim(SingleInstance::MakeBlock("callto")), SingleInstance::kHandedOver);
    ASSERT_EQ(running.ReceiveOne(block, 2s), SingleInstance::Connection::kComplete);
    EXPECT_EQ(SingleInstance::BlockText(block), "callto");
}

// Two starts released at the same instant, twenty times: always exactly one listens, and
// it receives the other's number.
TEST(SingleInstance, SimultaneousStartsLeaveOneListener)
{
    TempDir dir;
    for (int pair = 0; pair < 20; ++pair) {
        const std::string path = dir.File("pair" + std::to_string(pair) + ".sock");
        int go[2], report[2];
        ASSERT_EQ(pipe(go), 0);
        ASSERT_EQ(pipe(report), 0);
        pid_t a = startChild(path, "100" + std::to_string(pair), go, report);
        pid_t b = startChild(path, "200" + std::to_string(pair), go, report);
        close(go[0]);
        close(report[1]);
        close(go[1]); // both read end-of-file at once
        const std::string lines = readAll(report[0]);
        close(report[0]);
        int status = 0;
        waitpid(a, &status, 0);
        EXPECT_EQ(status, 0);
        waitpid(b, &status, 0);
        EXPECT_EQ(status, 0);
        const bool aListened =
            lines == "H\nL200" + std::to_string(pair) + "\n" || lines == "L200" + std::to_string(pair) + "\nH\n";
        const bool bListened =
            lines == "H\nL100" + std::to_string(pair) + "\n" || lines == "L100" + std::to_string(pair) + "\nH\n";
        EXPECT_TRUE(aListened || bListened) << "pair " << pair << ":\n" << lines;
    }
}
