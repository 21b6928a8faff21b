#pragma once
// A horizontal slider drawn from two skin pictures: the track stretched to the width and the
// thumb at the value's place.
#include <QSlider>
#include <QString>

class CSkinSlider : public QSlider {
    Q_OBJECT
public:
    CSkinSlider(const QString& track, const QString& thumb, QWidget* parent = nullptr);
    void SetTip(const QString& tip);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_track;
    QString m_thumb;
};
