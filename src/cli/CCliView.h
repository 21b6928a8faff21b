#pragma once
// The phone's windows as text lines on one output stream.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "phone/CProxySettingsDlg.h"
#include "phone/CzeloraTALKView.h"
#include "phone/MXLoginDlg.h"

class CCliView : public CzeloraTALKView, public CLoginView, public CProxySettingsView {
public:
    explicit CCliView(FILE* out) : m_out(out) { }

    // One line, written and flushed at once; safe from any thread.
    void WriteLine(const std::string& line);

    // Main window.
    void MessageBox(const std::string& text, CzeloraTALKView::Icon icon) override;
    bool AskYesNo(const std::string& text) override;
    void SwitchPanel(int panel) override { m_panel = panel; }
    void RefreshControls(bool, const std::string&) override { }
    void ShowSignedInButtons() override { }
    void PaintDisplay(const CMXDisplayScreen::Lines& lines, bool painted) override;
    void SetSliders(int, int) override { }
    void ShowAccountTexts(const std::string& balance, const std::string& smsBalance) override;
    void OpenNotifier(const std::string&) override { }
    void CloseNotifier() override { }
    void ActivateWindow() override { }
    void FlashWindow() override { }
    void ShowCounter(int) override { }
    void SetTitle(const std::string&) override { }
    void CloseWindow() override { m_closed = true; }
    void ShowVoipNumber(const std::string& voipNumber, const std::string& userId) override;
    void ShowSmsNotice(const std::string& text) override;
    void OpenLink(const std::string& url) override;
    void ShowRecoveryStatus(const std::string& text) override;

    // Login panel.
    void SetFields(const std::string&, const std::string&, bool, bool, bool) override { }
    void FocusUserId() override { }
    void FocusPassword() override { }
    void OpenUrl(const std::string&) override { }
    void RunConnectionSettings() override { }

    // Connection settings.
    void SetFields(bool, bool, const std::string&, const std::string&) override { }
    void SetEnabled(bool, bool) override { }
    void SetAutomatic(bool) override { }
    void SetRingToneLabel(const std::string&) override { }
    std::optional<std::string> ChooseWavFile() override { return std::nullopt; }
    void Close() override { }

    bool IsClosed() const { return m_closed.load(); }
    int Panel() const { return m_panel.load(); }

private:
    FILE* m_out;
    std::mutex m_mutex;
    std::atomic<bool> m_closed{false};
    std::atomic<int> m_panel{0};
    // The labels as last printed: a refresh that changes nothing prints nothing.
    std::string m_accountShown;
    std::string m_voipShown;
};
