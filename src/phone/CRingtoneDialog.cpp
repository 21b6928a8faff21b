#include "phone/CRingtoneDialog.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/CLogger.h"
#include "app/CSettings.h"

CRingtoneDialog::CRingtoneDialog(CRingtoneView& view, CSettings& settings, std::string programFolder,
                                 std::function<std::string(const std::string&)> driveOf)
    : m_view(view), m_settings(settings), m_programFolder(std::move(programFolder)), m_driveOf(std::move(driveOf))
{
    if (!m_driveOf)
        m_driveOf = &CRingtoneDialog::MountPointOf;
}

void CRingtoneDialog::OnInitDialog()
{
    ZLOG_SCOPE();
    m_view.SetTitle(kTitle);
    m_settings.ReadRingTone(m_path);
    m_view.ShowPath(m_path);
}

void CRingtoneDialog::OnBrowse()
{
    ZLOG_SCOPE();
    std::optional<std::string> path = m_view.ChooseWavFile();
    if (!path.has_value() || path->empty())
        return;
    m_path = path->substr(0, 254);
    m_view.ShowPath(m_path);
}

bool CRingtoneDialog::OnOK()
{
    ZLOG_SCOPE();
    if (CSettings::FromFile()) {
        auto fold = [](std::string s) {
            std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
            return s;
        };
        if (m_path.empty() || fold(m_driveOf(m_path)) != fold(m_driveOf(m_programFolder))) {
            m_view.MessageBox("Please! Select the ring to from you device", CzeloraTALKView::ICON_ERROR);
            return false;
        }
    }
    if (m_settings.WriteRingTone(m_path) < 0)
        ZLOG(LOG_ERROR, "Unable to store ring tone");
    m_view.Close();
    return true;
}

std::string CRingtoneDialog::MountPointOf(const std::string& path)
{
    char resolved[PATH_MAX];
    std::string full = realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
    std::ifstream mounts("/proc/self/mounts");
    std::string line, best = "/";
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint;
        if (!(fields >> device >> mountPoint))
            continue;
        bool under = full == mountPoint ||
            (full.compare(0, mountPoint.size(), mountPoint) == 0 &&
             (mountPoint == "/" || full[mountPoint.size()] == '/'));
        if (under && mountPoint.size() > best.size())
            best = mountPoint;
    }
    return best;
}
