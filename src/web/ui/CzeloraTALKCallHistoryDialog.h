#pragma once
// The call history: the operator portal's missed-calls page (the program keeps none itself).
#include "web/ui/CPortalWindow.h"

class CzeloraTALKCallHistoryDialog : public CPortalWindow {
public:
    explicit CzeloraTALKCallHistoryDialog(CPortalPage::Source source, QWidget* parent = nullptr)
        : CPortalWindow(CPortalPage::kCallHistory, std::move(source), parent)
    {
    }
};
