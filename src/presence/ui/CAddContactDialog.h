#pragma once
// The add-contact dialog and, with the requester filled in, the subscription request: an ID,
// a name and a group chosen among the existing ones.
#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CAddContactDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { MODE_ADD, MODE_REQUEST };
    CAddContactDialog(Mode mode, const std::vector<std::string>& groups, QWidget* parent = nullptr);

    // The request's requester and text (request mode).
    void SetRequest(const std::string& jid, const std::string& text);
    std::string Id() const;
    std::string Name() const;
    std::string Group() const;
    QPushButton* AcceptButton() const { return m_accept; }
    QPushButton* RejectButton() const { return m_reject; }

private:
    QLabel* m_text = nullptr;
    QLineEdit* m_id = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_group = nullptr;
    QPushButton* m_accept = nullptr;
    QPushButton* m_reject = nullptr;
};
