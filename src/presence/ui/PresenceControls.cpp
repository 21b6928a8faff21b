#include "presence/ui/PresenceControls.h"

#include <QLabel>
#include <QPushButton>

QPushButton* PresenceButton(const QString& caption, const QString& tip, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setAccessibleName(caption);
    b->setToolTip(tip);
    b->setAccessibleDescription(tip);
    return b;
}

QLabel* PresenceStatusLine(const QString& description, QWidget* parent)
{
    auto* line = new QLabel(parent);
    line->setAccessibleDescription(description);
    line->setWordWrap(true);
    return line;
}

void ShowStatusLine(QLabel* line, const QString& text)
{
    line->setText(text);
    line->setAccessibleName(text);
}
