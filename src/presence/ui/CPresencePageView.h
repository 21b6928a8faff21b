#pragma once
// A page shown inside a window when the embedded browser can run here, otherwise handed to
// the desktop's default browser (with a log line and a note in the window).
#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class QWebEngineView;

class CPresencePageView : public QWidget {
    Q_OBJECT
public:
    explicit CPresencePageView(QWidget* parent = nullptr);

    // Whether the embedded browser can start in this process: as root it needs its sandbox
    // switched off, or it ends the whole program.
    static bool EmbeddedAvailable();
    void Load(const QUrl& url);
    bool Embedded() const { return m_web != nullptr; }
    QWebEngineView* WebView() const { return m_web; }

signals:
    void Loaded(bool ok);

private:
    QWebEngineView* m_web = nullptr;
    QLabel* m_note = nullptr;
};
