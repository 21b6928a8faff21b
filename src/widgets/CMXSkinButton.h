#pragma once
// A push button, check box or radio button drawn from skin pictures (normal, pressed, hover;
// the disabled face is the normal one) and shaped by a mask picture: clicks outside the mask's
// dark pixels reach whatever lies behind the button.
#include <QAbstractButton>
#include <QPixmap>
#include <QRegion>
#include <QString>

class CMXSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Kind { KIND_PUSH = 0, KIND_CHECK = 2, KIND_RADIO = 4 };

    explicit CMXSkinButton(QWidget* parent = nullptr, Kind kind = KIND_PUSH);

    // Faces and shape by skin picture name ("" = none). The button takes the mask's size unless
    // stretched; `size` empty: the mask's (else the normal face's) natural size.
    void SetSkin(const QString& normal, const QString& pressed, const QString& hover, const QString& mask,
                 QSize size = {});
    // Stretched faces follow the button's size; the mask is re-cut at each resize.
    void SetStretch(bool stretch);
    // The tooltip, which is also the accessible description (and the name of a captionless button).
    void SetTip(const QString& tip);
    void SetTextColor(const QColor& color);
    // The caption, which is also the accessible name unless SetName fixed one.
    void SetCaption(const QString& caption);
    // A fixed accessible name, kept whatever the caption and tooltip.
    void SetName(const QString& name);

    Kind ButtonKind() const { return m_kind; }
    bool IsMouseOver() const { return m_mouseOver; }
    const QRegion& Region() const { return m_region; }

    QSize sizeHint() const override;

protected:
    bool hitButton(const QPoint& pos) const override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void RenderFaces();
    void UpdateAccessibleName();

    Kind m_kind;
    QString m_normalName, m_pressedName, m_hoverName, m_maskName;
    QPixmap m_normal, m_pressed, m_hover;
    QRegion m_region;
    QSize m_skinSize;
    bool m_stretch = false;
    bool m_mouseOver = false;
    QString m_fixedName;
    QColor m_textColor = Qt::white;
    qreal m_dpr = 0;
};
