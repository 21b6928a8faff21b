#pragma once
// The ring-tone selection window.
#include <functional>
#include <optional>
#include <string>

#include "phone/CzeloraTALKView.h"

class CSettings;

class CRingtoneView {
public:
    virtual ~CRingtoneView() = default;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void ShowPath(const std::string& path) = 0;
    virtual void MessageBox(const std::string& text, CzeloraTALKView::Icon icon) = 0;
    virtual std::optional<std::string> ChooseWavFile() = 0;
    virtual void Close() = 0;
};

class CRingtoneDialog {
public:
    static constexpr const char* kTitle = "zeloraTALK RingTone Selection";

    // `driveOf` names the storage a path lives on (mount point); empty: from the mount table.
    CRingtoneDialog(CRingtoneView& view, CSettings& settings, std::string programFolder,
                    std::function<std::string(const std::string&)> driveOf = {});

    void OnInitDialog();
    void OnBrowse();
    // true when stored and closed.
    bool OnOK();
    void SetPath(const std::string& path) { m_path = path; }
    const std::string& Path() const { return m_path; }

    // The mount point holding `path` (longest mount-table prefix).
    static std::string MountPointOf(const std::string& path);

private:
    CRingtoneView& m_view;
    CSettings& m_settings;
    std::string m_programFolder;
    std::function<std::string(const std::string&)> m_driveOf;
    std::string m_path;
};
