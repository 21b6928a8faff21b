#include "phone/CProxySettingsDlg.h"

#include <cstdio>
#include <cstdlib>

#include "app/CLogger.h"
#include "app/CSettings.h"
#include "phone/CConnectionChooser.h"
#include "phone/PhoneText.h"

namespace {

using phonetext::Trim;

// "http://user:pw@host:3128/" -> "host:3128"
std::string HostPortOfUrl(std::string url)
{
    std::size_t scheme = url.find("://");
    if (scheme != std::string::npos)
        url = url.substr(scheme + 3);
    std::size_t at = url.rfind('@');
    if (at != std::string::npos)
        url = url.substr(at + 1);
    std::size_t slash = url.find('/');
    if (slash != std::string::npos)
        url = url.substr(0, slash);
    return url;
}

// A port the settings can hold: 1 to 65535, digits only.
bool ValidPort(const std::string& port)
{
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int value = std::atoi(port.c_str());
    return value >= 1 && value <= 65535;
}

} // namespace

CProxySettingsDlg::CProxySettingsDlg(CProxySettingsView& view, CSettings& settings,
                                     std::function<std::optional<std::string>()> systemProxyList)
    : m_view(view), m_settings(settings), m_systemProxyList(std::move(systemProxyList))
{
    if (!m_systemProxyList)
        m_systemProxyList = &CProxySettingsDlg::EnvironmentProxyList;
}

// The automatic choice may end on the tunnel through the proxy: its fields stay open.
void CProxySettingsDlg::ApplyEnabling()
{
    bool tunnelPossible = m_useTunnel || m_automatic;
    m_view.SetEnabled(tunnelPossible, tunnelPossible && m_useProxy);
}

int CProxySettingsDlg::OnInitDialog()
{
    ZLOG_SCOPE();
    CSettingsHttpProxy proxy;
    if (m_settings.ReadHttpProxy(proxy) < 0) {
        ZLOG(LOG_ERROR, "Init GUI failed");
        return -1;
    }
    m_useTunnel = proxy.httpUseTunnel == CConnectionChooser::MODE_TUNNEL;
    m_automatic = proxy.httpUseTunnel == CConnectionChooser::MODE_AUTO;
    m_useProxy = proxy.httpUseProxy == 1;
    m_address = proxy.httpProxyIp;
    char port[16];
    std::snprintf(port, sizeof port, "%d", proxy.httpProxyPort);
    m_port = port;
    m_view.SetFields(m_useTunnel, m_useProxy, m_address, m_port);
    m_view.SetAutomatic(m_automatic);
    ApplyEnabling();
    std::string ringTone;
    m_settings.ReadRingTone(ringTone);
    m_view.SetRingToneLabel(ringTone);
    return 0;
}

void CProxySettingsDlg::OnUseTunnelToggled(bool checked)
{
    ZLOG_SCOPE();
    m_useTunnel = checked;
    ApplyEnabling();
}

void CProxySettingsDlg::OnAutomaticToggled(bool checked)
{
    ZLOG_SCOPE();
    m_automatic = checked;
    m_view.SetAutomatic(checked);
    ApplyEnabling();
}

void CProxySettingsDlg::OnUseProxyToggled(bool checked)
{
    ZLOG_SCOPE();
    m_useProxy = checked;
    if (checked) {
        m_address.clear();
        m_port.clear();
        std::optional<std::string> list = m_systemProxyList();
        if (!list.has_value()) {
            std::printf("InternetQueryOption failed! (%d)\n", 0);
            std::fflush(stdout);
        } else {
            ParseProxyList(*list, m_address, m_port);
        }
        m_view.SetFields(m_useTunnel, m_useProxy, m_address, m_port);
    }
    ApplyEnabling();
}

bool CProxySettingsDlg::ParseProxyList(const std::string& list, std::string& address, std::string& port)
{
    address.clear();
    port.clear();
    std::string entry = Trim(list);
    std::size_t https = entry.find("https=");
    if (https != std::string::npos && (https == 0 || entry[https - 1] == ' ')) {
        entry = entry.substr(https);
        std::size_t blank = entry.find(' ');
        if (blank != std::string::npos)
            entry = entry.substr(0, blank);
    } else {
        std::size_t blank = entry.find(' ');
        if (blank != std::string::npos)
            entry = entry.substr(0, blank);
    }
    // The scheme ("https=", "http=") is not part of the address.
    std::size_t equals = entry.find('=');
    if (equals != std::string::npos)
        entry = entry.substr(equals + 1);
    std::size_t colon = entry.find(':');
    address = Trim(entry.substr(0, colon));
    if (colon != std::string::npos) {
        std::string rest = entry.substr(colon + 1);
        std::size_t next = rest.find_first_of(":=");
        port = Trim(rest.substr(0, next));
    }
    return !address.empty();
}

std::optional<std::string> CProxySettingsDlg::EnvironmentProxyList()
{
    std::string list;
    for (const char* name : {"https_proxy", "HTTPS_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            list = "https=" + HostPortOfUrl(value);
            break;
        }
    }
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            list += (list.empty() ? "http=" : " http=") + HostPortOfUrl(value);
            break;
        }
    }
    if (list.empty())
        return std::nullopt;
    return list;
}

void CProxySettingsDlg::OnBrowseRingTone()
{
    ZLOG_SCOPE();
    std::optional<std::string> path = m_view.ChooseWavFile();
    if (!path.has_value() || path->empty())
        return;
    m_settings.WriteRingTone(*path);
    m_view.SetRingToneLabel(*path);
}

bool CProxySettingsDlg::OnOK(bool useTunnel, bool useProxy, const std::string& address, const std::string& port)
{
    ZLOG_SCOPE();
    int mode = m_automatic ? CConnectionChooser::MODE_AUTO
        : useTunnel        ? CConnectionChooser::MODE_TUNNEL
                           : CConnectionChooser::MODE_SIP;
    return OnOKMode(mode, useProxy, address, port);
}

bool CProxySettingsDlg::OnOKMode(int mode, bool useProxy, const std::string& address, const std::string& port)
{
    ZLOG_SCOPE();
    if (mode < CConnectionChooser::MODE_SIP || mode > CConnectionChooser::MODE_AUTO) {
        ZLOG(LOG_ERROR, "Unknown connection setting %d", mode);
        return false;
    }
    std::string trimmedAddress = Trim(address), trimmedPort = Trim(port);
    if (useProxy) {
        if (trimmedAddress.empty()) {
            m_view.MessageBox("Enter Proxy Address", CzeloraTALKView::ICON_ERROR);
            return false;
        }
        if (!ValidPort(trimmedPort)) {
            m_view.MessageBox("Enter Proxy Port", CzeloraTALKView::ICON_ERROR);
            return false;
        }
    }
    m_useTunnel = mode == CConnectionChooser::MODE_TUNNEL;
    m_automatic = mode == CConnectionChooser::MODE_AUTO;
    m_useProxy = useProxy;
    m_address = trimmedAddress.substr(0, 254);
    m_port = trimmedPort;

    CSettingsHttpProxy proxy;
    m_settings.ReadHttpProxy(proxy); // keeps the tunnel server address
    proxy.httpProxyPort = ValidPort(trimmedPort) ? std::atoi(trimmedPort.c_str()) : 0;
    proxy.httpProxyIp = m_address;
    proxy.httpUseProxy = useProxy ? 1 : 0;
    proxy.httpUseTunnel = mode;
    if (m_settings.WriteHttpProxy(proxy) < 0)
        ZLOG(LOG_ERROR, "Unable to store proxy settings");
    m_view.MessageBox("Your settings is saved and it will take effect after you restart your zelora",
                      CzeloraTALKView::ICON_INFORMATION);
    m_view.Close();
    return true;
}
