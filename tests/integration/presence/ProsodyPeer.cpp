#include "ProsodyPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

bool PortAnswers(const char* address, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &a.sin_addr);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

std::string ProsodyPeer::Start(const std::vector<std::pair<std::string, std::string>>& accounts)
{
    const std::string err = Register(accounts);
    return err.empty() ? Launch() : err;
}

std::string ProsodyPeer::Register(const std::vector<std::pair<std::string, std::string>>& accounts)
{
    using namespace zelora::test;
    m_prosody = FindProgram("prosody");
    const std::string ctl = FindProgram("prosodyctl");
    if (m_prosody.empty() || ctl.empty())
        return MissingProgram("prosody", "prosody");
    setenv("ZELORA_XMPP_DIR", m_dir.Path().c_str(), 1);
    setenv("ZELORA_XMPP_ADDRESS", m_address.c_str(), 1);
    // The domain's disco module lives in the source tree's tools/prosody.
    const std::filesystem::path plugins =
        std::filesystem::path(ZELORA_PROSODY_CONFIG).parent_path() / ".." / ".." / ".." / "tools" / "prosody";
    setenv("ZELORA_XMPP_PLUGINS", plugins.lexically_normal().c_str(), 1);
    setenv("ZELORA_XMPP_COMPONENT_SECRET", kSecret, 1);
    for (const auto& [user, password] : accounts) {
        const std::string cmd = ctl + " --config '" + ZELORA_PROSODY_CONFIG + "' register '" + user + "' localhost '" +
            password + "' >>'" + m_dir.Path() + "/prosodyctl.log' 2>&1";
        if (std::system(cmd.c_str()) != 0)
            return "prosodyctl could not create " + user;
    }
    return "";
}

std::string ProsodyPeer::Launch()
{
    using namespace zelora::test;
    if (PortAnswers(m_address.c_str(), kPort))
        return "something already listens on " + m_address + ":5222";
    std::string err =
        m_process.Start({m_prosody, "--config", ZELORA_PROSODY_CONFIG, "-F"}, m_dir.Path() + "/prosody.log");
    if (!err.empty())
        return err;
    if (!WaitUntil([this] { return PortAnswers(m_address.c_str(), kPort); }, std::chrono::seconds(10)))
        return "prosody did not answer on " + m_address + ": " + ReadFile(m_dir.Path() + "/prosody.log");
    return "";
}

std::string ProsodyPeer::Restart()
{
    m_process.Stop();
    return Launch();
}

std::string ProsodyPeer::ServicesLog() const { return zelora::test::ReadFile(m_dir.Path() + "/services.log"); }

std::string ProsodyPeer::StartServices(const std::string& program, const std::string& usersFile)
{
    using namespace zelora::test;
    if (program.empty() || access(program.c_str(), X_OK) != 0)
        return "presence-services is not built (target presence-services)";
    std::string err = m_services.Start({program, "--server", m_address, "--port", std::to_string(kComponentPort),
                                        "--domain", "localhost", "--secret", kSecret, "--users", usersFile},
                                       m_dir.Path() + "/services.log");
    if (!err.empty())
        return err;
    auto connected = [this] {
        const std::string log = ServicesLog();
        int n = 0;
        for (std::size_t at = 0; (at = log.find(" connected\n", at)) != std::string::npos; ++at)
            ++n;
        return n >= 4;
    };
    if (!WaitUntil(connected, std::chrono::seconds(10)))
        return "presence-services did not connect: " + ServicesLog();
    return "";
}
