#pragma once
// The program's one HTTP client. A request is opened and sent asynchronously; progress and
// completion arrive on the background thread as a text and a state handed to the caller's
// notification function; the caller then drains the reply with CheckForData from a polling
// thread of its own. One process-wide session (Init/Exit) serves every object.
#include "platform/inet/WinInet.h"

#include "platform/Event.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

enum INetState {
    INET_STATE_FAILED = -1,
    INET_STATE_PROGRESS = 1,
    INET_STATE_COMPLETE = 2,
};

// Text, state, the context given to MakeHttpConnection. Runs on the background thread
// under the process-wide lock: keep it short and never wait for another request in it.
using INetStatusCallback = void (*)(std::string text, int state, void* context);

class CMXINet {
public:
    // Replies above this size fail their request (state -1) instead of exhausting memory.
    static constexpr std::size_t kMaxReplyBytes = zelora::inet::kMaxReplyBytes;
    static constexpr std::size_t kInitialBufferSize = 350;
    static constexpr unsigned kConnectionFlags = 0x04400000;
    static constexpr int kHandleWaitMs = 10000;
    static constexpr int kCloseWaitMs = 6000;

    explicit CMXINet(const std::string& eventName);
    ~CMXINet();
    CMXINet(const CMXINet&) = delete;
    CMXINet& operator=(const CMXINet&) = delete;

    // Process-wide session: 1 (also when already open), -1 when it cannot be opened.
    static int Init();
    static void Exit();
    // Connect and receive time-outs of the session's transfers, in milliseconds; 1 or -1.
    static int SetTimeouts(unsigned connectMs, unsigned receiveMs);

    // 1 when both handles exist; -1 no event, no notification function, no session,
    // connect failure or a wait that timed out; -2 the request could not be opened.
    int MakeHttpConnection(INetStatusCallback notify, void* context, const std::string& host, unsigned port,
                           const std::string& verb, const std::string& objectPath, const std::string& acceptType,
                           unsigned flags);
    // One header line ending in CR LF with HTTP_ADDREQ_FLAG_REPLACE / _ADD_IF_NEW; 1 or -1.
    int AddRequestHeaders(const std::string& headerLine, unsigned modifiers);
    // Empties the response text and sends; a pending send counts as success. 1 or -1.
    int SendRequest(const void* body, std::size_t length);
    // One non-blocking read step: 1 call again later, 2 the whole reply has been read.
    int CheckForData();
    // 4 with the code set; 3 no status header or buffer too small; 1 other failure.
    int QueryStatusCode(int& code);
    // The bytes received so far.
    std::string GetResponseText();
    // Closes both handles, waiting up to 6 s for each to be let go.
    void Close();
    // The same without waiting; for a notification function after state -1.
    void ClosedByINet();

    static int MakeHexString(const std::uint8_t* bytes, char* out, int count);
    static int ParseHexString(std::string_view text, std::vector<std::uint8_t>& out);
    static std::string GetErrorText(unsigned code);

    const std::string& EventName() const { return m_eventName; }
    std::size_t ReceivedLength() const { return m_length; }

    // 1 once Close or ClosedByINet ran; the caller sets it back to 0 before reusing the object.
    std::atomic<int> m_closed{0};

private:
    static void StatusCallBack(zelora::inet::HINTERNET handle, zelora::inet::DWORD_PTR context,
                               zelora::inet::DWORD status, void* info, zelora::inet::DWORD infoLength);
    void HandleStatus(zelora::inet::DWORD status, const void* info, zelora::inet::DWORD infoLength);
    void Notify(const std::string& text, int state);
    // Takes both handles out of the object and empties the receive buffer.
    void TakeHandles(zelora::inet::HINTERNET& request, zelora::inet::HINTERNET& connect);
    static bool CloseAndWait(zelora::inet::HINTERNET handle, zelora::Event& event, bool wait);

    std::mutex m_handleLock;
    zelora::inet::HINTERNET m_connect = nullptr;
    zelora::inet::HINTERNET m_request = nullptr;
    std::string m_response;
    INetStatusCallback m_notify = nullptr;
    void* m_context = nullptr;
    zelora::Event m_event;
    std::string m_eventName;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_length = 0;
    zelora::inet::DWORD_PTR m_cookie = 0;

    static std::recursive_mutex s_lock;
    static zelora::inet::HINTERNET s_session;
    // Live objects by cookie: reports for a destroyed object are dropped.
    static std::map<zelora::inet::DWORD_PTR, CMXINet*> s_live;
    static zelora::inet::DWORD_PTR s_nextCookie;
};
