#pragma once
// The phone's message boxes, one at a time: a box asked for while another is open waits until
// that one is closed, then shows.
#include <string>

#include "phone/CzeloraTALKView.h"

class QWidget;

namespace messageboxes {

void Show(QWidget* parent, const std::string& text, CzeloraTALKView::Icon icon);
bool AskYesNo(QWidget* parent, const std::string& text);
// How many boxes are open now (0 or 1) and waiting.
int Open();
int Waiting();

} // namespace messageboxes
