#include "presence/ui/CPresencePageView.h"

#include "app/CLogger.h"

#include <QDesktopServices>
#include <QLabel>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <unistd.h>

bool CPresencePageView::EmbeddedAvailable()
{
    if (qEnvironmentVariableIsSet("ZELORA_NO_EMBEDDED_BROWSER"))
        return false;
    if (::geteuid() != 0)
        return true;
    return qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") ||
        qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox"));
}

CPresencePageView::CPresencePageView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (EmbeddedAvailable()) {
        m_web = new QWebEngineView(this);
        m_web->setAccessibleName(QStringLiteral("Page"));
        // The history file names its stylesheet by a relative file URL.
        m_web->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        connect(m_web, &QWebEngineView::loadFinished, this, &CPresencePageView::Loaded);
        layout->addWidget(m_web);
    } else {
        m_note = new QLabel(this);
        m_note->setAccessibleName(QStringLiteral("Page"));
        m_note->setWordWrap(true);
        layout->addWidget(m_note);
    }
}

void CPresencePageView::Load(const QUrl& url)
{
    if (m_web != nullptr) {
        m_web->load(url);
        return;
    }
    const bool opened = QDesktopServices::openUrl(url);
    ZLOG(opened ? LOG_INFO : LOG_ERROR, "Page %s in the default browser: %s", url.toString().toUtf8().constData(),
         opened ? "opened" : "not opened");
    m_note->setText(opened ? tr("The page was opened in your web browser.")
                           : tr("No web browser could show %1").arg(url.toString()));
    emit Loaded(opened);
}
