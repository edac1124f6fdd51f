#include "app/firmware_panel.h"

#include "app/file_dialogs.h"
#include "app/path_text.h"
#include "firmware/progress_bar.h"
#include "ui_TmainForm.h"

#include <QEvent>
#include <QFileDialog>
#include <QPixmap>
#include <QTextDocument>

namespace vorkel {
namespace {

QRect fillRect(const PaintRect& r) {
    // A 1-pixel outline drawn around QRect(x, y, w, h) covers w + 1 by h + 1 pixels: one less
    // keeps the right and bottom edges outside, as the rectangles are given.
    return QRect(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1);
}

bool isEmpty(const PaintRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

} // namespace

FirmwarePanel::FirmwarePanel(Ui::TmainForm& ui)
    : ui_(ui) {}

void FirmwarePanel::connectTo(FirmwareTransfer& transfer) {
    // The label takes the width the layout gives it, not that of a long path; the path is then
    // shortened to fit whenever that width changes.
    QLabel* label = ui_.flashfileedit;
    label->setSizePolicy(QSizePolicy::Ignored, label->sizePolicy().verticalPolicy());
    label->setTextFormat(Qt::PlainText); // a file name, whatever it looks like
    label->installEventFilter(this);
    ui_.flashprogresspanel->onPaint = [this](QPainter& painter) { paintProgress(painter); };

    auto* t = &transfer;
    QObject::connect(ui_.getflashfileButton, &QPushButton::clicked, ui_.getflashfileButton,
                     [t] { t->getflashfileButtonClick(); });
    QObject::connect(ui_.startflashButton, &QPushButton::clicked, ui_.startflashButton,
                     [t] { t->startflashButtonClick(); });
}

void FirmwarePanel::showFirmwarePath(const std::filesystem::path& path) {
    fullPath_ = textFromPath(path);
    ui_.flashfileedit->setToolTip(Qt::convertFromPlainText(fullPath_)); // tool tips take markup
    elidePath();
}

void FirmwarePanel::elidePath() {
    QLabel* label = ui_.flashfileedit;
    if (!label->isVisible()) {
        // Not laid out yet, so no width to fit: showing it elides it.
        label->setText(fullPath_);
        return;
    }
    // A framed label indents its text by half an "x" unless told otherwise.
    int indent = label->indent();
    if (indent < 0) {
        indent = label->frameWidth() > 0 ? label->fontMetrics().horizontalAdvance(u'x') / 2 : 0;
    }
    const int room = label->contentsRect().width() - 2 * label->margin() - indent;
    label->setText(label->fontMetrics().elidedText(fullPath_, Qt::ElideMiddle, room));
}

bool FirmwarePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.flashfileedit &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        elidePath();
    }
    return QObject::eventFilter(watched, event);
}

void FirmwarePanel::enableConfigurationWrite(bool enabled) {
    ui_.writeconfButton->setEnabled(enabled);
    ui_.writeconfButton2->setEnabled(enabled);
}

void FirmwarePanel::showProgressBar() {
    ui_.flashprogresspanel->show();
}

void FirmwarePanel::setProgress(std::uint32_t bytes) {
    progress_ = bytes;
    ui_.flashprogresspanel->update();
}

void FirmwarePanel::paintProgress(QPainter& target) {
    QWidget& box = *ui_.flashprogresspanel;
    const QPalette& palette = box.palette();
    const QString text = QString::fromStdString(flashProgressText(progress_));
    const QFontMetrics metrics = box.fontMetrics();
    const QSize extent(metrics.horizontalAdvance(text), metrics.height());
    const FlashProgressPaint paint =
        flashProgressPaint(box.width(), box.height(), progress_, extent.width(), extent.height());

    // Drawn off-screen and copied in one go, so the bar does not flicker at every block.
    const qreal ratio = box.devicePixelRatioF();
    QPixmap buffer(box.size() * ratio);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(palette.color(QPalette::Button));
    QPainter painter(&buffer);
    painter.setFont(box.font());
    painter.setPen(palette.color(QPalette::WindowText));
    for (const auto& [rect, fill] : {std::pair{paint.frame, palette.color(QPalette::Button)},
                                     std::pair{paint.bar, palette.color(QPalette::Highlight)}}) {
        if (!isEmpty(rect)) {
            painter.setBrush(fill);
            painter.drawRect(fillRect(rect));
        }
    }
    painter.setBrush(Qt::NoBrush);
    for (const auto& [at, colour] :
         {std::pair{paint.shadowAt, palette.color(QPalette::Base)},
          std::pair{paint.textAt, palette.color(QPalette::WindowText)}}) {
        painter.setPen(colour);
        painter.drawText(QRect(QPoint(at.x, at.y), extent), Qt::AlignLeft | Qt::AlignTop, text);
    }
    painter.end();
    target.drawPixmap(0, 0, buffer);
}

std::optional<std::filesystem::path>
FirmwarePanel::runOpenFlashDialog(QWidget* parent, const QString& title, const QString& filter) {
    // The dialog accepts only a file that exists.
    const QString chosen = QFileDialog::getOpenFileName(
        parent, title, QStringLiteral("."), qtNameFilters(filter).join(QStringLiteral(";;")));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return pathFromText(chosen);
}

} // namespace vorkel
