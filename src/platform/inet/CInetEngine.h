#pragma once
// One session's background thread: drives every transfer of the session from one poll over
// their sockets and delivers the status reports, with no lock held, in order. It sleeps in
// that poll until a socket, a time limit, new work or the stop wakes it.
#include "platform/UniqueFd.h"
#include "platform/inet/InetHandle.h"
#include "platform/inet/NameLookup.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelora::inet {

class CHttpTransfer;

class CInetEngine : public std::enable_shared_from_this<CInetEngine> {
public:
    explicit CInetEngine(HINTERNET sessionId);
    ~CInetEngine();
    CInetEngine(const CInetEngine&) = delete;
    CInetEngine& operator=(const CInetEngine&) = delete;

    // Starts the thread; false when it or its wake-up cannot be created.
    bool Start();
    // Stops the thread; joins unless called from the thread itself.
    void Stop();

    // Work for the thread, run only there while the thread keeps the engine alive;
    // refused once stopping. Work still queued at the stop is dropped.
    bool Post(std::function<void()> work);

    // Engine-thread work items.
    void ReportCreated(const std::shared_ptr<InetHandle>& handle);
    void StartTransfer(const std::shared_ptr<InetHandle>& request);
    void CloseOnThread(const std::shared_ptr<InetHandle>& handle);

    // Used by the transfers on the engine thread.
    void Emit(const InetHandle& handle, DWORD status, const INTERNET_ASYNC_RESULT* result = nullptr);
    // Looks a name up off the thread; the outcome reaches transfer `serial` if it still runs.
    void LookUp(std::uint64_t serial, const std::string& host, std::uint16_t port);

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
    void RunQueued();
    // Sleeps until a socket is ready, a time limit passes or the thread is woken; then
    // lets each transfer act and drops the finished ones.
    void WaitAndStep();
    void OnResolved(std::uint64_t serial, const ResolvedAddresses& resolved);
    void Deliver();

    HINTERNET m_sessionId;
    UniqueFd m_wakeFd; // an eventfd: Post and Stop write, the poll wakes
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
    std::mutex m_queueMutex;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    bool m_gone = false;
    std::vector<Report> m_reports;
    // Engine thread only.
    std::vector<std::unique_ptr<CHttpTransfer>> m_active;
    std::uint64_t m_nextSerial = 1;
};

} // namespace zelora::inet
