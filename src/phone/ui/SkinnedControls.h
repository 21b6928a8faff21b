#pragma once
// Small constructors for the standard controls the phone's windows use in the skin's look:
// every control gets its accessible name and, with a tip, its tooltip as description.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>

class CMXSkinButton;

namespace skinned {

// A check box or radio button with the skin's check pictures as its indicator.
QCheckBox* CheckBox(const QString& caption, QWidget* parent);
QRadioButton* RadioButton(const QString& caption, QWidget* parent);
// A text link drawn as underlined text; a push button for the accessibility tree.
QPushButton* Link(const QString& caption, QWidget* parent);
QLineEdit* Edit(const QString& name, QWidget* parent);
// A wide skinned push button with a caption.
CMXSkinButton* Button(const QString& caption, const QString& tip, QWidget* parent);
// The dark text style of the phone's windows.
QString WindowStyle();

} // namespace skinned
