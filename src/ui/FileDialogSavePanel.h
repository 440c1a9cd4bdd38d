#pragma once

#include "editor/FileExportService.h"

#include <QPointer>
#include <QWidget>

namespace pelorin {

// The save panel as a file dialog over the editor window.
class FileDialogSavePanel : public SavePanel {
public:
    explicit FileDialogSavePanel(QWidget* parent)
        : m_parent(parent)
    {
    }
    QCoro::Task<std::optional<QString>> chooseSaveLocation(QString suggestedFileName, QStringList allowedTypes) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace pelorin
