#pragma once
// The open-file dialog for ring tones: wav files only, "wav" as the default extension.
#include <optional>
#include <string>

class QWidget;

std::optional<std::string> ChooseWavFile(QWidget* parent);
