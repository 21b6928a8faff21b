#include "PhoneTestPeers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "AudioTestSignals.h"
#include "BaresipPeer.h"

namespace phone_it {

std::string DeploymentText(const std::string& sipServer, const std::string& tunnelServer)
{
    return "[sip]\ndefault_server = " + sipServer + "\nother_server_1 = " + sipServer +
        "\nother_server_2 = " + sipServer + "\n[tunnel]\nserver = " + tunnelServer +
        "\n[web]\nservice_host = 127.0.6.253\nportal_host = 127.0.6.253\nads_host = 127.0.6.253\n"
        "probe_site = 127.0.6.253\nhome_page = http://127.0.6.253/\nsignup_page = http://127.0.6.253/s\n"
        "password_reset_page = http://127.0.6.253/r\nshop_page = http://127.0.6.253/shop\n"
        "[presence]\ndomain = localhost\ngateway_yahoo = y.localhost\ngateway_msn = m.localhost\n"
        "gateway_gtalk = g.localhost\nbrand_word = localhost\nmail_domain = localhost\nmail_web_host = 127.0.6.253\n";
}

PhoneUnderTest::PhoneUnderTest(const std::string& name, const std::string& localAddress, const std::string& sipServer,
                               const std::string& tunnelServer, int toneHz)
    : m_localAddress(localAddress), m_dir(std::make_unique<zelora::test::TempDir>("zelora-phone-" + name))
{
    m_home = m_dir->Path();
    std::filesystem::create_directories(m_home + "/sounds");
    zelora::test::WriteFile(m_home + "/deployment.ini", DeploymentText(sipServer, tunnelServer));
    audiotest::WriteWav(RingToneFile(), audiotest::Tone(440, 1.0), 8000, 1);
    audiotest::WriteWav(m_home + "/sounds/ringout.wav", audiotest::Tone(425, 1.0), 8000, 1);
    if (toneHz > 0)
        audiotest::WriteWav(m_home + "/tone.wav", audiotest::Tone(toneHz, 4.0), 8000, 1);
    m_options.program = ZELORATALK_CLI_PATH;
    m_options.home = m_home;
    m_options.localAddress = localAddress;
    m_options.deployment = m_home + "/deployment.ini";
    m_options.capture = toneHz > 0 ? m_home + "/tone.wav" : "";
    m_options.playback = Recording();
    m_options.appPath = m_home + "/sounds/";
}

std::string PhoneUnderTest::Start(const std::vector<std::string>& arguments)
{
    CliPhone::Options options = m_options;
    options.arguments = arguments;
    return m_cli.Start(options);
}

std::string PhoneUnderTest::LogLines(const std::string& text) const
{
    std::string all = zelora::test::ReadFile(m_home + "/state/zeloraTALK/zeloratalk-cli.log"), out;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string::npos)
            end = all.size();
        if (all.compare(start, end - start, "") != 0 && all.substr(start, end - start).find(text) != std::string::npos)
            out += all.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return out;
}

std::string PhoneUnderTest::SignIn(const std::string& user, const std::string& password)
{
    m_cli.Send("login " + user + " " + password);
    if (m_cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 10s).empty())
        return "no registration success:\n" + m_cli.Transcript();
    return {};
}

bool TcpAnswers(const std::string& ip, int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

std::string TunnelServer::Start(const std::string& ip, const std::string& folder, const std::string& refuseFrom)
{
    if (std::string(TUNNEL_SERVER_PATH).empty())
        return "tools/tunnel-server is not built";
    zelora::test::WriteFile(folder + "/accounts", "1001 pw1001\n1002 pw1002\n");
    std::vector<std::string> argv = {TUNNEL_SERVER_PATH, "--listen",           ip,       "--port", "443",
                                     "--accounts",       folder + "/accounts", "--echo", "echo"};
    if (!refuseFrom.empty()) {
        argv.push_back("--refuse-from");
        argv.push_back(refuseFrom);
    }
    std::string error = m_process.Start(argv, folder + "/tunnel-server.log");
    if (!error.empty())
        return error;
    m_log = folder + "/tunnel-server.log";
    if (!zelora::test::WaitUntil([&] { return TcpAnswers(ip, 443); }, 5s))
        return "tunnel-server does not answer on " + ip + ":443\n" + zelora::test::ReadFile(m_log);
    return {};
}

bool ToneIn(const std::vector<int16_t>& samples, double want, double other)
{
    return !samples.empty() && audiotest::Goertzel(samples, want) > 100 * audiotest::Goertzel(samples, other);
}

std::string StartTinyproxy(zelora::test::PeerProcess& proxy, const std::string& ip, const std::string& folder,
                           const std::string& bind)
{
    std::string tinyproxy = zelora::test::FindProgram("tinyproxy");
    if (tinyproxy.empty())
        return zelora::test::MissingProgram("tinyproxy", "tinyproxy");
    std::string config = "Port 8888\nListen " + ip + "\nTimeout 60\nMaxClients 10\nLogFile \"" + folder +
        "/tinyproxy.log\"\nLogLevel Connect\nPidFile \"" + folder +
        "/tinyproxy.pid\"\nAllow 127.0.0.0/8\nConnectPort 443\n";
    if (!bind.empty())
        config += "Bind " + bind + "\n";
    zelora::test::WriteFile(folder + "/tinyproxy.conf", config);
    std::string error = proxy.Start({tinyproxy, "-d", "-c", folder + "/tinyproxy.conf"}, folder + "/tinyproxy.out");
    if (!error.empty())
        return error;
    if (!zelora::test::WaitUntil([&] { return TcpAnswers(ip, 8888); }, 5s))
        return "tinyproxy does not answer on " + ip + ":8888";
    return {};
}

void UseTunnel(PhoneUnderTest& phone, const std::string& settings)
{
    ASSERT_EQ(phone.Start(), "");
    phone.Cli().Send("proxy-settings " + settings);
    ASSERT_NE(phone.Cli().WaitFor("MESSAGE \"Your settings is saved and it will take effect after you restart your "
                                  "zelora\"",
                                  5s),
              "")
        << phone.Cli().Transcript();
    ASSERT_EQ(phone.Stop(), 0);
    ASSERT_EQ(phone.Start(), "");
}

void EchoCall(PhoneUnderTest& phone, bool signIn)
{
    CliPhone& cli = phone.Cli();
    if (signIn) {
        ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    }
    cli.Send("dial echo");
    ASSERT_NE(cli.WaitFor("EVENT 9 MXSS_STATUS_OUTGOING_CALL_ANSWERED", 10s), "") << cli.Transcript();
    std::this_thread::sleep_for(3s);
    cli.Send("hangup");
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1 call_state=0", 5s), "") << cli.Transcript();
    EXPECT_EQ(phone.Stop(), 0);
    EXPECT_TRUE(ToneIn(audiotest::ReadWav(phone.Recording()), 1000, 1500))
        << "our tone did not come back: " << phone.Recording();
}

} // namespace phone_it
