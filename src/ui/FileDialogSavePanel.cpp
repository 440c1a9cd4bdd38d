#include "ui/FileDialogSavePanel.h"

#include <QCoroSignal>
#include <QFileDialog>

namespace pelorin {

QCoro::Task<std::optional<QString>> FileDialogSavePanel::chooseSaveLocation(QString suggestedFileName,
                                                                            QStringList allowedTypes)
{
    QPointer<QFileDialog> dialog = new QFileDialog(m_parent, QStringLiteral("Save As"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setMimeTypeFilters(allowedTypes);
    dialog->setDirectory(QFileInfo(FileExportService::defaultSaveURL()).path());
    dialog->selectFile(suggestedFileName);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog->open();
    const int result = co_await qCoro(dialog.data(), &QDialog::finished);
    if (!dialog)
        co_return std::nullopt;
    dialog->deleteLater();
    if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        co_return std::nullopt;
    co_return FileExportService::withSuffixFor(dialog->selectedFiles().first(), dialog->selectedMimeTypeFilter(),
                                               allowedTypes);
}

} // namespace pelorin
