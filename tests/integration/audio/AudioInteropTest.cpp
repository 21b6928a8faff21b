// Our media against independent software: ffmpeg's own iLBC decoder reads
// what our encoder sent, and the zelora-diag audio command runs as a child
// process against an engine in this process.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "AudioTestSignals.h"
#include "audio/CMXSound.h"
#include "audio/CRtpPacket.h"

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

// Finds a program on PATH; empty when missing.
std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// Runs argv, stdout and stderr into one file; returns the exit status or -1.
int RunProgram(const std::vector<std::string>& argv, const std::string& output)
{
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        FILE* f = std::fopen(output.c_str(), "w");
        if (f) {
            dup2(fileno(f), 1);
            dup2(fileno(f), 2);
        }
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A bare UDP socket that keeps the RTP payloads it receives, in sequence order.
class PayloadSink {
public:
    PayloadSink(const std::string& ip, int port)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
        m_ok = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~PayloadSink()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Ok() const { return m_ok; }

    // Collects for the given time; returns payloads with their header.
    std::vector<std::pair<RtpHeader, std::vector<uint8_t>>> Collect(std::chrono::milliseconds duration)
    {
        std::vector<std::pair<RtpHeader, std::vector<uint8_t>>> out;
        const auto end = std::chrono::steady_clock::now() + duration;
        uint8_t buf[2048];
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = recv(m_fd, buf, sizeof buf, 0);
            RtpHeader h;
            const uint8_t* payload = nullptr;
            size_t len = 0;
            if (n > 0 && CRtpPacket::Parse(buf, size_t(n), h, payload, len) == CRtpPacket::RTP_OK)
                out.emplace_back(h, std::vector<uint8_t>(payload, payload + len));
        }
        return out;
    }

private:
    int m_fd = -1;
    bool m_ok = false;
};

} // namespace

#ifdef ZELORA_TEST_ILBC
TEST(AudioInterop, OurIlbcStreamDecodesWithFfmpeg)
{
    const std::string ffmpeg = FindProgram("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty()) << "ffmpeg not found: install the Debian package ffmpeg";
    TempDir dir;
    const std::string in = dir.File("in.wav");
    ASSERT_TRUE(WriteWav(in, Tone(1000, 1.0, 8000, 0.3), 8000, 1));
    PayloadSink sink("127.0.3.41", 37644);
    ASSERT_TRUE(sink.Ok());
    CMXSound s;
    s.SetDeviceSetting("file:" + in + ":" + dir.File("out.wav"));
    s.SetLocalAddress("127.0.3.40");
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
    ASSERT_EQ(s.CMXSoundAPI_StartVoiceCall(102, "iLBC", 37644, "127.0.3.41", 37644), 0) << s.GetLastErrorText();
    auto packets = sink.Collect(2500ms);
    ASSERT_EQ(s.CMXSoundAPI_Terminate(), 0);
    ASSERT_GT(packets.size(), 60u);

    // What the wire must look like: payload 102, 50-byte frames, timestamps 240 apart, one SSRC.
    std::sort(packets.begin(), packets.end(),
              [](const auto& x, const auto& y) { return int16_t(x.first.sequence - y.first.sequence) < 0; });
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].first.payloadType, 102);
        EXPECT_EQ(packets[i].second.size(), 50u);
        EXPECT_EQ(packets[i].first.ssrc, packets[0].first.ssrc);
        if (i > 0) {
            EXPECT_EQ(uint16_t(packets[i].first.sequence - packets[i - 1].first.sequence), 1u);
            EXPECT_EQ(packets[i].first.timestamp - packets[i - 1].first.timestamp, 240u);
        }
    }
    // The storage format ffmpeg reads: "#!iLBC30\n" then the 50-byte frames.
    const std::string lbc = dir.File("stream.lbc"), decoded = dir.File("decoded.wav");
    {
        std::ofstream f(lbc, std::ios::binary);
        f << "#!iLBC30\n";
        for (const auto& p : packets)
            f.write(reinterpret_cast<const char*>(p.second.data()), long(p.second.size()));
    }
    ASSERT_EQ(RunProgram({ffmpeg, "-nostdin", "-loglevel", "error", "-y", "-i", lbc, decoded}, dir.File("ffmpeg.log")),
              0)
        << ReadText(dir.File("ffmpeg.log"));
    int rate = 0;
    const auto r = ReadWav(decoded, &rate);
    ASSERT_EQ(rate, 8000);
    ASSERT_GT(r.size(), 8000u);
    const auto body = Slice(r, 0.3, double(r.size()) / 8000.0 - 0.1);
    EXPECT_NEAR(PeakFrequency(body, 300, 3000, 5), 1000, 5);
    EXPECT_NEAR(20 * std::log10(Rms(body) / Rms(Tone(1000, 1.0, 8000, 0.3))), 0.0, 3.0);
}

#endif

#ifdef ZELORA_DIAG_PATH
TEST(AudioInterop, DiagCallTalksToAnEngineAndSendsKeys)
{
    TempDir dir;
    const std::string diagIn = dir.File("diag-in.wav"), diagOut = dir.File("diag-out.wav");
    const std::string ourIn = dir.File("our-in.wav"), ourOut = dir.File("our-out.wav");
    ASSERT_TRUE(WriteWav(diagIn, Tone(1000, 1.0, 8000, 0.3), 8000, 1));
    ASSERT_TRUE(WriteWav(ourIn, Tone(600, 1.0, 8000, 0.3), 8000, 1));
    CMXSound s;
    s.SetDeviceSetting("file:" + ourIn + ":" + ourOut);
    s.SetLocalAddress("127.0.3.45");
    ASSERT_EQ(s.CMXSoundAPI_StartSoundEngine(), 0);
    ASSERT_EQ(s.CMXSoundAPI_StartVoiceCall(8, "PCMA", 37644, "127.0.3.46", 37644), 0);
    const int rc = RunProgram({ZELORA_DIAG_PATH, "audio", "call", "--codec", "PCMA", "--payload", "8", "--local",
                               "127.0.3.46", "--remote", "127.0.3.45:37644", "--seconds", "4", "--in", diagIn, "--out",
                               diagOut, "--dtmf", "159#"},
                              dir.File("diag.log"));
    ASSERT_EQ(s.CMXSoundAPI_Terminate(), 0);
    ASSERT_EQ(rc, 0) << ReadText(dir.File("diag.log"));
    EXPECT_NE(ReadText(dir.File("diag.log")).find("4 keys sent"), std::string::npos);
    // The diag side's recording is complete after its exit and holds our tone.
    const auto theirs = ReadWav(diagOut);
    EXPECT_NEAR(double(theirs.size()) / 8000.0, 4.0, 0.3);
    EXPECT_NEAR(PeakFrequency(Slice(theirs, 0.5, 3.5), 300, 3000, 5), 600, 5);
    // Its keys reached us in order, between its 1 kHz tone.
    const auto ours = ReadWav(ourOut);
    EXPECT_EQ(DetectDtmf(ours), "159#");
}

TEST(AudioInterop, DiagCallReportsFailures)
{
    TempDir dir;
    const std::string in = dir.File("in.wav");
    ASSERT_TRUE(WriteWav(in, Tone(1000, 0.5), 8000, 1));
    const std::string log = dir.File("diag.log");
    EXPECT_EQ(
        RunProgram({ZELORA_DIAG_PATH, "audio", "call", "--codec", "G729", "--payload", "18", "--local", "127.0.3.47",
                    "--remote", "127.0.3.48:37644", "--seconds", "1", "--in", in, "--out", dir.File("out.wav")},
                   log),
        1);
    EXPECT_NE(ReadText(log).find("Unsupported codec G729"), std::string::npos) << ReadText(log);
    EXPECT_EQ(RunProgram({ZELORA_DIAG_PATH, "audio", "call", "--codec", "PCMU", "--payload", "0", "--local",
                          "127.0.3.47", "--remote", "127.0.3.48:37644", "--seconds", "1", "--in",
                          dir.File("missing.wav"), "--out", dir.File("out.wav")},
                         log),
              1);
    EXPECT_NE(ReadText(log).find("missing.wav"), std::string::npos) << ReadText(log);
    EXPECT_EQ(RunProgram({ZELORA_DIAG_PATH, "audio", "call", "--codec", "PCMU"}, log), 1);
    EXPECT_NE(ReadText(log).find("--payload"), std::string::npos) << ReadText(log);
}
#endif
