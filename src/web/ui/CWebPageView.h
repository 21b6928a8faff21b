#pragma once
// A web page inside a window, or in the user's default browser where the embedded browser
// cannot run (WebEngine missing or ending abnormally, or ZELORA_WEB_BROWSER=external): the
// program never fails for a page. Accessible name "Web page"; once an embedded page has loaded,
// its text is the view's accessible description, so screen readers and tests can read it.
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class QStackedLayout;
class QWebEngineView;

class CWebPageView : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kBrowserVariable = "ZELORA_WEB_BROWSER";
    // The longest page text put into the accessible description.
    static constexpr int kMaxDescription = 4000;

    // Before QApplication: the switches WebEngine reads once per process.
    static void PrepareProcess();
    // Why pages cannot be embedded in this process ("" when they can).
    static QString EmbeddingRefused();
    // The URL to the default browser (xdg-open, else the desktop's handler); false when
    // nothing took it. Logs either way.
    static bool OpenOutside(const QUrl& url);

    explicit CWebPageView(QWidget* parent = nullptr);
    ~CWebPageView() override;

    // An http(s) URL or a local file's URL.
    void Open(const QUrl& url);
    bool Embedded() const;
    QUrl Url() const { return m_url; }
    QString PageText() const { return m_text; }
    // The embedded page's title ("" when the page is outside).
    QString PageTitle() const;

signals:
    // An embedded page has loaded (ok false: the browser showed its error page); its text.
    void PageShown(bool ok, const QString& text);
    // The page went to the default browser instead (started: something took it).
    void OpenedOutside(const QUrl& url, bool started);

private:
    void Embed(const QUrl& url);
    void Fallback(const QString& why);
    void OnLoaded(bool ok);

    QStackedLayout* m_stack = nullptr;
    QLabel* m_note = nullptr;
    QPointer<QWebEngineView> m_web;
    QUrl m_url;
    QString m_text;
};
