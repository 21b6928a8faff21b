#include "platform/inet/CInetEngine.h"

#include "platform/PlatformLog.h"
#include "platform/inet/CHttpTransfer.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cstdint>

namespace zelora::inet {

CInetEngine::CInetEngine(HINTERNET sessionId) : m_sessionId(sessionId) { }

CInetEngine::~CInetEngine() { Stop(); }

bool CInetEngine::Start()
{
    m_wakeFd.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!m_wakeFd.Valid()) {
        PLATFORM_LOG(1, "No wake-up for the HTTP thread");
        return false;
    }
    try {
        m_thread = std::thread([self = shared_from_this()] { self->Run(); });
    } catch (...) {
        return false;
    }
    return true;
}

namespace {

void Wake(int fd)
{
    const std::uint64_t one = 1;
    // A full counter already wakes the poll; nothing else can fail here.
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof(one));
}

} // namespace

void CInetEngine::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_stopping = true;
        if (m_wakeFd.Valid()) {
            Wake(m_wakeFd.Get());
        }
    }
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
}

bool CInetEngine::Post(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (m_stopping || m_gone) {
        return false;
    }
    m_queue.push_back(std::move(work));
    Wake(m_wakeFd.Get());
    return true;
}

void CInetEngine::Emit(const InetHandle& handle, DWORD status, const INTERNET_ASYNC_RESULT* result)
{
    Report report{handle.id, handle.context, status, result != nullptr, {0, 0}};
    if (result != nullptr) {
        report.result = *result;
    }
    m_reports.push_back(report);
}

void CInetEngine::Deliver()
{
    std::vector<Report> reports;
    reports.swap(m_reports);
    for (const Report& r : reports) {
        INTERNET_STATUS_CALLBACK callback = nullptr;
        {
            std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
            // The callback is read per report so that unregistering takes effect at once.
            callback = SessionCallback(m_sessionId);
        }
        if (callback != nullptr) {
            INTERNET_ASYNC_RESULT copy = r.result;
            callback(r.handle, r.context, r.status, r.hasResult ? &copy : nullptr,
                     r.hasResult ? static_cast<DWORD>(sizeof(copy)) : 0);
        }
    }
}

void CInetEngine::ReportCreated(const std::shared_ptr<InetHandle>& handle)
{
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        if (handle->closed) {
            return;
        }
    }
    Emit(*handle, INTERNET_STATUS_HANDLE_CREATED);
}

void CInetEngine::StartTransfer(const std::shared_ptr<InetHandle>& request)
{
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        if (request->closed) {
            return;
        }
    }
    m_active.push_back(std::make_unique<CHttpTransfer>(request, *this, m_nextSerial++));
    m_active.back()->Start();
}

void CInetEngine::LookUp(std::uint64_t serial, const std::string& host, std::uint16_t port)
{
    // The lookup thread holds the engine only weakly: a session closed meanwhile is let go.
    std::weak_ptr<CInetEngine> weak = weak_from_this();
    ResolveInBackground(host, port, [weak, serial](ResolvedAddresses resolved) {
        if (auto engine = weak.lock()) {
            CInetEngine* e = engine.get();
            e->Post([e, serial, resolved = std::move(resolved)] { e->OnResolved(serial, resolved); });
        }
    });
}

void CInetEngine::OnResolved(std::uint64_t serial, const ResolvedAddresses& resolved)
{
    for (auto& transfer : m_active) {
        if (transfer->Serial() == serial) {
            transfer->OnResolved(resolved);
            return;
        }
    }
}

void CInetEngine::CloseOnThread(const std::shared_ptr<InetHandle>& handle)
{
    std::erase_if(m_active, [&handle](const auto& transfer) { return transfer->Handle() == handle; });
    Emit(*handle, INTERNET_STATUS_HANDLE_CLOSING);
}

void CInetEngine::RunQueued()
{
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        work.swap(m_queue);
    }
    for (auto& item : work) {
        item();
    }
}

void CInetEngine::WaitAndStep()
{
    using Clock = CHttpTransfer::Clock;
    std::vector<pollfd> fds{{m_wakeFd.Get(), POLLIN, 0}};
    auto deadline = Clock::time_point::max();
    for (const auto& transfer : m_active) {
        fds.push_back({transfer->Fd(), transfer->Fd() >= 0 ? transfer->Events() : short{0}, 0});
        deadline = std::min(deadline, transfer->Deadline());
    }
    int timeoutMs = -1;
    if (deadline != Clock::time_point::max()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60000));
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) {
        PLATFORM_LOG(1, "HTTP thread poll failed: %d", errno);
    }
    if ((fds[0].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_wakeFd.Get(), &count, sizeof(count));
    }
    const auto now = Clock::now();
    // Transfers started by queued work after the poll was set up are not in `fds`.
    const std::size_t polled = fds.size() - 1;
    for (std::size_t i = 0; i < polled && i < m_active.size(); ++i) {
        CHttpTransfer& transfer = *m_active[i];
        if (fds[i + 1].fd >= 0 && fds[i + 1].fd == transfer.Fd() && fds[i + 1].revents != 0) {
            transfer.OnReady(fds[i + 1].revents);
        } else if (!transfer.Done() && now >= transfer.Deadline()) {
            transfer.OnDeadline();
        }
    }
    std::erase_if(m_active, [](const auto& transfer) { return transfer->Done(); });
}

void CInetEngine::Run()
{
    m_threadId.store(std::this_thread::get_id());
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_stopping) {
                break;
            }
        }
        RunQueued();
        Deliver();
        WaitAndStep();
        Deliver();
    }
    m_active.clear();
    std::deque<std::function<void()>> dropped;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    dropped.swap(m_queue);
    m_gone = true;
}

} // namespace zelora::inet
