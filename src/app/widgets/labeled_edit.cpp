#include "app/widgets/labeled_edit.h"

#include <QBoxLayout>

namespace vorkel {

TLabeledEdit::TLabeledEdit(QWidget* parent)
    : QWidget(parent)
    , subLabel_(new QLabel(this))
    , edit_(new QLineEdit(this)) {
    subLabel_->setBuddy(edit_);
    setFocusProxy(edit_);
    connect(edit_, &QLineEdit::textChanged, this, &TLabeledEdit::textChanged);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    arrange();
}

void TLabeledEdit::setLabelOnLeft(bool onLeft) {
    if (onLeft != labelOnLeft_) {
        labelOnLeft_ = onLeft;
        arrange();
    }
}

void TLabeledEdit::arrange() {
    delete layout();
    auto* box =
        new QBoxLayout(labelOnLeft_ ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(labelOnLeft_ ? 6 : 2);
    box->addWidget(subLabel_);
    box->addWidget(edit_, 1);
}

} // namespace vorkel
