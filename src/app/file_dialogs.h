// The file-save dialog of the calibration backup and of the table export, behind a seam: the
// program shows the real dialog, tests answer it. Titles and filters arrive as the window
// definition writes them ("Name|*.ext|Name|*.ext"); the chosen filter entry is part of the
// answer, since the export takes its format from it.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

class QWidget;

namespace vorkel {

// Title and filter of a file dialog, as the window definition has them and translation
// replaces them.
struct FileDialogTexts {
    QString title;
    QString filter;
};

struct SaveFileDialog {
    QString title;
    QString filter;       // "Name|*.ext|..."
    QString proposedName; // the file name filled in, may be empty
    bool askBeforeReplacing = false;
    // The chosen name is used as it stands, also where the system's own dialog would append
    // the filter's extension (Windows does, for the first filter that has one).
    bool nameAsTyped = false;
};

struct ChosenFile {
    std::filesystem::path path;
    int filterPosition = 1; // the chosen filter entry, from 1
};

// Nothing when the user cancelled.
using SaveFileChooser = std::function<std::optional<ChosenFile>(const SaveFileDialog&)>;

// "Binary files|*.bin|All|*.*" -> {"Binary files (*.bin)", "All (*)"}; a bare pattern is one
// entry of its own. "*.*" means every file there, while to Qt it means names with a dot.
QStringList qtNameFilters(const QString& filter);

// The real dialog, opened in the working folder.
std::optional<ChosenFile> runSaveFileDialog(QWidget* parent, const SaveFileDialog& dialog);

} // namespace vorkel
