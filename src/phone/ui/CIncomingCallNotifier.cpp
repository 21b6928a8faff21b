#include "phone/ui/CIncomingCallNotifier.h"

#include "widgets/CMXSkinButton.h"

CIncomingCallNotifier::CIncomingCallNotifier(QWidget* parent) : CSlidePopup(parent)
{
    setWindowTitle("Incoming call");
    setAccessibleName("Incoming call");
    auto* title = new QLabel("Incoming call", this);
    title->setGeometry(12, 8, width() - 24, 18);
    title->setStyleSheet("color: #8fc6e6; font-weight: bold;");
    m_caller = new QLabel(this);
    m_caller->setGeometry(12, 30, width() - 24, 22);
    m_caller->setAlignment(Qt::AlignCenter);
    m_caller->setStyleSheet("color: white; font-size: 14px; font-weight: bold;");
    m_answer = new CMXSkinButton(this);
    m_answer->SetSkin("button", "button_pressed", "button_hover", "button_mask");
    m_answer->SetCaption("Answer");
    m_answer->SetTip("Answer the call");
    m_answer->move(30, height() - m_answer->height() - 14);
    m_reject = new CMXSkinButton(this);
    m_reject->SetSkin("button", "button_pressed", "button_hover", "button_mask");
    m_reject->SetCaption("Reject");
    m_reject->SetTip("Reject the call");
    m_reject->move(width() - m_reject->width() - 30, height() - m_reject->height() - 14);
    connect(m_answer, &QAbstractButton::clicked, this, [this]() {
        Dismiss();
        if (m_onAnswer)
            m_onAnswer();
    });
    connect(m_reject, &QAbstractButton::clicked, this, [this]() {
        Dismiss();
        if (m_onReject)
            m_onReject();
    });
}

void CIncomingCallNotifier::ShowCaller(const QString& caller)
{
    m_caller->setText(m_caller->fontMetrics().elidedText(caller, Qt::ElideRight, m_caller->width()));
    m_caller->setAccessibleName(caller);
    Popup();
}

void CIncomingCallNotifier::SetActions(std::function<void()> answer, std::function<void()> reject)
{
    m_onAnswer = std::move(answer);
    m_onReject = std::move(reject);
}
