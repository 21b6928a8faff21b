#pragma once
// The operator portal's SMS inbox, opened on message 0x414.
#include "web/ui/CPortalWindow.h"

class CWebSMSDlg : public CPortalWindow {
public:
    explicit CWebSMSDlg(CPortalPage::Source source, QWidget* parent = nullptr)
        : CPortalWindow(CPortalPage::kSms, std::move(source), parent)
    {
    }
};
