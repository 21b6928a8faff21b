#pragma once
// The main window as its controller sees it. Every method is called on the window's own thread
// (the one that drains its message queue).
#include <string>

#include "phone/CMXDisplayScreen.h"

class CzeloraTALKView {
public:
    enum Icon { ICON_INFORMATION = 0, ICON_ERROR = 1, ICON_QUESTION = 2 };
    enum Panel { PANEL_DIALPAD = 1, PANEL_LOGIN = 2, PANEL_CALL = 3 };

    virtual ~CzeloraTALKView() = default;
    // A message box (or the show-message information box); returns when it is closed.
    virtual void MessageBox(const std::string& text, Icon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void SwitchPanel(int panel) = 0;
    // Controls follow the window's fields: signed-in buttons, dial field text, labels.
    virtual void RefreshControls(bool signedIn, const std::string& dialField) = 0;
    virtual void ShowSignedInButtons() = 0;
    // Repaint of the display screen: `painted` false when nothing is drawn.
    virtual void PaintDisplay(const CMXDisplayScreen::Lines& lines, bool painted) = 0;
    virtual void SetSliders(int speaker, int mic) = 0;
    virtual void ShowAccountTexts(const std::string& first, const std::string& second) = 0;
    virtual void OpenNotifier(const std::string& text) = 0;
    virtual void CloseNotifier() = 0;
    virtual void ActivateWindow() = 0;
    virtual void FlashWindow() = 0;
    virtual void ShowCounter(int value) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // The window closes; the owner ends its message loop.
    virtual void CloseWindow() = 0;

    // Fields filled by the operator's web service; a window without them ignores them.
    virtual void ShowVoipNumber(const std::string& voipNumber, const std::string& userId)
    {
        (void)voipNumber, (void)userId;
    }
    // The slide-in notice of new SMS.
    virtual void ShowSmsNotice(const std::string& text) { (void)text; }
    // A link opened with the desktop's browser.
    virtual void OpenLink(const std::string& url) { (void)url; }
    // Message 0x414: the SMS window opens, with the number chosen in the address book, if any.
    virtual void OpenSmsWindow(const std::string& number) { (void)number; }
    // The line's recovery status as it changes ("" when done); the display's third line
    // shows it too, so a window may leave this out.
    virtual void ShowRecoveryStatus(const std::string& text) { (void)text; }
};
