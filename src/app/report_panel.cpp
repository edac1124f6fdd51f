#include "app/report_panel.h"

#include "app/curve_painter.h"
#include "ui_TmainForm.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace vorkel {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kResolution = 300; // dots per inch of the document's coordinates

double mm(double millimetres) {
    return millimetres * kResolution / 25.4;
}

const QColor kMarked(200, 20, 20);
const double kTableWidth = mm(70); // "#", litres and values

// One page of the report; the first one carries the description and the curve.
class ReportPage {
public:
    ReportPage(QPainter& painter, const CalibrationReportContent& content, double width,
               double height)
        : painter_(painter)
        , content_(content)
        , width_(width)
        , height_(height) {}

    void paint(std::size_t index) {
        const CalibrationReportContent::Page& page = content_.pages[index];
        double y = title(index == 0 ? 16 : 11);
        if (index == 0) {
            y = fields(y + mm(3));
        }
        const double tableTop = y + mm(5);
        table(page, tableTop);
        if (index == 0) {
            painter_.setFont(font(9));
            const double left = kTableWidth + mm(8);
            const double size = width_ - left;
            paintTankCurve(painter_, QRectF(left, tableTop, size, size), content_.curve,
                           {fromUtf8(content_.valuesTitle), fromUtf8(content_.litersTitle)});
        }
        painter_.setFont(font(8));
        painter_.setPen(Qt::black);
        painter_.drawText(QRectF(0, height_ - mm(5), width_, mm(5)),
                          Qt::AlignRight | Qt::AlignBottom,
                          QStringLiteral("%1 %2 / %3")
                              .arg(fromUtf8(content_.pageCaption))
                              .arg(index + 1)
                              .arg(content_.pages.size()));
    }

private:
    static QFont font(int points, bool bold = false) {
        QFont font = QGuiApplication::font(); // the window's, which has the language's letters
        font.setPointSize(points);
        font.setBold(bold);
        return font;
    }

    double title(int points) {
        painter_.setFont(font(points, true));
        painter_.setPen(Qt::black);
        const double height = QFontMetricsF(painter_.font(), painter_.device()).height();
        painter_.drawText(QRectF(0, 0, width_, height), Qt::AlignLeft | Qt::AlignTop,
                          fromUtf8(content_.title));
        return height;
    }

    // Two columns of "caption: value".
    double fields(double top) {
        const std::size_t rows = (content_.fields.size() + 1) / 2;
        const double line = mm(5.5);
        const double column = width_ / 2;
        for (std::size_t i = 0; i < content_.fields.size(); ++i) {
            const double x = i < rows ? 0 : column;
            const double y = top + line * static_cast<double>(i % rows);
            painter_.setFont(font(10));
            painter_.setPen(Qt::darkGray);
            const QString caption = fromUtf8(content_.fields[i].caption) + QStringLiteral(":");
            painter_.drawText(QRectF(x, y, column * 0.45, line), Qt::AlignLeft | Qt::AlignVCenter,
                              caption);
            painter_.setFont(font(10, true));
            painter_.setPen(Qt::black);
            painter_.drawText(QRectF(x + column * 0.45, y, column * 0.55 - mm(2), line),
                              Qt::AlignLeft | Qt::AlignVCenter, fromUtf8(content_.fields[i].value));
        }
        return top + line * static_cast<double>(rows);
    }

    // "#", litres and values; the rows out of order in red.
    void table(const CalibrationReportContent::Page& page, double top) {
        const double line = mm(5);
        const double columns[] = {0, mm(10), mm(40), kTableWidth};
        const auto cell = [&](int column, double y, const QString& text, Qt::Alignment align) {
            painter_.drawText(QRectF(columns[column] + mm(1), y,
                                     columns[column + 1] - columns[column] - mm(2), line),
                              align | Qt::AlignVCenter, text);
        };
        painter_.setFont(font(9, true));
        painter_.setPen(Qt::black);
        cell(0, top, QStringLiteral("#"), Qt::AlignRight);
        cell(1, top, fromUtf8(content_.litersTitle), Qt::AlignRight);
        cell(2, top, fromUtf8(content_.valuesTitle), Qt::AlignRight);
        painter_.drawLine(QPointF(0, top + line), QPointF(columns[3], top + line));
        painter_.setFont(font(9));
        for (std::size_t i = 0; i < page.count; ++i) {
            const std::size_t row = page.first + i;
            const double y = top + line * static_cast<double>(i + 1);
            if (i % 2 == 1) {
                painter_.fillRect(QRectF(0, y, columns[3], line), QColor(242, 242, 242));
            }
            painter_.setPen(isMarked(content_.checks[row]) ? kMarked : QColor(Qt::black));
            cell(0, y, QString::number(row + 1), Qt::AlignRight);
            cell(1, y, fromUtf8(content_.rows[row].liters), Qt::AlignRight);
            cell(2, y, fromUtf8(content_.rows[row].values), Qt::AlignRight);
        }
    }

    QPainter& painter_;
    const CalibrationReportContent& content_;
    double width_;
    double height_;
};

} // namespace

void ReportPanel::connectTo(CalibrationReport& report) {
    QObject::connect(ui_.reportButton, &QPushButton::clicked, ui_.reportButton,
                     [&report] { report.reportButtonClick(); });
}

ReportSources ReportPanel::reportSources() const {
    ReportSources sources;
    sources.installation = {
        ui_.carnumberedit->text().toStdString(), ui_.companynameedit->text().toStdString(),
        ui_.dutnumberedit->text().toStdString(), ui_.dutlengthedit->text().toStdString()};
    const TValueListEditor& grid = *ui_.tarEditor;
    for (int row = 0; row < grid.rowCount(); ++row) {
        sources.gridRows.push_back({grid.key(row).toStdString(), grid.value(row).toStdString()});
    }
    sources.programVersion = ui_.ProgramVersionLabel->text().toStdString();
    sources.bootloaderVersion = ui_.BootloaderVersionLabel->text().toStdString();
    return sources;
}

std::optional<std::filesystem::path> ReportPanel::chooseReportFile(const std::string& proposedName,
                                                                   const QString& title) const {
    const SaveFileDialog dialog{title, kReportDialogFilter, fromUtf8(proposedName), true};
    const std::optional<ChosenFile> chosen =
        chooseSaveFile_ ? chooseSaveFile_(dialog) : runSaveFileDialog(window_, dialog);
    return chosen ? std::optional(chosen->path) : std::nullopt;
}

std::optional<std::string> renderCalibrationReport(const CalibrationReportContent& content) {
    QByteArray bytes;
    {
        // In memory first: the file is written whole, or not at all.
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(kResolution);
        writer.setTitle(fromUtf8(content.title));
        writer.setCreator(QStringLiteral("Vorkel configurator"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            return std::nullopt;
        }
        ReportPage page(painter, content, writer.width(), writer.height());
        for (std::size_t index = 0; index < content.pages.size(); ++index) {
            if (index > 0) {
                writer.newPage();
            }
            page.paint(index);
        }
        if (!painter.end()) {
            return std::nullopt;
        }
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace vorkel
