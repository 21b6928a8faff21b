#pragma once
// One contact's chat history as an XML file a browser shows through ../MessageLog.xsl.
// The closing tag always sits in the last 7 bytes; each message overwrites it and
// writes it again, so the file is complete after every message.
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

class CPresenceChatHistoryLogger {
public:
    static constexpr long kRotateAbove = 2097152; // bytes
    static constexpr long kTailLength = 7; // "\n</Log>"
    static constexpr const char* kStylesheetName = "MessageLog.xsl";

    // baseDirectory ends with '/'; empty means PresenceDataFolder().
    explicit CPresenceChatHistoryLogger(std::string baseDirectory = {});
    ~CPresenceChatHistoryLogger();
    CPresenceChatHistoryLogger(const CPresenceChatHistoryLogger&) = delete;
    CPresenceChatHistoryLogger& operator=(const CPresenceChatHistoryLogger&) = delete;

    int InitializeLogger(const std::string& contactName, const std::string& folderName);
    int SaveMessage(const char* sender, const char* receiver, const char* text, std::time_t when);
    int RotateLogFile(const std::string& folderName, const std::string& contactName);
    long GetLogFileSize();
    int CloseLogger();

    const std::string& FilePath() const { return m_filePath; }
    int Rotated() const { return m_rotated; }

    // $XDG_DATA_HOME/zeloraTALK/ (default ~/.local/share/zeloraTALK/), with '/' at the end.
    static std::string PresenceDataFolder();
    // "\40" of gateway JIDs becomes "40", as the history window expects.
    static std::string ContactFileName(const std::string& contactId);
    // The message element for one message, fields escaped for XML.
    static std::string FormatMessage(const char* sender, const char* receiver, const char* text, const std::tm& local);
    // The stylesheet every history file names.
    static const char* StylesheetText();

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    int StartNewFile();
    void EnsureStylesheet() const;

    std::unique_ptr<std::FILE, FileCloser> m_stream;
    std::string m_filePath;
    std::string m_baseDirectory;
    int m_rotated = 0;
};
