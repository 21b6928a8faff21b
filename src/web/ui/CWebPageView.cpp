#include "web/ui/CWebPageView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QProcess>
#include <QStackedLayout>
#include <QStandardPaths>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

#include "app/CLogger.h"

namespace {

constexpr const char* kSandboxVariable = "QTWEBENGINE_DISABLE_SANDBOX";
constexpr const char* kChromiumFlags = "QTWEBENGINE_CHROMIUM_FLAGS";

bool SandboxDisabled() { return qgetenv(kSandboxVariable) == "1" || qgetenv(kChromiumFlags).contains("--no-sandbox"); }

QString EngineProcess()
{
    const QString own = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (!own.isEmpty())
        return own;
    return QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess";
}

std::string Text(const QUrl& url) { return url.toString(QUrl::RemoveUserInfo).toStdString(); }

} // namespace

void CWebPageView::PrepareProcess()
{
    ZLOG_SCOPE();
    // WebEngine wants one GL context shared with the widgets, set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Chromium refuses to run as root with its sandbox and ends the whole process; the sandbox
    // cannot work for root anyway, so it goes, and the log says so.
    if (geteuid() == 0 && !SandboxDisabled()) {
        qputenv(kSandboxVariable, "1");
        ZLOG(LOG_WARNING, "Running as root: the embedded browser runs without its sandbox");
    }
}

QString CWebPageView::EmbeddingRefused()
{
    if (qgetenv(kBrowserVariable) == "external")
        return QString(kBrowserVariable) + "=external";
    if (!QFileInfo(EngineProcess()).isExecutable())
        return "no " + EngineProcess();
    // Without the switch Chromium would end the program at its first page.
    if (geteuid() == 0 && !SandboxDisabled())
        return "running as root with the sandbox on";
    return {};
}

bool CWebPageView::OpenOutside(const QUrl& url)
{
    ZLOG_SCOPE();
    // xdg-open first: it honours BROWSER and works on any platform plugin; the desktop's own
    // handler is the last resort.
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    bool started = !opener.isEmpty() && QProcess::startDetached(opener, {url.toString(QUrl::FullyEncoded)});
    if (!started)
        started = QDesktopServices::openUrl(url);
    if (started)
        ZLOG(LOG_INFO, "Opened %s in the default browser", Text(url).c_str());
    else
        ZLOG(LOG_ERROR, "No browser took %s", Text(url).c_str());
    return started;
}

CWebPageView::CWebPageView(QWidget* parent) : QWidget(parent)
{
    setAccessibleName("Web page");
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_note = new QLabel(this);
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setWordWrap(true);
    m_note->setAccessibleDescription("Web page note");
    m_stack->addWidget(m_note);
}

CWebPageView::~CWebPageView() = default;

bool CWebPageView::Embedded() const { return m_web != nullptr; }

QString CWebPageView::PageTitle() const { return m_web != nullptr ? m_web->title() : QString(); }

void CWebPageView::Open(const QUrl& url)
{
    ZLOG_SCOPE();
    m_url = url;
    m_text.clear();
    setAccessibleDescription(QString());
    const QString refused = EmbeddingRefused();
    if (!refused.isEmpty()) {
        Fallback(refused);
        return;
    }
    Embed(url);
}

void CWebPageView::Embed(const QUrl& url)
{
    if (m_web == nullptr) {
        m_web = new QWebEngineView(this);
        m_stack->addWidget(m_web);
        connect(m_web, &QWebEngineView::loadFinished, this, &CWebPageView::OnLoaded);
        connect(m_web->page(), &QWebEnginePage::renderProcessTerminated, this,
                [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                    if (status == QWebEnginePage::NormalTerminationStatus)
                        return;
                    ZLOG(LOG_ERROR, "The embedded browser ended (status %d, code %d)", static_cast<int>(status), code);
                    Fallback("the embedded browser ended");
                });
    }
    m_stack->setCurrentWidget(m_web);
    m_web->load(url);
}

void CWebPageView::OnLoaded(bool ok)
{
    if (m_web == nullptr)
        return;
    if (!ok)
        ZLOG(LOG_WARNING, "The page %s did not load", Text(m_url).c_str());
    QPointer<CWebPageView> self(this);
    m_web->page()->toPlainText([self, ok](const QString& text) {
        if (self.isNull())
            return;
        self->m_text = text;
        self->setAccessibleDescription(text.left(kMaxDescription));
        emit self->PageShown(ok, text);
    });
}

void CWebPageView::Fallback(const QString& why)
{
    ZLOG(LOG_WARNING, "No embedded browser (%s): the page opens in the default browser", why.toStdString().c_str());
    if (m_web != nullptr) {
        // Deleting it here would pull it from under its own signal.
        m_web->deleteLater();
        m_web = nullptr;
    }
    const bool started = OpenOutside(m_url);
    m_note->setText(started ? tr("The page is open in your web browser.")
                            : tr("No web browser could be started for this page."));
    m_stack->setCurrentWidget(m_note);
    emit OpenedOutside(m_url, started);
}
