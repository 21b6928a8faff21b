#pragma once
// One session's background thread: drives every transfer of the session through one
// curl multi handle and delivers the status reports, with no lock held, in order. The thread
// loads libcurl when its first work arrives; without it every request fails at once.
#include "platform/inet/InetHandle.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelora::inet {

struct CurlApi;

class CInetEngine : public std::enable_shared_from_this<CInetEngine> {
public:
    explicit CInetEngine(HINTERNET sessionId);
    ~CInetEngine();
    CInetEngine(const CInetEngine&) = delete;
    CInetEngine& operator=(const CInetEngine&) = delete;

    // Starts the thread; false when it cannot be created.
    bool Start();
    // Stops the thread; joins unless called from the thread itself.
    void Stop();

    // Work for the thread, run only there while the thread keeps the engine alive;
    // refused once stopping. Work still queued at the stop is dropped.
    bool Post(std::function<void()> work);

    // Engine-thread work items.
    void ReportCreated(const std::shared_ptr<InetHandle>& handle);
    void StartProbe(const std::shared_ptr<InetHandle>& connect);
    void StartTransfer(const std::shared_ptr<InetHandle>& request);
    void CloseOnThread(const std::shared_ptr<InetHandle>& handle);

    // Used by the curl callbacks on the engine thread.
    void Emit(const InetHandle& handle, DWORD status, const INTERNET_ASYNC_RESULT* result = nullptr);

    bool OnEngineThread() const { return std::this_thread::get_id() == m_threadId.load(); }

private:
    struct Report {
        HINTERNET handle;
        DWORD_PTR context;
        DWORD status;
        bool hasResult;
        INTERNET_ASYNC_RESULT result;
    };

    void Run();
    // Blocks until there is work or the stop; false on the stop.
    bool WaitForWork();
    void LoadCurl();
    CURL* NewEasy();
    // Wakes the thread wherever it waits; caller holds m_queueMutex.
    void WakeLocked();
    void Finish(CURL* easy, CURLcode code);
    void Deliver();
    void Detach(InetHandle& handle);
    void ApplyCommonOptions(InetHandle& handle, CURL* easy, bool forProbe);

    HINTERNET m_sessionId;
    const CurlApi* m_curl = nullptr; // set with m_multi
    std::string m_curlError;
    CURLM* m_multi = nullptr;
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::mutex m_queueMutex;
    std::condition_variable m_wake; // the thread's wait while it has no multi handle
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    bool m_multiGone = false;
    std::vector<Report> m_reports;
    // Transfers in flight, by curl handle (engine thread only).
    std::vector<std::shared_ptr<InetHandle>> m_active;
};

DWORD MapCurlError(CURLcode code, const char* errorText, bool tooLarge);

} // namespace zelora::inet
