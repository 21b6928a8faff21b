#pragma once
// The PIM-sync plug-in, a separately installed program: found through the machine's App Paths
// key, started from the contacts window and ended when the phone window goes. Built fresh for
// every use; it keeps no handle to what it started.
#include <string>

namespace zelora {
class Registry;
}

class CKVOutlookPluginHandler {
public:
    static constexpr const char* kAppPathKey =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OutlookPlugin.exe\\";
    // A key's default value, named as .reg files name it (a machine file line "@=sz:/opt/...").
    static constexpr const char* kDefaultValue = "@";
    static constexpr const char* kNotInstalled = "You would need to install PIM Sync plug-in to enjoy this feature";
    static constexpr std::size_t kMaxPath = 255;

    // Reads the key's default value from `machine` (the HKLM registry when none is given).
    explicit CKVOutlookPluginHandler(const zelora::Registry* machine = nullptr);

    bool Found() const { return m_found == 1; }
    const std::string& PluginPath() const { return m_pluginPath; }
    const std::string& PluginFileName() const { return m_pluginFileName; }

    // Starts the plug-in: 1 when it started, a negative system error otherwise. Not found: 0 and
    // `notInstalled` is called with the information box's text.
    template <class Notify>
    int Start(Notify&& notInstalled) const
    {
        if (!Found()) {
            notInstalled(kNotInstalled);
            return 0;
        }
        return Launch();
    }
    // Ends the first running process of the plug-in's file name: 1 when one was ended, 0 when
    // none runs (or the plug-in is not installed), negative when it could not be ended.
    int Stop() const;

private:
    int Launch() const;

    std::string m_pluginPath;
    std::string m_pluginFileName;
    int m_found = 0;
};
