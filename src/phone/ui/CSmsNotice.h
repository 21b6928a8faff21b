#pragma once
// The slide-in notice of new SMS (and the program's own pop-up for notices where the desktop
// has no tray).
#include <QLabel>

#include "phone/ui/CSlidePopup.h"

class CSmsNotice : public CSlidePopup {
    Q_OBJECT
public:
    explicit CSmsNotice(QWidget* parent = nullptr);
    void ShowText(const QString& text);
    QString Text() const { return m_text->text(); }

private:
    QLabel* m_text;
};
