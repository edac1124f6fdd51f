// Binder of the calibration controls: the points group (tarbakGroupBox) with its two edits,
// the backup buttons (tarsaveloadGroupBox), the table grid tarEditor with its buttons and the
// installation description (dutdescriptionGroupBox); and the two file dialogs of these groups.
#pragma once

#include "app/file_dialogs.h"
#include "calibration/backup_file.h"
#include "calibration/calibration_points.h"
#include "calibration/calibration_table.h"

#include <QString>

class QWidget;
namespace Ui {
class TmainForm;
}

namespace vorkel {

class TLabeledEdit;

// SavetarDialog's texts as the window defines them; translation may replace them.
inline const QString kSavetarDialogTitle = QStringLiteral("Выберите имя файла");
inline const QString kSavetarDialogFilter = QStringLiteral("Двоичные файлы|*.bin");
// SavetableDialog shows these in every language: the positions of the filter entries are the
// export formats, and the translated filter lacks the XML entry.
inline const QString kSavetableDialogTitle = QStringLiteral("Выберите файл тарировки:");
inline const QString kSavetableDialogFilter =
    QStringLiteral("Файлы таблиц VORKEL|*.txt|Файлы таблиц FORT|*.txt|Файлы WIALON TXT|*.txt|"
                   "Файлы WIALON CSV |*.csv|Файлы ОМНИКОМ XML|*.xml");

class CalibrationPanel : public CalibrationPointsView, public CalibrationTableView {
public:
    // `chooseSaveFile` answers the file dialogs; when empty, the real dialog opens over `window`.
    CalibrationPanel(Ui::TmainForm& ui, QWidget* window, SaveFileChooser chooseSaveFile);
    void connectTo(CalibrationPoints& points, CalibrationBackup& backup, CalibrationTable& table);

    // SavetarDialog, to save and to choose the file to load alike: a save dialog that does not
    // ask before replacing, and the chosen file need not exist.
    std::optional<std::filesystem::path> chooseBackupFile(const FileDialogTexts& texts) const;
    // SavetableDialog, which asks before replacing; the filter entry chooses the format.
    std::optional<ExportChoice> chooseExportFile(const std::string& proposedName) const;

    std::string pointText(TankPoint point) const override;
    void setPointText(TankPoint point, const std::string& text) override;
    void setPointHighlighted(TankPoint point, bool highlighted) override;
    void enableCalibrateButtons(bool enabled) override;
    void enableWritePoints(bool enabled) override;

    std::vector<TableRow> rows() const override;
    int currentRow() const override;
    void setValues(int row, const std::string& text) override;
    void insertEmptyRowAtCurrent() override;
    void editLiters(int row) override;
    void enableSaveTable(bool enabled) override;
    InstallationDescription installation() const override;

private:
    TLabeledEdit* edit(TankPoint point) const;
    std::optional<ChosenFile> chooseFile(const SaveFileDialog& dialog) const;

    Ui::TmainForm& ui_;
    QWidget* window_;
    SaveFileChooser chooseSaveFile_;
};

// The system's date separator: the first character, other than a blank, between the first two
// neighbouring numeric fields (day, month, year) of its short date format ("dd.MM.yyyy" ->
// "."); "/" when there is none ("d MMM yyyy", "yyyyMMdd", "dd MM yyyy").
QString dateSeparatorOf(const QString& shortDateFormat);
std::string systemDateSeparator();
CalendarDate systemToday();

} // namespace vorkel
