#pragma once
// The advertisement ticker: draws the frames of a CScrollLink as they move, stops them while the
// mouse is over it, and opens the link of the frame clicked.
#include <QWidget>
#include <atomic>
#include <functional>

class CScrollLink;

class CAdsTicker : public QWidget {
    Q_OBJECT
public:
    explicit CAdsTicker(QWidget* parent = nullptr);
    ~CAdsTicker() override;
    // The ticker's logic (owned elsewhere, outlives this widget or is detached with nullptr);
    // `opener` opens a link.
    void Attach(CScrollLink* ticker, std::function<void(const std::string&)> opener);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CScrollLink* m_ticker = nullptr;
    std::atomic<bool> m_repaintPosted{false};
};
