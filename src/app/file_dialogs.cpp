#include "app/file_dialogs.h"

#include "app/path_text.h"

#include <QFileDialog>

namespace vorkel {
namespace {

QString qtPattern(const QString& pattern) {
    return pattern.trimmed() == QStringLiteral("*.*") ? QStringLiteral("*") : pattern.trimmed();
}

} // namespace

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    if (parts.size() < 2) {
        return {qtPattern(filter)};
    }
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), qtPattern(parts[i + 1]));
    }
    return filters;
}

std::optional<ChosenFile> runSaveFileDialog(QWidget* parent, const SaveFileDialog& request) {
    QFileDialog dialog(parent, request.title, QStringLiteral("."));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.askBeforeReplacing);
    // Qt's own dialog adds no suffix when it has no default suffix; the system's may.
    dialog.setDefaultSuffix(QString());
    dialog.setOption(QFileDialog::DontUseNativeDialog, request.nameAsTyped);
    const QStringList filters = qtNameFilters(request.filter);
    dialog.setNameFilters(filters);
    if (!request.proposedName.isEmpty()) {
        dialog.selectFile(request.proposedName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const auto entry = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    return ChosenFile{pathFromText(dialog.selectedFiles().front()), entry < 0 ? 1 : entry + 1};
}

} // namespace vorkel
