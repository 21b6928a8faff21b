#include "phone/ui/WavFileDialog.h"

#include <QFileDialog>

std::optional<std::string> ChooseWavFile(QWidget* parent)
{
    QFileDialog dialog(parent, "Ring tone", QString(), "Wav Files (*.wav)");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("wav");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}
