#pragma once
// The advertisement ticker's logic: an item queue filled from any thread, frames that move
// one pixel left per 30 ms step, and link look-up for clicks. Drawing belongs to the window
// layer, which sets the measure and repaint functions.
#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct CTextFrame {
    std::string text;
    std::string link;
    int x = 0;
    int width = 0;
};

class CScrollLink {
public:
    static constexpr int kStepMs = 30;
    static constexpr int kGap = 40;
    static constexpr const char* kFont = "Verdana";

    CScrollLink();
    ~CScrollLink();
    CScrollLink(const CScrollLink&) = delete;
    CScrollLink& operator=(const CScrollLink&) = delete;

    // Queues one item; the frames are rebuilt on the next step.
    void AddScrollText(const std::string& text, const std::string& link);
    // Drops every item and frame: a new advertisement list replaces the old one.
    void ClearScrollText();
    // Starts the 30 ms stepping thread (again a no-op while it runs); 1, or -1 when it cannot start.
    int StartScrolling();
    void StopScrolling();

    // One step: rebuild when items were queued, move left, drop, bring in the next.
    void Step();
    void SetArea(int width);
    void SetMeasure(std::function<int(const std::string&)> measure);
    void SetRepaint(std::function<void()> repaint);
    void SetOpener(std::function<void(const std::string&)> opener);
    void SetMouseOver(bool over) { m_mouseOver.store(over); }

    // Opens the link of the frame under x; false (nothing opened) for a frame without a link.
    bool OnClicked(int x);
    std::string LinkAt(int x) const;

    std::vector<CTextFrame> Frames() const;
    std::vector<CTextFrame> Items() const;
    bool IsScrolling() const { return m_thread.joinable(); }

private:
    void Rebuild();
    void BringIn();

    mutable std::mutex m_lock;
    std::vector<CTextFrame> m_items;
    std::vector<CTextFrame> m_frames;
    bool m_newItems = false;
    std::size_t m_next = 0;
    int m_area = 300;
    std::function<int(const std::string&)> m_measure;
    std::function<void()> m_repaint;
    std::function<void(const std::string&)> m_opener;
    std::atomic<bool> m_mouseOver{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
