#include "presence/CPresenceChatHistoryLogger.h"

#include "app/CLogger.h"
#include "platform/ProfileFile.h"
#include "platform/XmlText.h"

#include <cstdlib>
#include <filesystem>

namespace {

constexpr const char kHeader[] = "<?xml version=\"1.0\"?>\n"
                                 "<?xml-stylesheet type='text/xsl' href='../MessageLog.xsl'?>\n"
                                 "<Log>\n";
constexpr const char kClosing[] = "</Log>";

constexpr const char kStylesheet[] = R"XSL(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8"/>
  <xsl:template match="/Log">
    <html>
      <head>
        <title>Chat history</title>
        <style>
          body { font-family: sans-serif; font-size: 10pt; margin: 8px; }
          .day { color: #666; border-bottom: 1px solid #ccc; margin-top: 10px; }
          .from { font-weight: bold; color: #1b4f8a; }
          .time { color: #888; margin-right: 6px; }
          .text { white-space: pre-wrap; }
        </style>
      </head>
      <body>
        <xsl:for-each select="Message">
          <xsl:if test="not(preceding-sibling::Message[1]/@Date = @Date)">
            <div class="day"><xsl:value-of select="@Date"/></div>
          </xsl:if>
          <div>
            <span class="time"><xsl:value-of select="@Time"/></span>
            <span class="from"><xsl:value-of select="From/User/@FriendlyName"/>: </span>
            <span class="text"><xsl:value-of select="Text"/></span>
          </div>
        </xsl:for-each>
      </body>
    </html>
  </xsl:template>
</xsl:stylesheet>
)XSL";

std::string Replace40(std::string s)
{
    for (std::size_t at = s.find("\\40"); at != std::string::npos; at = s.find("\\40", at + 2))
        s.replace(at, 3, "40");
    return s;
}

} // namespace

CPresenceChatHistoryLogger::CPresenceChatHistoryLogger(std::string baseDirectory)
    : m_baseDirectory(std::move(baseDirectory))
{
}

CPresenceChatHistoryLogger::~CPresenceChatHistoryLogger() = default;

std::string CPresenceChatHistoryLogger::PresenceDataFolder()
{
    ZLOG_SCOPE();
    std::string base;
    if (const char* d = std::getenv("XDG_DATA_HOME"); d != nullptr && *d != '\0')
        base = d;
    else if (const char* h = std::getenv("HOME"); h != nullptr)
        base = std::string(h) + "/.local/share";
    return base + "/zeloraTALK/";
}

std::string CPresenceChatHistoryLogger::ContactFileName(const std::string& contactId) { return Replace40(contactId); }

std::string CPresenceChatHistoryLogger::FormatMessage(const char* sender, const char* receiver, const char* text,
                                                      const std::tm& local)
{
    char date[32], time[32], dateTime[48];
    std::strftime(date, sizeof date, "%d/%m/%y", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    std::strftime(dateTime, sizeof dateTime, "%d-%m-%y %H:%M:%S", &local);
    std::string m = "\n<Message Date=\"";
    m += date;
    m += "\" Time=\"";
    m += time;
    m += "\" DateTime=\"";
    m += dateTime;
    m += "\"><From><User FriendlyName=\"";
    m += zelora::EscapeXml(sender);
    m += "\"/></From><To><User FriendlyName=\"";
    m += zelora::EscapeXml(receiver);
    m += "\"/></To><Text>";
    m += zelora::EscapeXml(text);
    m += "</Text></Message>\n";
    return m;
}

const char* CPresenceChatHistoryLogger::StylesheetText() { return kStylesheet; }

void CPresenceChatHistoryLogger::EnsureStylesheet() const
{
    ZLOG_SCOPE();
    const std::string path = m_baseDirectory + kStylesheetName;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && zelora::ReplaceFileContents(path, kStylesheet) != 0)
        ZLOG(LOG_WARNING, "Unable to write stylesheet %s", path.c_str());
}

int CPresenceChatHistoryLogger::StartNewFile()
{
    ZLOG_SCOPE();
    m_stream.reset(std::fopen(m_filePath.c_str(), "w+b"));
    if (!m_stream) {
        ZLOG(LOG_ERROR, "Unable to open history file %s", m_filePath.c_str());
        return -1;
    }
    std::fputs(kHeader, m_stream.get());
    std::fputs(kClosing, m_stream.get());
    std::fflush(m_stream.get());
    return 0;
}

int CPresenceChatHistoryLogger::InitializeLogger(const std::string& contactName, const std::string& folderName)
{
    ZLOG_SCOPE();
    m_rotated = 0;
    if (m_baseDirectory.empty())
        m_baseDirectory = PresenceDataFolder();
    for (char& c : m_baseDirectory)
        if (c == '\\')
            c = '/';
    std::error_code ec;
    std::filesystem::create_directories(m_baseDirectory + folderName, ec);
    EnsureStylesheet();
    const std::string contact = ContactFileName(contactName);
    m_filePath = m_baseDirectory + folderName + "/" + contact + ".xml";
    if (std::FILE* probe = std::fopen(m_filePath.c_str(), "rb"); probe == nullptr) {
        if (StartNewFile() != 0)
            return -1;
    } else {
        std::fclose(probe);
        m_stream.reset(std::fopen(m_filePath.c_str(), "r+b"));
        if (!m_stream) {
            ZLOG(LOG_ERROR, "Unable to open history file %s", m_filePath.c_str());
            return -1;
        }
        std::fseek(m_stream.get(), 0, SEEK_END);
        if (RotateLogFile(folderName, contact) == -1)
            return -1;
    }
    std::fseek(m_stream.get(), 0, SEEK_END);
    if (std::ftell(m_stream.get()) > 0)
        std::fseek(m_stream.get(), -kTailLength, SEEK_END);
    return 0;
}

int CPresenceChatHistoryLogger::SaveMessage(const char* sender, const char* receiver, const char* text,
                                            std::time_t when)
{
    ZLOG_SCOPE();
    if (!m_stream)
        return -1;
    if (sender == nullptr || receiver == nullptr || text == nullptr)
        return -2;
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr)
        return -3;
    const std::string element = FormatMessage(sender, receiver, text, local);
    std::fwrite(element.data(), 1, element.size(), m_stream.get());
    std::fputs(kClosing, m_stream.get());
    std::fflush(m_stream.get());
    std::fseek(m_stream.get(), -kTailLength, SEEK_END);
    std::fflush(m_stream.get());
    return 0;
}

long CPresenceChatHistoryLogger::GetLogFileSize()
{
    ZLOG_SCOPE();
    if (!m_stream)
        return -1;
    const long at = std::ftell(m_stream.get());
    std::fseek(m_stream.get(), 0, SEEK_END);
    const long size = std::ftell(m_stream.get());
    std::fseek(m_stream.get(), at, SEEK_SET);
    return size;
}

int CPresenceChatHistoryLogger::RotateLogFile(const std::string& folderName, const std::string& contactName)
{
    ZLOG_SCOPE();
    if (GetLogFileSize() <= kRotateAbove)
        return 0;
    m_stream.reset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return -3;
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%d_%m_%y_%H_%M_%S", &local);
    const std::string archive = m_baseDirectory + folderName + "/" + contactName + "_" + stamp + "_Archive.xml";
    std::remove(archive.c_str());
    std::rename(m_filePath.c_str(), archive.c_str());
    if (StartNewFile() != 0)
        return -1;
    m_rotated = 1;
    std::fseek(m_stream.get(), -kTailLength, SEEK_END);
    std::fflush(m_stream.get());
    return 0;
}

int CPresenceChatHistoryLogger::CloseLogger()
{
    ZLOG_SCOPE();
    if (!m_stream)
        return -1;
    m_stream.reset();
    return 0;
}
