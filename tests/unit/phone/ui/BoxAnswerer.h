#pragma once
// Answers every message box as it opens; records the texts and the most boxes seen at once.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <functional>

class BoxAnswerer : public QObject {
public:
    QStringList texts;
    int mostOpen = 0;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::function<void(const QString&)> onOpen; // before the box is answered
    int delayTicks = 0; // ticks a box stays open

    BoxAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::Tick);
        m_timer.start(10);
    }

private:
    void Tick()
    {
        int open = 0;
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible()) {
                ++open;
                box = b;
            }
        mostOpen = std::max(mostOpen, open);
        if (box == nullptr)
            return;
        // Boxes live on the stack and may reuse an address: a mark tells a new one.
        if (!box->property("answererSeen").toBool()) {
            box->setProperty("answererSeen", true);
            m_ticks = 0;
            texts << box->text();
            if (onOpen)
                onOpen(box->text());
        }
        if (m_ticks++ < delayTicks)
            return;
        QAbstractButton* button = box->button(answer);
        (button != nullptr ? button : box->buttons().first())->click();
    }
    QTimer m_timer;
    int m_ticks = 0;
};
