#pragma once
// The desktop program's windows in one piece: the main window, its controller and the controllers
// of the login panel, the connection settings and the ring-tone window, wired together. main()
// builds the dependencies (settings, deployment, audio, address book), constructs this on the GUI
// thread after QApplication, calls Start() and runs the event loop until Closed().
//
// Accessibility contract (the user's-run tests find controls over AT-SPI by role and name):
//   main window                accessibleName "zeloraTALK", window title "zeloraTALK"
//   every button               role push button; accessibleName = caption, or for picture
//                              buttons the tooltip; accessibleDescription = tooltip
//   dial-pad keys              "1".."9", "0", "*", "#"
//   number field (QLineEdit)   "Number"
//   buttons                    "Call", "Hang up", "Sign in" (login panel), "Back"
//   login fields (QLineEdit)   "User ID", "Password"
//   check boxes                "Remember me", "Sign in automatically"
//   display lines              three labels, accessibleDescription "Display line 1" .. "Display
//                              line 3", accessibleName = the line's current text
//   incoming-call notifier     window title "Incoming call", buttons "Answer" and "Reject"
//   message boxes              QMessageBox with standard buttons "Yes", "No", "OK"
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Deployment.h"
#include "phone/CzeloraTALKDlg.h"
#include "phone/ui/CzeloraTALKWindow.h"

class QWidget;
class CSettings;
class CPhoneAudio;
class AddressBookStore;

class CPhoneWindows : public QObject {
    Q_OBJECT
public:
    struct Dependencies {
        CSettings* settings = nullptr; // required
        CPhoneAudio* audio = nullptr; // required
        DeploymentValues deployment;
        // The local address book; with a deployment that names a web-service host, the web side
        // is built on it. May be null (then no web side unless options.webDuties is given).
        AddressBookStore* addressBook = nullptr;
        // The program's folder (ring-tone drive check in portable mode).
        std::string programFolder;
        // A callto number from the command line, dialled once after the first sign-in.
        std::string calltoNumber;
        // Passed to the controller; options.webDuties set: used instead of a built web side.
        CzeloraTALKDlg::Options options;
        // The other subsystems' windows: their buttons on the main window and the SMS window of
        // message 0x414 (see CzeloraTALKWindow::Hooks).
        std::vector<CzeloraTALKWindow::Tool> moreTools;
        std::function<void(const std::string& number)> smsWindow;
    };

    explicit CPhoneWindows(Dependencies dependencies);
    ~CPhoneWindows() override;
    CPhoneWindows(const CPhoneWindows&) = delete;
    CPhoneWindows& operator=(const CPhoneWindows&) = delete;

    // The controller's start-up and the window shown; false after a fatal failure (already shown
    // and logged): the program exits with 1.
    bool Start();
    QWidget* MainWindow();
    // A second start's 256-byte number block: raise the window and dial.
    void HandOver(const std::string& number256Block);
    // The close button's rule (asks during a call); true when the window closes at once.
    bool ConfirmClose();

    CzeloraTALKDlg& Controller();

signals:
    // The window has closed and the controllers are shut down: end the event loop.
    void Closed();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
