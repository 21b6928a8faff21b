// zelora-diag's tunnel commands, run as the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct DiagRun {
    int status;
    std::string out;
};

DiagRun Diag(const std::string& args)
{
    std::string cmd = std::string(ZELORA_DIAG_PATH) + " " + args + " 2>/dev/null";
    DiagRun r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(TunnelDiag, FramesCrcAndPackets)
{
    ASSERT_STRNE(ZELORA_DIAG_PATH, "") << "zelora-diag was not built";
    DiagRun make = Diag("tlv make command=6 cid=5 did=7 tid=9");
    EXPECT_EQ(make.status, 0);
    EXPECT_EQ(make.out, "040D0136010135020137030139\n");
    EXPECT_EQ(Diag("tlv make command=2 cid=0 toUserName=bob").out, "020D01320903626F62\n");
    EXPECT_EQ(Diag("tlv make bogus=1").status, 1);
    EXPECT_EQ(Diag("tlv make cid=12x").status, 1);

    EXPECT_EQ(Diag("crc 313233343536373839").out, "29B1\n");
    EXPECT_EQ(Diag("crc 3").status, 1); // not hex pairs
    EXPECT_EQ(Diag("frame encode 017E7F5D").out, "7E015D5E5D5F5D7D7F\n");
    EXPECT_EQ(Diag("frame decode 41417E017E025D5E7F7E037F").out, "027E\n03\n");
    EXPECT_EQ(Diag("frame decode 4141").status, 1);

    // The packet decodes back to type byte, TLV frame and the CRC of both.
    DiagRun packet = Diag("packet signalling 040D0136010135020137030139");
    ASSERT_EQ(packet.status, 0);
    DiagRun content = Diag("frame decode " + packet.out.substr(0, packet.out.size() - 1));
    ASSERT_EQ(content.out.size(), 2u * 16 + 1);
    EXPECT_EQ(content.out.substr(0, 28), "01040D0136010135020137030139");
    EXPECT_EQ(Diag("crc 01040D0136010135020137030139").out, content.out.substr(28, 4) + "\n");

    DiagRun parsed = Diag("tlv parse 04340139"
                          "1F023132"
                          "2C05616C696365"
                          "3303313233");
    EXPECT_EQ(parsed.status, 0);
    EXPECT_EQ(parsed.out, "cid=12\ncommand=9\nfromUserName=alice\ntimestamp=123\n");
}

} // namespace
