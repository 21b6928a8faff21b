#pragma once
// The presence pop-up: a contact online or offline, or a message. It appears in the corner of
// the work area, stays and fades, one phase a second; while one shows, others are dropped.
// A click on a message's pop-up opens the chat with its sender.
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

class CPresenceNotifier : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPhaseMs = 1000;
    enum Phase { PHASE_HIDDEN, PHASE_APPEAR, PHASE_STAY, PHASE_DISAPPEAR };

    explicit CPresenceNotifier(std::function<void(const std::string& jid)> openChat, QWidget* parent = nullptr);

    // false when dropped (one is showing). `jid` set: the pop-up of a message from it.
    bool Notify(const std::string& title, const std::string& text, const std::string& jid);
    Phase CurrentPhase() const { return m_phase; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Step();

    std::function<void(const std::string&)> m_openChat;
    QLabel* m_title = nullptr;
    QLabel* m_text = nullptr;
    QTimer m_timer;
    Phase m_phase = PHASE_HIDDEN;
    int m_tick = 0;
    std::string m_jid;
};
