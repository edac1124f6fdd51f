#include "app/widgets/up_down.h"

#include <algorithm>

#include <QBoxLayout>

namespace vorkel {

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent)
    , down_(new QToolButton(this))
    , up_(new QToolButton(this)) {
    for (QToolButton* button : {down_, up_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::TabFocus);
    }
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    arrange();
}

void TUpDown::setMin(int min) {
    min_ = min;
    max_ = std::max(max_, min_);
    setPosition(position_);
}

void TUpDown::setMax(int max) {
    max_ = max;
    min_ = std::min(min_, max_);
    setPosition(position_);
}

void TUpDown::setPosition(int position) {
    const int limited = std::clamp(position, min_, max_);
    const bool moved = limited != position_;
    position_ = limited;
    if (associate_) {
        associate_->setText(QString::number(position_));
    }
    if (moved) {
        emit positionChanged(position_);
    }
}

void TUpDown::setHorizontal(bool horizontal) {
    if (horizontal != horizontal_) {
        horizontal_ = horizontal;
        arrange();
    }
}

void TUpDown::setAssociate(QLineEdit* edit) {
    associate_ = edit;
    setPosition(position_);
}

void TUpDown::step(int delta) {
    emit changing(position_);
    setPosition(position_ + delta);
    emit clicked();
}

void TUpDown::arrange() {
    delete layout();
    auto* box =
        new QBoxLayout(horizontal_ ? QBoxLayout::LeftToRight : QBoxLayout::BottomToTop, this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    down_->setArrowType(horizontal_ ? Qt::LeftArrow : Qt::DownArrow);
    up_->setArrowType(horizontal_ ? Qt::RightArrow : Qt::UpArrow);
    box->addWidget(down_);
    box->addWidget(up_);
}

} // namespace vorkel
