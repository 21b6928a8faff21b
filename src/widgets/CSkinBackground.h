#pragma once
// A static skinned surface: one skin picture stretched to the widget, children drawn over it.
#include <QString>
#include <QWidget>

class CSkinBackground : public QWidget {
    Q_OBJECT
public:
    explicit CSkinBackground(const QString& picture, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_picture;
    QPixmap m_face;
};
