#include "phone/CMXDisplayScreen.h"

#include <cstdio>

#include "app/CLogger.h"

CMXDisplayScreen::CMXDisplayScreen() { ZLOG_SCOPE(); }

void CMXDisplayScreen::SetUserName(const std::string& text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_userName = text;
}

void CMXDisplayScreen::SetDialedNumber(const std::string& text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_dialedNumber = text;
}

void CMXDisplayScreen::KeyDialed(const std::string& text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_dialedNumber = text;
}

void CMXDisplayScreen::SetCallerID(const std::string& text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_callerId = text;
}

void CMXDisplayScreen::SetNumberType(int type)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_numberType = type;
}

void CMXDisplayScreen::SetCallType(int type)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_callType = type;
}

void CMXDisplayScreen::DisplayCodec(const std::string& text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_codec = text;
}

void CMXDisplayScreen::SetSignedIn(bool signedIn)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_signedIn = signedIn;
}

void CMXDisplayScreen::Reset(const std::string& text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!text.empty())
        m_resetText = text;
    m_hours = m_minutes = m_seconds = 0;
    m_duration = "00:00:00";
    m_clockRunning = false;
}

void CMXDisplayScreen::SetStatusText(const std::string& text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_statusText = text;
}

void CMXDisplayScreen::UpdateCallDuration()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_clockRunning = true;
    if (++m_seconds >= 60) {
        m_seconds = 0;
        if (++m_minutes >= 60) {
            m_minutes = 0;
            ++m_hours;
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", m_hours, m_minutes, m_seconds);
    m_duration = text;
}

CMXDisplayScreen::Rect CMXDisplayScreen::GetRect() const
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_rect;
}

void CMXDisplayScreen::SetRect(const Rect& rect)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_rect = rect;
}

bool CMXDisplayScreen::Draw(Lines& out)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    out = Lines{};
    if (m_callType == CALLTYPE_NONE && !m_statusText.empty()) {
        out[2] = m_statusText;
        m_lastPainted = m_rect;
        return true;
    }
    if (!m_signedIn || m_callType == CALLTYPE_NONE)
        return false;
    out[0] = m_callerId;
    out[1] = m_dialedNumber;
    out[2] = m_clockRunning ? m_userName + " - " + m_duration : m_userName;
    m_lastPainted = m_rect;
    return true;
}

std::string CMXDisplayScreen::GetUserName() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_userName;
}

std::string CMXDisplayScreen::GetDialedNumber() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_dialedNumber;
}

std::string CMXDisplayScreen::GetCallerID() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_callerId;
}

std::string CMXDisplayScreen::GetCodec() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_codec;
}

std::string CMXDisplayScreen::GetDurationText() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_duration;
}

std::string CMXDisplayScreen::GetResetText() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_resetText;
}

int CMXDisplayScreen::GetNumberType() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_numberType;
}

int CMXDisplayScreen::GetCallType() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_callType;
}

bool CMXDisplayScreen::IsSignedIn() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_signedIn;
}

bool CMXDisplayScreen::IsClockRunning() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_clockRunning;
}
