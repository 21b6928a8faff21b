#pragma once
// What the web client needs from the main window. The calls marked "background" come from
// the HTTP client's thread under its process-wide lock: they must only set flags or post.
#include <string>

class IWebServiceHost {
public:
    virtual ~IWebServiceHost() = default;
    virtual bool IsSignedIn() const = 0;
    virtual bool IsCallInProgress() const = 0;
    // Background: five failed probes during a call.
    virtual void HangUpCall() = 0;
    // Background: clears the signed-in flag and hides the signed-in controls.
    virtual void SetSignedOut() = 0;
    // Worker thread: the new-version question (yes/no); true for Yes.
    virtual bool AskYesNo(const std::string& question) = 0;
    // Worker thread: opens a link with the shell in a normal window.
    virtual void OpenUrl(const std::string& url) = 0;
};
