#pragma once
// Process-wide log writer. Every line: "[time][level][file][method][line] message".
#include <atomic>
#include <ctime>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/LogName.h"

enum LogLevel {
    LOG_ERROR = 1,
    LOG_WARNING = 2,
    LOG_DEBUG = 3,
    LOG_DATA = 6,
    LOG_INFO = 7,
};

class CLogger {
public:
    // 1 written (or filtered by level), 2 no file open, -1 rotation failed, -2 bad clock.
    static int Log(int level, const char* sourceFile, int line, const char* method, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

    static const char* GetLevelName(int level);
    static int IsNewLogFileRequired();
    static int RotateLogFile();
    static void Exit();

    // Opening step: the logger writes nothing until a file is opened.
    // Returns 1, or -1 when the file cannot be opened.
    static int Open(const std::string& path);
    // $XDG_STATE_HOME/zeloraTALK/<program>.log (default ~/.local/state); creates the folder.
    static std::string DefaultPath(const std::string& program);
    static int OpenDefault(const std::string& program);

    static void SetLevel(int level) { s_level.store(level, std::memory_order_relaxed); }
    static int GetLevel() { return s_level.load(std::memory_order_relaxed); }
    static void SetMaxFileSize(long bytes);
    static std::string FileName();

    // Where "Invalid date" and similar user-facing failures go; the GUI installs a message box.
    using MessageBoxHandler = void (*)(const char* text);
    static void SetMessageBoxHandler(MessageBoxHandler handler);
    // Where the logger's own notices (rotation, shutdown) are printed; stdout unless a program
    // whose stdout carries a protocol moves them.
    static void SetNoticeStream(FILE* stream) { s_notices.store(stream); }

private:
    static std::atomic<int> s_level;
    static std::atomic<long> s_maxSize;
    static std::atomic<FILE*> s_stream;
    static std::string s_fileName;
    static std::recursive_mutex s_lock;
    static std::atomic<MessageBoxHandler> s_messageBox;
    static FILE* NoticeStream();
    static std::atomic<FILE*> s_notices; // null: stdout
    // Guarded by s_lock: bytes in the open file, and the time stamp of the current second.
    static long s_size;
    static std::time_t s_stampTime;
    static char s_stamp[32];
};

// Entering/leaving trace of one method: logs on construction and on every return path.
class CLogScope {
public:
    explicit CLogScope(const char* method, const char* leaving = "########Leaving########", int line = 0)
        : m_method(method), m_leaving(leaving), m_line(line)
    {
        CLogger::Log(LOG_INFO, "", m_line, m_method, "********Entering********");
    }
    ~CLogScope() { CLogger::Log(LOG_INFO, "", m_line, m_method, "%s", m_leaving); }
    CLogScope(const CLogScope&) = delete;
    CLogScope& operator=(const CLogScope&) = delete;

private:
    const char* m_method;
    const char* m_leaving;
    int m_line;
};

// Lines under the enclosing method's name; ZLOG_AS only where a name is passed on on purpose
// (a helper logging for its caller, the per-case lines of a dispatcher).
#define ZLOG(level, ...) CLogger::Log((level), "", __LINE__, ZLOG_METHOD, __VA_ARGS__)
#define ZLOG_AS(level, method, ...) CLogger::Log((level), "", __LINE__, (method), __VA_ARGS__)
#define ZLOG_SCOPE() CLogScope zlogScope_(ZLOG_METHOD, "########Leaving########", __LINE__)
