#pragma once
// A frameless always-on-top pop-up that slides up into the available-geometry corner, stays a
// while and slides back down. Showing it again while sliding in only redraws; while shown it
// redraws and restarts the stay; while sliding out it is put back fully shown.
#include <QPropertyAnimation>
#include <QTimer>
#include <QWidget>

class CSlidePopup : public QWidget {
    Q_OBJECT
public:
    enum State { STATE_HIDDEN = 0, STATE_SLIDING_IN = 1, STATE_SHOWN = 2, STATE_SLIDING_OUT = 3 };
    static constexpr int kSlideMs = 1000;
    static constexpr int kStayMs = 5000;

    explicit CSlidePopup(QWidget* parent = nullptr);

    // Starts a show (or applies the rule above when one runs).
    void Popup();
    // Hidden at once, without sliding.
    void Dismiss();
    State CurrentState() const { return m_state; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect ShownGeometry() const;
    QRect HiddenGeometry() const;
    void SlideOut();

    State m_state = STATE_HIDDEN;
    QPropertyAnimation m_slide;
    QTimer m_stay;
    QPixmap m_face;
};
