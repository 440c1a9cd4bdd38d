#include "ui/FileDialogSavePanel.h"

#include <QFileDialog>

namespace pelorin {

std::optional<QString> FileDialogSavePanel::chooseSaveLocation(const QString& suggestedFileName,
                                                               const QStringList& allowedTypes)
{
    QFileDialog dialog(m_parent, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setMimeTypeFilters(allowedTypes);
    dialog.setDirectory(QFileInfo(FileExportService::defaultSaveURL()).path());
    dialog.selectFile(suggestedFileName);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

} // namespace pelorin
