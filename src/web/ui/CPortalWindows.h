#pragma once
// The portal windows of the desktop program: their buttons for the main window's second row,
// the SMS window of message 0x414, and one open window per page. A page opened again gets a
// new window with a fresh link (the portal refuses old ones).
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "phone/ui/CzeloraTALKWindow.h"
#include "web/CPortalPage.h"

class CPortalWindow;

class CPortalWindows : public QObject {
    Q_OBJECT
public:
    // userId: the signed-in user's ID at the moment a window opens.
    CPortalWindows(std::string portalHost, std::function<std::string()> userId, QObject* parent = nullptr);
    ~CPortalWindows() override;

    std::vector<CzeloraTALKWindow::Tool> Tools();
    std::function<void(const std::string& number)> SmsWindow();

    // The window of that kind, opened; null when it could not be laid out.
    CPortalWindow* Open(const CPortalPage::Kind& kind);
    CPortalWindow* Window(const CPortalPage::Kind& kind) const;

private:
    std::string m_portalHost;
    std::function<std::string()> m_userId;
    std::map<const CPortalPage::Kind*, QPointer<CPortalWindow>> m_open;
};
