#pragma once
// The presence preferences: every value of the presence settings file shown and edited.
#include <QDialog>
#include <vector>

#include "presence/CPresenceSettings.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;

class CPresencePreferencesDialog : public QDialog {
    Q_OBJECT
public:
    explicit CPresencePreferencesDialog(const PresencePreferences& values, QWidget* parent = nullptr);
    // The values as the user left them (the keys not shown here as they came in).
    PresencePreferences Values() const;

private:
    struct Check {
        QCheckBox* box;
        int PresencePreferences::*field;
    };
    struct Text {
        QLineEdit* edit;
        std::string PresencePreferences::*field;
    };
    struct Number {
        QSpinBox* box;
        int PresencePreferences::*field;
    };
    PresencePreferences m_values;
    std::vector<Check> m_checks;
    std::vector<Text> m_texts;
    std::vector<Number> m_numbers;
};
