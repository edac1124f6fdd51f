#include "app/shape_dialog.h"

#include "app/widgets/labeled_edit.h"
#include "sensor/number_reading.h"

#include <cmath>
#include <limits>

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vorkel {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

TLabeledEdit* labeledEdit(QWidget* parent, const char* name, const QString& label) {
    auto* edit = new TLabeledEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setLabelText(label);
    return edit;
}

double numberIn(const TLabeledEdit* edit) {
    return parseDecimalNumber(edit->text().toStdString()).value_or(kNotANumber);
}

QString numberText(double value) {
    return std::isfinite(value) ? QString::number(value, 'g', 10) : QString();
}

} // namespace

ShapeDialog::ShapeDialog(const Localization& localization, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("shapeDialog"));
    // The captions below are the Russian ones of the window definitions; translation replaces
    // them by the controls' names.
    auto* kindLabel = new QLabel(QStringLiteral("Форма бака"), this);
    kindLabel->setObjectName(QStringLiteral("shapeKindLabel"));
    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("shapeKindCombo"));
    kind_->addItems({QStringLiteral("прямоугольный"), QStringLiteral("вертикальный цилиндр"),
                     QStringLiteral("горизонтальный цилиндр")});
    length_ = labeledEdit(this, "shapeLengthEdit", QStringLiteral("Длина бака, мм"));
    width_ = labeledEdit(this, "shapeWidthEdit", QStringLiteral("Ширина бака, мм"));
    height_ = labeledEdit(this, "shapeHeightEdit", QStringLiteral("Высота бака, мм"));
    diameter_ = labeledEdit(this, "shapeDiameterEdit", QStringLiteral("Диаметр бака, мм"));
    sensorLength_ = labeledEdit(this, "shapeSensorLengthEdit",
                                QStringLiteral("Измерительная длина датчика, мм"));
    zero_ = labeledEdit(this, "shapeZeroEdit", QStringLiteral("Высота нуля датчика над дном, мм"));
    rows_ = labeledEdit(this, "shapeRowsEdit", QStringLiteral("Число строк"));
    fill_ = new QRadioButton(QStringLiteral("Заполнить таблицу"), this);
    fill_->setObjectName(QStringLiteral("shapeFillRadio"));
    reference_ = new QRadioButton(QStringLiteral("Показать на кривой бака как эталон"), this);
    reference_->setObjectName(QStringLiteral("shapeReferenceRadio"));
    tolerance_ = labeledEdit(this, "shapeToleranceEdit",
                             QStringLiteral("Отмечать строки налива дальше от эталона чем, %"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("shapeOkButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    cancel->setObjectName(QStringLiteral("shapeCancelButton"));

    auto* layout = new QVBoxLayout(this);
    auto* kind = new QHBoxLayout;
    kind->addWidget(kindLabel);
    kind->addWidget(kind_, 1);
    layout->addLayout(kind);
    auto* tank = new QGridLayout;
    tank->addWidget(sensorLength_, 0, 0);
    tank->addWidget(zero_, 0, 1);
    tank->addWidget(rows_, 1, 0);
    // The dimensions of the shape chosen, in a row without gaps for the others.
    auto* dimensions = new QHBoxLayout;
    for (TLabeledEdit* edit : {length_, width_, height_, diameter_}) {
        dimensions->addWidget(edit);
    }
    layout->addLayout(dimensions);
    layout->addLayout(tank);
    layout->addWidget(fill_);
    layout->addWidget(reference_);
    layout->addWidget(tolerance_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    // Nothing typed yet but the sensor's zero at the bottom and a row every 5 %.
    setAnswer(ShapeAnswer{{TankShape::Rectangular, kNotANumber, kNotANumber, kNotANumber,
                           kNotANumber},
                          {kNotANumber, 0.0},
                          21,
                          true,
                          2.0});
    connect(kind_, &QComboBox::currentIndexChanged, this, [this] { showFieldsOfShape(); });
    connect(fill_, &QRadioButton::toggled, this, [this] { showFieldsOfShape(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    localization.applyTranslation(this);
    setWindowTitle(QString::fromStdString(localization.translate("rsShapeDialog")));
    showFieldsOfShape();
}

void ShapeDialog::showFieldsOfShape() {
    const auto shape = static_cast<TankShape>(std::max(0, kind_->currentIndex()));
    length_->setVisible(shape != TankShape::VerticalCylinder);
    width_->setVisible(shape == TankShape::Rectangular);
    height_->setVisible(shape != TankShape::HorizontalCylinder);
    diameter_->setVisible(shape != TankShape::Rectangular);
    tolerance_->setEnabled(reference_->isChecked());
}

ShapeAnswer ShapeDialog::answer() const {
    ShapeAnswer answer;
    answer.tank.shape = static_cast<TankShape>(std::max(0, kind_->currentIndex()));
    answer.tank.lengthMm = numberIn(length_);
    answer.tank.widthMm = numberIn(width_);
    answer.tank.heightMm = numberIn(height_);
    answer.tank.diameterMm = numberIn(diameter_);
    answer.sensor = {numberIn(sensorLength_), numberIn(zero_)};
    answer.rows = parseStrictInteger(rows_->text().toStdString()).value_or(0);
    answer.fillGrid = fill_->isChecked();
    answer.tolerancePercent = numberIn(tolerance_);
    return answer;
}

void ShapeDialog::setAnswer(const ShapeAnswer& answer) {
    kind_->setCurrentIndex(static_cast<int>(answer.tank.shape));
    length_->setText(numberText(answer.tank.lengthMm));
    width_->setText(numberText(answer.tank.widthMm));
    height_->setText(numberText(answer.tank.heightMm));
    diameter_->setText(numberText(answer.tank.diameterMm));
    sensorLength_->setText(numberText(answer.sensor.measuringLengthMm));
    zero_->setText(numberText(answer.sensor.zeroHeightMm));
    rows_->setText(QString::number(answer.rows));
    (answer.fillGrid ? fill_ : reference_)->setChecked(true);
    tolerance_->setText(numberText(answer.tolerancePercent));
    showFieldsOfShape();
}

std::optional<ShapeAnswer> ShapeDialog::run(const Localization& localization, QWidget* parent,
                                            const std::optional<ShapeAnswer>& previous) {
    ShapeDialog dialog(localization, parent);
    if (previous) {
        dialog.setAnswer(*previous);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.answer();
}

} // namespace vorkel
