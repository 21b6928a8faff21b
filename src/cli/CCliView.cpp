#include "CCliView.h"

#include "CCliProtocol.h"

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

bool CCliView::AskYesNo(const std::string& text)
{
    // The console's quit stands for answering Yes.
    WriteLine(CCliProtocol::MessageLine(text));
    return true;
}

void CCliView::PaintDisplay(const CMXDisplayScreen::Lines& lines, bool)
{
    WriteLine(CCliProtocol::DisplayLine(lines));
}
