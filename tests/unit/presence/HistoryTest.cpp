#include "presence/CPresenceChatHistoryLogger.h"
#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const std::string kHead = "<?xml version=\"1.0\"?>\n"
                          "<?xml-stylesheet type='text/xsl' href='../MessageLog.xsl'?>\n"
                          "<Log>\n";

class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/zelora-history-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_base = std::string(tmpl) + "/";
        setenv("TZ", "UTC", 1);
    }
    void TearDown() override { fs::remove_all(m_base); }
    std::string Read(const std::string& path)
    {
        std::string s;
        zelora::ReadFileContents(path, s);
        return s;
    }
    std::string m_base;
};

TEST_F(History, FileByteForByteThroughReopenAndEscaping)
{
    {
        CPresenceChatHistoryLogger log(m_base);
        ASSERT_EQ(log.InitializeLogger("gw\\40yahoo@d", "1001"), 0);
        EXPECT_EQ(log.FilePath(), m_base + "1001/gw40yahoo@d.xml");
        EXPECT_EQ(Read(log.FilePath()), kHead + "</Log>");
        EXPECT_EQ(log.SaveMessage("al", "bob", "1 < 2 & \"q\"", 86400 + 3661), 0);
        EXPECT_EQ(log.SaveMessage(nullptr, "bob", "x", 0), -2);
    }
    const std::string msg1 = "\n<Message Date=\"02/01/70\" Time=\"01:01:01\" DateTime=\"02-01-70 01:01:01\">"
                             "<From><User FriendlyName=\"al\"/></From><To><User FriendlyName=\"bob\"/></To>"
                             "<Text>1 &lt; 2 &amp; &quot;q&quot;</Text></Message>\n";
    const std::string path = m_base + "1001/gw40yahoo@d.xml";
    // The element's leading newline overwrites the one after "<Log>".
    const std::string head = kHead.substr(0, kHead.size() - 1);
    EXPECT_EQ(Read(path), head + msg1 + "</Log>");

    // Reopened: the next message replaces the closing tag, which stays once at the end.
    CPresenceChatHistoryLogger again(m_base);
    ASSERT_EQ(again.InitializeLogger("gw\\40yahoo@d", "1001"), 0);
    ASSERT_EQ(again.SaveMessage("bob", "al", "ok", 86400 + 3662), 0);
    const std::string all = Read(path);
    EXPECT_EQ(all.substr(0, head.size() + msg1.size()), head + msg1);
    EXPECT_EQ(all.substr(head.size() + msg1.size(), 9), "<Message ");
    EXPECT_EQ(all.rfind("</Log>"), all.size() - 6);
    EXPECT_EQ(all.find("</Log>"), all.size() - 6);
    EXPECT_EQ(again.Rotated(), 0);
    EXPECT_EQ(again.CloseLogger(), 0);
    EXPECT_EQ(again.CloseLogger(), -1);
    EXPECT_EQ(again.SaveMessage("a", "b", "c", 0), -1);
    EXPECT_TRUE(fs::exists(m_base + "MessageLog.xsl"));
}

TEST_F(History, RotatesOnlyPastTwoMebibytes)
{
    fs::create_directories(m_base + "f");
    const std::string path = m_base + "f/c.xml";
    auto make = [&](std::size_t size) {
        std::string body = kHead;
        body += std::string(size - body.size() - 7, 'x');
        body += "\n</Log>";
        std::ofstream(path, std::ios::binary) << body;
    };
    make(2097152);
    {
        CPresenceChatHistoryLogger log(m_base);
        ASSERT_EQ(log.InitializeLogger("c", "f"), 0);
        EXPECT_EQ(log.Rotated(), 0);
        EXPECT_EQ(log.GetLogFileSize(), 2097152);
    }
    make(2097153);
    CPresenceChatHistoryLogger log(m_base);
    ASSERT_EQ(log.InitializeLogger("c", "f"), 0);
    EXPECT_EQ(log.Rotated(), 1);
    EXPECT_EQ(Read(path), kHead + "</Log>");
    int archives = 0;
    for (const auto& e : fs::directory_iterator(m_base + "f")) {
        const std::string name = e.path().filename().string();
        if (name != "c.xml") {
            ++archives;
            // c_DD_MM_YY_HH_MM_SS_Archive.xml
            EXPECT_EQ(name.size(), std::string("c_01_02_03_04_05_06_Archive.xml").size()) << name;
            EXPECT_TRUE(name.ends_with("_Archive.xml")) << name;
            EXPECT_EQ(fs::file_size(e.path()), 2097153u);
        }
    }
    EXPECT_EQ(archives, 1);
    ASSERT_EQ(log.SaveMessage("a", "b", "c", 0), 0);
    EXPECT_EQ(Read(path).find("</Log>"), Read(path).size() - 6);
}

TEST_F(History, UnopenableFileIsMinusOne)
{
    fs::create_directories(m_base + "f/c.xml"); // a directory where the file should be
    CPresenceChatHistoryLogger log(m_base);
    EXPECT_EQ(log.InitializeLogger("c", "f"), -1);
}

} // namespace
