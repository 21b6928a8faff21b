#pragma once
// The operator portal's number-assignment page.
#include "web/ui/CPortalWindow.h"

class CGCrossWebDialog : public CPortalWindow {
public:
    explicit CGCrossWebDialog(CPortalPage::Source source, QWidget* parent = nullptr)
        : CPortalWindow(CPortalPage::kNumberAssignment, std::move(source), parent)
    {
    }
};
