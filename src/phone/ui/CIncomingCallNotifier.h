#pragma once
// The incoming-call pop-up: the caller, Answer and Reject. Each button closes the pop-up first;
// when the stay ends it slides out without touching the call.
#include <QLabel>
#include <functional>

#include "phone/ui/CSlidePopup.h"

class CMXSkinButton;

class CIncomingCallNotifier : public CSlidePopup {
    Q_OBJECT
public:
    explicit CIncomingCallNotifier(QWidget* parent = nullptr);
    void ShowCaller(const QString& caller);
    void SetActions(std::function<void()> answer, std::function<void()> reject);
    QString Caller() const { return m_caller->text(); }

private:
    QLabel* m_caller;
    CMXSkinButton* m_answer;
    CMXSkinButton* m_reject;
    std::function<void()> m_onAnswer;
    std::function<void()> m_onReject;
};
