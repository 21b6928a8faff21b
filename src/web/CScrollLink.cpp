#include "web/CScrollLink.h"

#include "app/CLogger.h"

#include <chrono>

CScrollLink::CScrollLink() : m_measure([](const std::string& text) { return static_cast<int>(text.size()) * 7; }) { }

CScrollLink::~CScrollLink() { StopScrolling(); }

void CScrollLink::AddScrollText(const std::string& text, const std::string& link)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(m_lock);
    CTextFrame item;
    item.text = text;
    item.link = link;
    m_items.push_back(std::move(item));
    m_newItems = true;
}

void CScrollLink::ClearScrollText()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_items.clear();
    m_frames.clear();
    m_next = 0;
    m_newItems = false;
}

int CScrollLink::StartScrolling()
{
    ZLOG_SCOPE();
    if (m_thread.joinable()) {
        return 1;
    }
    m_stop.store(false);
    try {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
                Step();
            }
        });
    } catch (...) {
        ZLOG(LOG_ERROR, "Unable to start thread. Please contact your system administrator");
        ZLOG(LOG_ERROR, "CreateThread failed");
        return -1;
    }
    return 1;
}

void CScrollLink::StopScrolling()
{
    m_stop.store(true);
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CScrollLink::SetArea(int width)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_area = width > 0 ? width : 1;
}

void CScrollLink::SetMeasure(std::function<int(const std::string&)> measure)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (measure) {
        m_measure = std::move(measure);
    }
}

void CScrollLink::SetRepaint(std::function<void()> repaint)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_repaint = std::move(repaint);
}

void CScrollLink::SetOpener(std::function<void(const std::string&)> opener)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_opener = std::move(opener);
}

void CScrollLink::Rebuild()
{
    m_frames.clear();
    m_next = 0;
    for (CTextFrame& item : m_items) {
        item.width = m_measure(item.text);
    }
    m_newItems = false;
    BringIn();
}

void CScrollLink::BringIn()
{
    if (m_items.empty()) {
        return;
    }
    // The next item enters at the right edge once the last one is fully inside.
    int start = m_area;
    if (!m_frames.empty()) {
        const CTextFrame& last = m_frames.back();
        if (last.x + last.width + kGap > m_area) {
            return;
        }
        start = last.x + last.width + kGap;
    }
    CTextFrame frame = m_items[m_next % m_items.size()];
    frame.x = start;
    m_frames.push_back(std::move(frame));
    m_next = (m_next + 1) % m_items.size();
}

void CScrollLink::Step()
{
    if (m_mouseOver.load()) {
        return;
    }
    std::function<void()> repaint;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_newItems) {
            Rebuild();
        }
        for (CTextFrame& frame : m_frames) {
            --frame.x;
        }
        while (!m_frames.empty() && m_frames.front().x + m_frames.front().width < 0) {
            m_frames.erase(m_frames.begin());
        }
        BringIn();
        repaint = m_repaint;
    }
    if (repaint) {
        repaint();
    }
}

std::string CScrollLink::LinkAt(int x) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (const CTextFrame& frame : m_frames) {
        if (x >= frame.x && x < frame.x + frame.width) {
            return frame.link;
        }
    }
    return {};
}

bool CScrollLink::OnClicked(int x)
{
    ZLOG_SCOPE();
    const std::string link = LinkAt(x);
    std::function<void(const std::string&)> opener;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        opener = m_opener;
    }
    if (link.empty() || !opener) {
        return false;
    }
    opener(link);
    return true;
}

std::vector<CTextFrame> CScrollLink::Frames() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_frames;
}

std::vector<CTextFrame> CScrollLink::Items() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_items;
}
