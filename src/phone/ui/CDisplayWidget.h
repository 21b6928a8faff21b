#pragma once
// The call display: three centred lines on the display picture, the first two in bold blue, the
// third (state and call duration) in white; a line too long for its box ends in an ellipsis.
// Each line is a label of its own so that screen readers read the full text.
#include <QLabel>
#include <array>

#include "phone/CMXDisplayScreen.h"
#include "widgets/CSkinBackground.h"

class CDisplayWidget : public CSkinBackground {
    Q_OBJECT
public:
    // Line boxes: from 20 px right of the left edge to the right edge; 0-15, 15-30, 30-47 down.
    static constexpr int kTextLeft = 20;
    static constexpr int kLineTop[3] = {0, 15, 30};
    static constexpr int kLineBottom[3] = {15, 30, 47};
    static constexpr QRgb kNumberColour = 0x3399CC;

    explicit CDisplayWidget(QWidget* parent = nullptr);

    // What PaintDisplay hands over; `painted` false clears the lines.
    void SetLines(const CMXDisplayScreen::Lines& lines, bool painted);
    QString LineText(int line) const { return m_text[line]; }
    // The text each label shows (elided to its box).
    QString ShownText(int line) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Layout();

    std::array<QLabel*, 3> m_labels{};
    std::array<QString, 3> m_text;
};
