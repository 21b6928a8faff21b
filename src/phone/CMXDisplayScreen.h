#pragma once
// The phone's three-line call display and its call-duration clock. Drawing itself belongs to the
// front-end; Draw() returns what would be painted so that every front-end paints the same.
#include <array>
#include <mutex>
#include <string>

class CMXDisplayScreen {
public:
    enum CallType { CALLTYPE_NONE = 0, CALLTYPE_INCOMING = 1, CALLTYPE_OUTGOING = 2 };
    struct Rect {
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    using Lines = std::array<std::string, 3>;

    CMXDisplayScreen();

    void SetUserName(const std::string& text);
    void SetDialedNumber(const std::string& text);
    void KeyDialed(const std::string& text);
    void SetCallerID(const std::string& text);
    void SetNumberType(int type);
    void SetCallType(int type);
    void DisplayCodec(const std::string& text);
    void SetSignedIn(bool signedIn);
    void Reset(const std::string& text);
    // A short status of the line's own recovery on the third line while no call is shown ("" clears).
    void SetStatusText(const std::string& text);
    void UpdateCallDuration();
    Rect GetRect() const;
    void SetRect(const Rect& rect);

    // The three lines Draw paints; false (and empty lines) while nothing is painted: signed out or
    // no call type.
    bool Draw(Lines& out);

    std::string GetUserName() const;
    std::string GetDialedNumber() const;
    std::string GetCallerID() const;
    std::string GetCodec() const;
    std::string GetDurationText() const;
    std::string GetResetText() const;
    int GetNumberType() const;
    int GetCallType() const;
    bool IsSignedIn() const;
    bool IsClockRunning() const;

    static constexpr const char* kLoginText = "Please Login";
    static constexpr const char* kStatusText = "Offline";

private:
    mutable std::mutex m_mutex;
    bool m_signedIn = false;
    std::string m_callerId;
    std::string m_dialedNumber;
    std::string m_userName;
    int m_numberType = 0;
    int m_callType = CALLTYPE_NONE;
    std::string m_codec;
    std::string m_resetText;
    std::string m_statusText;
    int m_hours = 0, m_minutes = 0, m_seconds = 0;
    std::string m_duration = "00:00:00";
    bool m_clockRunning = false;
    Rect m_rect;
    Rect m_lastPainted;
};
