#pragma once
// Inviting a person by e-mail from the search dialog: one POST to the presence service's
// mail page through the program's HTTP client. The outcome is the text the dialog shows.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CMXINet;

class CPresenceInvite {
public:
    static constexpr const char* kPath = "/mailapi/sendmail.php?";
    static constexpr const char* kSent = "Invitation request has been sent successfully!";
    static constexpr const char* kFailed = "Error while getting invited contact Request";
    static constexpr std::size_t kMaxAddress = 255;

    // Called once per request with kSent or kFailed, on the HTTP client's thread.
    using Done = std::function<void(const std::string& text)>;

    CPresenceInvite(std::string host, unsigned port);
    ~CPresenceInvite();
    CPresenceInvite(const CPresenceInvite&) = delete;
    CPresenceInvite& operator=(const CPresenceInvite&) = delete;

    // 1 sent; -1 the request could not be made (logged; `done` is not called); -2 a bad
    // address; -3 a request is still under way.
    int Send(const std::string& email, const std::string& userId, Done done);
    // "to=<address>&username=<user>&invite=true", the values form-encoded.
    static std::string Body(const std::string& email, const std::string& userId);

private:
    static void Status(std::string text, int state, void* context);
    void Finish(const char* text);

    std::string m_host;
    unsigned m_port;
    std::unique_ptr<CMXINet> m_inet;
    std::mutex m_lock;
    Done m_done;
    std::string m_body; // kept until the request has been sent
};
