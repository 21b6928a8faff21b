#pragma once
// What a portal window offers its controller (CPortalPage).
#include <string>

class IPortalView {
public:
    virtual ~IPortalView() = default;
    virtual void SetTitle(const std::string& title) = 0;
    // Lays out the window; false when it cannot.
    virtual bool InitGui() = 0;
    virtual void Navigate(const std::string& url) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowWindow() = 0;
};
