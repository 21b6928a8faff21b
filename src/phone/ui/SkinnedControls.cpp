#include "phone/ui/SkinnedControls.h"

#include "widgets/CMXSkinButton.h"
#include "widgets/CSkin.h"

namespace skinned {

namespace {

QString IndicatorStyle(const char* control)
{
    return QString("%1 { color: white; } %1::indicator { width: 16px; height: 16px; image: url(%2); }"
                   " %1::indicator:checked { image: url(%3); }")
        .arg(control, CSkin::PathOf("check"), CSkin::PathOf("check_checked"));
}

} // namespace

QCheckBox* CheckBox(const QString& caption, QWidget* parent)
{
    auto* box = new QCheckBox(caption, parent);
    box->setStyleSheet(IndicatorStyle("QCheckBox"));
    box->setAccessibleName(caption);
    box->setCursor(Qt::PointingHandCursor);
    return box;
}

QRadioButton* RadioButton(const QString& caption, QWidget* parent)
{
    auto* button = new QRadioButton(caption, parent);
    button->setStyleSheet(IndicatorStyle("QRadioButton"));
    button->setAccessibleName(caption);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QPushButton* Link(const QString& caption, QWidget* parent)
{
    auto* link = new QPushButton(caption, parent);
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setStyleSheet("QPushButton { color: #8fc6e6; text-decoration: underline; border: none; }");
    link->setAccessibleName(caption);
    return link;
}

QLineEdit* Edit(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    edit->setPlaceholderText(name);
    edit->setMaxLength(255);
    return edit;
}

CMXSkinButton* Button(const QString& caption, const QString& tip, QWidget* parent)
{
    auto* button = new CMXSkinButton(parent);
    button->SetSkin("button", "button_pressed", "button_hover", "button_mask");
    button->SetCaption(caption);
    button->SetTip(tip);
    return button;
}

QString WindowStyle()
{
    return "QWidget { color: white; } QLineEdit { background: #1b232b; border: 1px solid #5d6f80;"
           " border-radius: 4px; padding: 3px; color: white; }";
}

} // namespace skinned
