#include "app/calibration_panel.h"

#include "ui_TmainForm.h"

#include <QApplication>
#include <QDate>
#include <QLocale>

namespace vorkel {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CalibrationPanel::CalibrationPanel(Ui::TmainForm& ui, QWidget* window,
                                   SaveFileChooser chooseSaveFile)
    : ui_(ui)
    , window_(window)
    , chooseSaveFile_(std::move(chooseSaveFile)) {}

void CalibrationPanel::connectTo(CalibrationPoints& points, CalibrationBackup& backup,
                                 CalibrationTable& table) {
    const auto onClick = [](QPushButton* button, auto handler) {
        QObject::connect(button, &QPushButton::clicked, button, handler);
    };
    onClick(ui_.tar0Button, [&points] { points.tar0ButtonClick(); });
    onClick(ui_.tarmaxButton, [&points] { points.tarmaxButtonClick(); });
    onClick(ui_.readtar2Button, [&points] { points.readtar2ButtonClick(); });
    onClick(ui_.writetar2Button, [&points] { points.writetar2ButtonClick(); });
    onClick(ui_.readtarButton, [&backup] { backup.readtarButtonClick(); });
    onClick(ui_.writetarButton, [&backup] { backup.writetarButtonClick(); });
    onClick(ui_.TarGetLevelButton, [&table] { table.TarGetLevelButtonClick(); });
    onClick(ui_.savetableButton, [&table] { table.savetableButtonClick(); });
    // Every change of the text, typed or set by the program.
    QObject::connect(ui_.emptytaredit, &TLabeledEdit::textChanged, ui_.emptytaredit,
                     [&points] { points.emptytareditChange(); });
    QObject::connect(ui_.fulltaredit, &TLabeledEdit::textChanged, ui_.fulltaredit,
                     [&points] { points.fulltareditChange(); });
}

std::optional<ChosenFile> CalibrationPanel::chooseFile(const SaveFileDialog& dialog) const {
    return chooseSaveFile_ ? chooseSaveFile_(dialog) : runSaveFileDialog(window_, dialog);
}

std::optional<std::filesystem::path>
CalibrationPanel::chooseBackupFile(const FileDialogTexts& texts) const {
    // A backup has no extension of its own: "cal" is saved as "cal" and loaded again as such.
    const std::optional<ChosenFile> chosen =
        chooseFile({texts.title, texts.filter, {}, false, /*nameAsTyped=*/true});
    return chosen ? std::optional(chosen->path) : std::nullopt;
}

std::optional<ExportChoice>
CalibrationPanel::chooseExportFile(const std::string& proposedName) const {
    const std::optional<ChosenFile> chosen =
        chooseFile({kSavetableDialogTitle, kSavetableDialogFilter, fromUtf8(proposedName), true});
    if (!chosen) {
        return std::nullopt;
    }
    // An entry the filter does not have is taken as the first, the dialog's default.
    return ExportChoice{chosen->path,
                        exportFormatAt(chosen->filterPosition).value_or(ExportFormat::VorkelTable)};
}

TLabeledEdit* CalibrationPanel::edit(TankPoint point) const {
    return point == TankPoint::Empty ? ui_.emptytaredit : ui_.fulltaredit;
}

std::string CalibrationPanel::pointText(TankPoint point) const {
    return edit(point)->text().toStdString();
}

void CalibrationPanel::setPointText(TankPoint point, const std::string& text) {
    edit(point)->setText(fromUtf8(text));
}

void CalibrationPanel::setPointHighlighted(TankPoint point, bool highlighted) {
    QLineEdit* line = edit(point)->edit();
    if (!highlighted) {
        line->setPalette(QPalette()); // the system's again, the greyed look of a locked edit too
        return;
    }
    const QPalette system = QApplication::palette();
    QPalette palette = system;
    palette.setColor(QPalette::Base, system.color(QPalette::Highlight));
    palette.setColor(QPalette::Text, system.color(QPalette::HighlightedText));
    line->setPalette(palette);
}

void CalibrationPanel::enableCalibrateButtons(bool enabled) {
    ui_.tar0Button->setEnabled(enabled);
    ui_.tarmaxButton->setEnabled(enabled);
}

void CalibrationPanel::enableWritePoints(bool enabled) {
    ui_.writetar2Button->setEnabled(enabled);
}

std::vector<TableRow> CalibrationPanel::rows() const {
    const TValueListEditor& grid = *ui_.tarEditor;
    std::vector<TableRow> rows;
    rows.reserve(static_cast<std::size_t>(grid.rowCount()));
    for (int row = 0; row < grid.rowCount(); ++row) {
        rows.push_back({grid.key(row).toStdString(), grid.value(row).toStdString()});
    }
    return rows;
}

int CalibrationPanel::currentRow() const {
    return ui_.tarEditor->currentRow();
}

void CalibrationPanel::setValues(int row, const std::string& text) {
    ui_.tarEditor->setValue(row, fromUtf8(text));
}

void CalibrationPanel::insertEmptyRowAtCurrent() {
    ui_.tarEditor->insertEmptyRowAtCurrent();
}

void CalibrationPanel::editLiters(int row) {
    ui_.tarEditor->setCurrentCell(row, TValueListEditor::kKeyColumn);
    ui_.tarEditor->setFocus();
}

void CalibrationPanel::enableSaveTable(bool enabled) {
    ui_.savetableButton->setEnabled(enabled);
}

InstallationDescription CalibrationPanel::installation() const {
    return {ui_.carnumberedit->text().toStdString(), ui_.companynameedit->text().toStdString(),
            ui_.dutnumberedit->text().toStdString(), ui_.dutlengthedit->text().toStdString()};
}

QString dateSeparatorOf(const QString& shortDateFormat) {
    // The format as fields (runs of one pattern letter) and the texts between them. Day, month
    // and year are numbers in "d", "dd", "M", "MM", "yy" and "yyyy"; "MMM" is a month name and
    // the text beside it ("d MMM yyyy", the C locale's) separates no numbers.
    const auto isNumericField = [](QChar letter, qsizetype length) {
        return ((letter == u'd' || letter == u'M') && length <= 2) ||
               (letter == u'y' && (length == 2 || length == 4));
    };
    const qsizetype size = shortDateFormat.size();
    bool previousNumeric = false;
    QString between;
    for (qsizetype i = 0; i < size;) {
        const QChar c = shortDateFormat[i];
        if (c == u'\'') {
            // Quoted text is a field of its own that is not a number.
            const qsizetype closing = shortDateFormat.indexOf(u'\'', i + 1);
            i = closing < 0 ? size : closing + 1;
            previousNumeric = false;
            between.clear();
            continue;
        }
        if (!c.isLetter()) {
            between += c;
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < size && shortDateFormat[end] == c) {
            ++end;
        }
        const bool numeric = isNumericField(c, end - i);
        const QString separator = between.trimmed();
        if (previousNumeric && numeric && !separator.isEmpty()) {
            return separator.left(1);
        }
        previousNumeric = numeric;
        between.clear();
        i = end;
    }
    return QStringLiteral("/");
}

std::string systemDateSeparator() {
    return dateSeparatorOf(QLocale::system().dateFormat(QLocale::ShortFormat)).toStdString();
}

CalendarDate systemToday() {
    const QDate today = QDate::currentDate();
    return {today.year(), static_cast<unsigned>(today.month()), static_cast<unsigned>(today.day())};
}

} // namespace vorkel
