#include "web/ui/CPortalWindows.h"

#include "app/CLogger.h"
#include "web/ui/CGCrossWebDialog.h"
#include "web/ui/CWebSMSDlg.h"
#include "web/ui/CZeloraTALKFaxDialog.h"
#include "web/ui/CzeloraTALKCallHistoryDialog.h"

namespace {

CPortalWindow* Create(const CPortalPage::Kind& kind, CPortalPage::Source source)
{
    if (&kind == &CPortalPage::kSms)
        return new CWebSMSDlg(std::move(source));
    if (&kind == &CPortalPage::kFax)
        return new CZeloraTALKFaxDialog(std::move(source));
    if (&kind == &CPortalPage::kNumberAssignment)
        return new CGCrossWebDialog(std::move(source));
    return new CzeloraTALKCallHistoryDialog(std::move(source));
}

} // namespace

CPortalWindows::CPortalWindows(std::string portalHost, std::function<std::string()> userId, QObject* parent)
    : QObject(parent), m_portalHost(std::move(portalHost)), m_userId(std::move(userId))
{
}

CPortalWindows::~CPortalWindows()
{
    for (auto& [kind, window] : m_open)
        delete window.data();
}

std::vector<CzeloraTALKWindow::Tool> CPortalWindows::Tools()
{
    auto opener = [this](const CPortalPage::Kind& kind) { return [this, &kind]() { Open(kind); }; };
    return {
        {"SMS", "SMS", opener(CPortalPage::kSms)},
        {"Fax", "Fax", opener(CPortalPage::kFax)},
        {"History", "Call History", opener(CPortalPage::kCallHistory)},
        {"Missed", "Missed Calls", opener(CPortalPage::kCallHistory)},
        {"Numbers", "Number Assignment", opener(CPortalPage::kNumberAssignment)},
    };
}

std::function<void(const std::string&)> CPortalWindows::SmsWindow()
{
    // The portal's inbox takes no number: the one chosen in the address book only goes to the log.
    return [this](const std::string& number) {
        ZLOG(LOG_INFO, "SMS window for '%s'", number.c_str());
        Open(CPortalPage::kSms);
    };
}

CPortalWindow* CPortalWindows::Open(const CPortalPage::Kind& kind)
{
    ZLOG_SCOPE();
    QPointer<CPortalWindow>& slot = m_open[&kind];
    if (!slot.isNull()) {
        slot->close();
        slot->deleteLater();
    }
    CPortalWindow* window = Create(kind, CPortalPage::Source{m_portalHost, m_userId, {}});
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (window->Open() < 0) {
        delete window;
        slot = nullptr;
        return nullptr;
    }
    slot = window;
    return window;
}

CPortalWindow* CPortalWindows::Window(const CPortalPage::Kind& kind) const
{
    auto it = m_open.find(&kind);
    return it == m_open.end() ? nullptr : it->second.data();
}
