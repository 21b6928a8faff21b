#pragma once
// The connection settings window: tunnel, HTTP proxy and ring tone.
#include <functional>
#include <optional>
#include <string>

#include "phone/CzeloraTALKView.h"

class CSettings;

class CProxySettingsView {
public:
    virtual ~CProxySettingsView() = default;
    virtual void SetFields(bool useTunnel, bool useProxy, const std::string& address, const std::string& port) = 0;
    virtual void SetEnabled(bool useProxyEnabled, bool addressAndPortEnabled) = 0;
    // The automatic choice: SIP over UDP first, then the tunnel (the tunnel choice is moot).
    virtual void SetAutomatic(bool automatic) = 0;
    virtual void SetRingToneLabel(const std::string& path) = 0;
    virtual void MessageBox(const std::string& text, CzeloraTALKView::Icon icon) = 0;
    // An open-file dialog for wav files; nothing when cancelled.
    virtual std::optional<std::string> ChooseWavFile() = 0;
    virtual void Close() = 0;
};

class CProxySettingsDlg {
public:
    static constexpr const char* kWavFilter = "Wav Files (*.wav)|*.wav||";

    // `systemProxyList` yields the system's proxy list ("https=host:port http=host:port" or
    // "host:port"); nothing when the query fails. Empty function: from the environment.
    CProxySettingsDlg(CProxySettingsView& view, CSettings& settings,
                      std::function<std::optional<std::string>()> systemProxyList = {});

    int OnInitDialog();
    void OnUseTunnelToggled(bool checked);
    void OnAutomaticToggled(bool checked);
    void OnUseProxyToggled(bool checked);
    void OnBrowseRingTone();
    // OK with the fields as the user left them; true when stored and closed.
    bool OnOK(bool useTunnel, bool useProxy, const std::string& address, const std::string& port);
    // The same with the connection setting as stored (CConnectionChooser::Mode).
    bool OnOKMode(int mode, bool useProxy, const std::string& address, const std::string& port);

    // Address and port from a proxy list, by the rule of the system setting.
    static bool ParseProxyList(const std::string& list, std::string& address, std::string& port);
    // The proxy list the environment describes (https_proxy, http_proxy).
    static std::optional<std::string> EnvironmentProxyList();

    bool UseTunnel() const { return m_useTunnel; }
    bool Automatic() const { return m_automatic; }
    bool UseProxy() const { return m_useProxy; }
    const std::string& Address() const { return m_address; }
    const std::string& Port() const { return m_port; }

private:
    void ApplyEnabling();

    CProxySettingsView& m_view;
    CSettings& m_settings;
    std::function<std::optional<std::string>()> m_systemProxyList;
    bool m_useTunnel = false;
    bool m_automatic = false;
    bool m_useProxy = false;
    std::string m_address;
    std::string m_port;
};
