#include "app/CLogger.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <filesystem>

std::atomic<int> CLogger::s_level{LOG_INFO};
std::atomic<long> CLogger::s_maxSize{1048576};
std::atomic<FILE*> CLogger::s_stream{nullptr};
std::string CLogger::s_fileName;
std::recursive_mutex CLogger::s_lock;
std::atomic<CLogger::MessageBoxHandler> CLogger::s_messageBox{nullptr};
std::atomic<FILE*> CLogger::s_notices{nullptr};
long CLogger::s_size = 0;
std::time_t CLogger::s_stampTime = static_cast<std::time_t>(-1);
char CLogger::s_stamp[32] = {0};

FILE* CLogger::NoticeStream()
{
    FILE* stream = s_notices.load();
    return stream != nullptr ? stream : stdout;
}

namespace {
void defaultMessageBox(const char* text) { std::fprintf(stderr, "%s\n", text); }

// Opened for appending: what is there already counts towards the rotation.
long FileSize(FILE* stream)
{
    if (std::fseek(stream, 0, SEEK_END) != 0)
        return 0;
    long size = std::ftell(stream);
    return size > 0 ? size : 0;
}
} // namespace

const char* CLogger::GetLevelName(int level)
{
    switch (level) {
    case LOG_ERROR:
        return "LOG_ERROR";
    case LOG_WARNING:
        return "LOG_WARNING";
    case LOG_DEBUG:
        return "LOG_DEBUG";
    case LOG_INFO:
        return "LOG_INFO";
    default:
        return "Unknown";
    }
}

int CLogger::Log(int level, const char* sourceFile, int line, const char* method, const char* format, ...)
{
    // Suppressed calls must stay free: no lock, no formatting.
    if (level > s_level.load(std::memory_order_relaxed))
        return 1;
    if (s_stream.load(std::memory_order_acquire) == nullptr)
        return 2;

    std::lock_guard<std::recursive_mutex> guard(s_lock);
    if (sourceFile == nullptr)
        sourceFile = "";
    if (method == nullptr)
        method = "";
    // Another thread may have lost the stream in a failed rotation meanwhile.
    if (s_stream.load() == nullptr)
        return 2;
    if (IsNewLogFileRequired() == 1 && RotateLogFile() < 0) {
        std::fprintf(NoticeStream(), "[%s][%s][%d] RotateLogFile failed\n", sourceFile, "CLogger::Log", 111);
        return -1;
    }

    // Every line is written and flushed as before; what each line no longer pays for is the
    // seeks that measured the file and the time formatting, done once per second.
    std::time_t now = std::time(nullptr);
    if (now != s_stampTime) {
        std::tm tmNow{};
        if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &tmNow) == nullptr) {
            MessageBoxHandler box = s_messageBox.load();
            (box ? box : defaultMessageBox)("Invalid date");
            return -2;
        }
        if (std::strftime(s_stamp, sizeof s_stamp, "%d-%m-%y %H:%M:%S", &tmNow) == 0)
            s_stamp[0] = '\0';
        s_stampTime = now;
    }

    FILE* out = s_stream.load();
    int written = std::fprintf(out, "[%s][%s][%s][%s][%d] ", s_stamp, GetLevelName(level), sourceFile, method, line);
    va_list args;
    va_start(args, format);
    int text = std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
    std::fflush(out);
    s_size += std::max(written, 0) + std::max(text, 0) + 1;
    return 1;
}

int CLogger::IsNewLogFileRequired()
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    FILE* out = s_stream.load();
    if (out == nullptr)
        return 0;
    // The size written through this stream since it was opened at the file's end.
    long size = s_size;
    long maximum = s_maxSize.load();
    if (size < maximum)
        return 0;
    std::fprintf(NoticeStream(), "[%s][%s][%d]%ld >= %ld\n", "", "CLogger::IsNewLogFileRequired", 264, size, maximum);
    return 1;
}

int CLogger::RotateLogFile()
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    FILE* out = s_stream.exchange(nullptr);
    if (out != nullptr && std::fclose(out) != 0) {
        std::fprintf(NoticeStream(), "########### Unable to close log file %s #############\n", s_fileName.c_str());
        return -1;
    }
    std::string backup = (s_fileName + ".old").substr(0, 255);
    std::remove(backup.c_str());
    std::rename(s_fileName.c_str(), backup.c_str());
    std::fprintf(NoticeStream(), "########### Create new log file %s #############\n", s_fileName.c_str());
    FILE* fresh = std::fopen(s_fileName.c_str(), "a");
    if (fresh == nullptr) {
        std::fprintf(NoticeStream(), "[%s][%s][%d] Unable to open log file %s\n", "", "CLogger::RotateLogFile", 236,
                     s_fileName.c_str());
        return -1;
    }
    s_size = FileSize(fresh);
    s_stream.store(fresh, std::memory_order_release);
    return 1;
}

void CLogger::Exit()
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    std::fprintf(NoticeStream(), "[%s][%s][%d] Entering\n", "", "CLogger::Exit", 38);
    std::fprintf(NoticeStream(), "[%s][%s][%d] Shutting down log system.\n", "", "CLogger::Exit", 39);
    FILE* out = s_stream.exchange(nullptr);
    if (out != nullptr)
        std::fclose(out);
    std::fprintf(NoticeStream(), "[%s][%s][%d] Leaving\n", "", "CLogger::Exit", 45);
    std::fflush(NoticeStream());
}

int CLogger::Open(const std::string& path)
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    if (path.empty() || path.size() > 255)
        return -1;
    FILE* fresh = std::fopen(path.c_str(), "a");
    if (fresh == nullptr)
        return -1;
    s_size = FileSize(fresh);
    FILE* old = s_stream.exchange(fresh, std::memory_order_acq_rel);
    if (old != nullptr)
        std::fclose(old);
    s_fileName = path;
    return 1;
}

std::string CLogger::DefaultPath(const std::string& program)
{
    std::filesystem::path base;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "state";
    }
    return (base / "zeloraTALK" / (program + ".log")).string();
}

int CLogger::OpenDefault(const std::string& program)
{
    std::filesystem::path path = DefaultPath(program);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    return Open(path.string());
}

void CLogger::SetMaxFileSize(long bytes) { s_maxSize.store(bytes); }

std::string CLogger::FileName()
{
    std::lock_guard<std::recursive_mutex> guard(s_lock);
    return s_fileName;
}

void CLogger::SetMessageBoxHandler(MessageBoxHandler handler) { s_messageBox.store(handler); }
