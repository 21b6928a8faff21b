#pragma once
// The ring-tone selection window.
#include <QDialog>
#include <QLabel>
#include <memory>

#include "phone/CRingtoneDialog.h"

class CRingtoneWindow : public QDialog, public CRingtoneView {
    Q_OBJECT
public:
    CRingtoneWindow(CSettings& settings, const std::string& programFolder, QWidget* parent = nullptr);
    ~CRingtoneWindow() override;

    // CRingtoneView
    void SetTitle(const std::string& title) override;
    void ShowPath(const std::string& path) override;
    void MessageBox(const std::string& text, CzeloraTALKView::Icon icon) override;
    std::optional<std::string> ChooseWavFile() override;
    void Close() override;

    CRingtoneDialog& Controller() { return *m_controller; }

private:
    std::unique_ptr<CRingtoneDialog> m_controller;
    QLabel* m_path;
};
