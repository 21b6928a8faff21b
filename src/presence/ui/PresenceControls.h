#pragma once
// The controls every presence window builds the same way, so screen readers and the tests
// find them: buttons named by their caption with the tooltip as description, and status
// lines whose accessible name is their current text.
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

QPushButton* PresenceButton(const QString& caption, const QString& tip, QWidget* parent);
// `description` identifies the line; its name follows the text.
QLabel* PresenceStatusLine(const QString& description, QWidget* parent);
void ShowStatusLine(QLabel* line, const QString& text);
