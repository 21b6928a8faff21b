#include "phone/ui/MessageBoxes.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>

#include "app/CLogger.h"

namespace messageboxes {

namespace {

QPointer<QMessageBox> g_open;
int g_waiting = 0;

QMessageBox::Icon ToQt(CzeloraTALKView::Icon icon)
{
    switch (icon) {
    case CzeloraTALKView::ICON_ERROR:
        return QMessageBox::Critical;
    case CzeloraTALKView::ICON_QUESTION:
        return QMessageBox::Question;
    case CzeloraTALKView::ICON_INFORMATION:
        break;
    }
    return QMessageBox::Information;
}

// Runs the box once no other is open; returns the button pressed.
int RunOneAtATime(QMessageBox& box)
{
    while (!g_open.isNull()) {
        ++g_waiting;
        QEventLoop wait;
        QObject::connect(g_open.data(), &QMessageBox::finished, &wait, &QEventLoop::quit);
        QObject::connect(g_open.data(), &QObject::destroyed, &wait, &QEventLoop::quit);
        wait.exec();
        --g_waiting;
    }
    g_open = &box;
    // Closed is free for the next box at once, even while this exec() has still to unwind
    // below the one that waited.
    QObject::connect(&box, &QMessageBox::finished, &box, []() { g_open = nullptr; });
    return box.exec();
}

} // namespace

void Show(QWidget* parent, const std::string& text, CzeloraTALKView::Icon icon)
{
    ZLOG_SCOPE();
    QMessageBox box(ToQt(icon), "zeloraTALK", QString::fromStdString(text), QMessageBox::Ok, parent);
    RunOneAtATime(box);
}

bool AskYesNo(QWidget* parent, const std::string& text)
{
    ZLOG_SCOPE();
    QMessageBox box(QMessageBox::Question, "zeloraTALK", QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return RunOneAtATime(box) == QMessageBox::Yes;
}

int Open() { return g_open.isNull() ? 0 : 1; }

int Waiting() { return g_waiting; }

} // namespace messageboxes
