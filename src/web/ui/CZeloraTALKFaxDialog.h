#pragma once
// The operator portal's fax upload page.
#include "web/ui/CPortalWindow.h"

class CZeloraTALKFaxDialog : public CPortalWindow {
public:
    explicit CZeloraTALKFaxDialog(CPortalPage::Source source, QWidget* parent = nullptr)
        : CPortalWindow(CPortalPage::kFax, std::move(source), parent)
    {
    }
};
