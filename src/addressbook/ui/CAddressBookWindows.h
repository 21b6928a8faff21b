#pragma once
// The address book in the desktop program: the main window's "Contacts" and "Remote Storage"
// buttons, the contacts window over the phone's controller, the PIM-sync plug-in started from
// it and ended when the program shuts down, and the entry the presence side feeds states into.
//
//   CAddressBookWindows book({&store, deployment, &settings});
//   deps.moreTools = book.Tools();           // before the phone's windows are built
//   ... CPhoneWindows windows(deps) ...
//   book.Attach(windows.Controller(), windows.MainWindow());
//
// Accessibility: the contacts window's title and name "Address Book"; its list "Contacts"; its
// buttons "Add", "Edit", "Delete", "Delete All", "PIM Sync", "Close"; menus "Phone" and "SMS",
// each with "VOIP Number", "Mobile Number", "Home Number", "Business Number". The contact form's
// fields carry their labels ("First Name", "E-Mail", "VOIP Number", ..., "Birth Date",
// "Comments"), its buttons "OK" and "Cancel". The upload window "Updating Address Book": progress
// bar "Progress", a label described "Status", one button named by its caption.
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "addressbook/CViewContactsDlg.h"
#include "app/Deployment.h"
#include "phone/ui/CzeloraTALKWindow.h"

class AddressBookStore;
class CSettings;
class CzeloraTALKDlg;
class CViewContactsWindow;
class CAddressBookWindowUpload;
class QWidget;

class CAddressBookWindows : public QObject, private CContactsPhone {
    Q_OBJECT
public:
    struct Dependencies {
        AddressBookStore* store = nullptr; // required
        DeploymentValues deployment;
        CSettings* settings = nullptr; // required: the HTTP proxy handed to remote storage
        unsigned webPort = 80;
    };

    explicit CAddressBookWindows(Dependencies dependencies);
    // Ends the PIM-sync plug-in, if it runs.
    ~CAddressBookWindows() override;

    std::vector<CzeloraTALKWindow::Tool> Tools();
    void Attach(CzeloraTALKDlg& dlg, QWidget* mainWindow);

    // The contacts window, opened or raised.
    void OpenAddressBook();
    CViewContactsWindow* AddressBook() const;
    void OpenRemoteStorage();
    void OpenPimSync(QWidget* parent);
    // The presence side's report of a contact's state (a roster identifier).
    void SetPresence(const std::string& presenceId, int state);

private:
    // CContactsPhone
    bool IsCallInProgress() override;
    void Call(const std::string& number) override;
    void Sms(const std::string& number) override;

    Dependencies m_deps;
    std::unique_ptr<CAddressBookWindowUpload> m_upload;
    CzeloraTALKDlg* m_dlg = nullptr;
    QWidget* m_mainWindow = nullptr;
    QPointer<CViewContactsWindow> m_window;
};
