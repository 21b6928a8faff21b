#include "cli/CCliView.h"

#include "cli/CCliProtocol.h"

void CCliView::WriteLine(const std::string& line)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void CCliView::MessageBox(const std::string& text, CzeloraTALKView::Icon)
{
    WriteLine(CCliProtocol::MessageLine(text));
}

void CCliView::ShowRecoveryStatus(const std::string& text)
{
    if (!text.empty())
        WriteLine(CCliProtocol::MessageLine(text));
}

bool CCliView::AskYesNo(const std::string& text)
{
    // The console's quit stands for answering Yes.
    WriteLine(CCliProtocol::MessageLine(text));
    return true;
}

void CCliView::PaintDisplay(const CMXDisplayScreen::Lines& lines, bool) { WriteLine(CCliProtocol::DisplayLine(lines)); }

void CCliView::ShowAccountTexts(const std::string& balance, const std::string& smsBalance)
{
    std::string shown = "Balance: " + balance + " SMS balance: " + smsBalance;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (shown == m_accountShown)
            return;
        m_accountShown = shown;
    }
    // Cleared labels are not worth a line; a changed balance is.
    if (!balance.empty() || !smsBalance.empty())
        WriteLine(CCliProtocol::MessageLine(shown));
}

void CCliView::ShowVoipNumber(const std::string& voipNumber, const std::string& userId)
{
    std::string shown = "VoIP number: " + voipNumber + " User ID: " + userId;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (shown == m_voipShown)
            return;
        m_voipShown = shown;
    }
    WriteLine(CCliProtocol::MessageLine(shown));
}

void CCliView::ShowSmsNotice(const std::string& text) { WriteLine(CCliProtocol::MessageLine(text)); }

void CCliView::OpenLink(const std::string& url) { WriteLine(CCliProtocol::MessageLine("Open " + url)); }
