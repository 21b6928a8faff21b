#pragma once
// One contact's chat history file shown through its stylesheet.
#include <QWidget>
#include <string>

class CWebPageView;

class CPresenceHistoryWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Chat History - ";

    explicit CPresenceHistoryWindow(QWidget* parent = nullptr);
    // Shows the file; a missing file shows "No chat history" instead.
    void ShowHistory(const std::string& contactName, const std::string& file);
    CWebPageView* View() const { return m_view; }

private:
    CWebPageView* m_view;
};
