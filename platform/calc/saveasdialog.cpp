#include "saveasdialog.h"

#include "officeformats.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

// The question the dialog asks itself about a name typed exactly.
bool replaceAllowed(QWidget* parent, const QString& title, const QString& path) {
    return QMessageBox::warning(parent, title,
                                QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                    .arg(QFileInfo(path).fileName()),
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

QStringList qtNameFilters(const QString& filter) {
    QStringList filters;
    const QStringList parts = filter.split(u',');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts).join(u' ');
        filters << QStringLiteral("%1 (%2)").arg(parts.at(i).trimmed(), patterns.trimmed());
    }
    return filters;
}

QString askSaveAsFilename(const QString& initialName, const QString& filter, const QString& title,
                          const QString& folder) {
    QFileDialog dialog(nullptr, title, folder);
    dialog.setObjectName(QStringLiteral("dlgSaveAs"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = qtNameFilters(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!initialName.isEmpty())
        dialog.selectFile(initialName);
    // The dialog asks about the name as typed; one that gets ".xls" is asked about here. After
    // a No the dialog shows again.
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString typed = dialog.selectedFiles().constFirst();
        const QString stored = workbookFileName(typed);
        if (stored == typed || !QFileInfo::exists(stored) || replaceAllowed(&dialog, title, stored))
            return stored;
    }
    return {};
}
