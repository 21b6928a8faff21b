#pragma once
// The connection settings window: how the phone reaches the network (one choice of a list),
// the HTTP proxy, the ring tone.
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <memory>
#include <vector>

#include "phone/CProxySettingsDlg.h"

class CProxySettingsWindow : public QDialog, public CProxySettingsView {
    Q_OBJECT
public:
    // The connection choices, in the order shown. A further choice is one more entry here and
    // one more case where the choice reaches the controller (ApplyChoice).
    enum Connection { CONNECTION_DIRECT = 0, CONNECTION_TUNNEL = 1, CONNECTION_AUTOMATIC = 2 };
    struct Choice {
        Connection connection;
        const char* caption;
        const char* description; // tooltip and accessible description
    };
    static const std::vector<Choice>& Choices();

    CProxySettingsWindow(CSettings& settings, QWidget* parent = nullptr);
    ~CProxySettingsWindow() override;

    // CProxySettingsView
    void SetFields(bool useTunnel, bool useProxy, const std::string& address, const std::string& port) override;
    void SetEnabled(bool useProxyEnabled, bool addressAndPortEnabled) override;
    void SetAutomatic(bool automatic) override;
    void SetRingToneLabel(const std::string& path) override;
    void MessageBox(const std::string& text, CzeloraTALKView::Icon icon) override;
    std::optional<std::string> ChooseWavFile() override;
    void Close() override;

    CProxySettingsDlg& Controller() { return *m_controller; }
    QAbstractButton* ChoiceButton(Connection connection) const;
    QCheckBox* UseProxyBox() const { return m_useProxy; }
    QLineEdit* AddressField() const { return m_address; }
    QLineEdit* PortField() const { return m_port; }
    // OK as the button does it.
    void Accept();

private:
    void ApplyChoice(Connection connection);
    Connection CurrentChoice() const;

    std::unique_ptr<CProxySettingsDlg> m_controller;
    QButtonGroup m_choices;
    QCheckBox* m_useProxy;
    QLineEdit* m_address;
    QLineEdit* m_port;
    QLabel* m_ringTone;
};
