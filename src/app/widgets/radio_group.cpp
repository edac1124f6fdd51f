#include "app/widgets/radio_group.h"

#include <QVBoxLayout>

namespace vorkel {

TRadioGroup::TRadioGroup(QWidget* parent)
    : QGroupBox(parent)
    , group_(new QButtonGroup(this)) {
    new QVBoxLayout(this);
    connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::clicked);
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            emit itemIndexChanged(id);
        }
    });
}

QStringList TRadioGroup::items() const {
    QStringList texts;
    for (const QRadioButton* button : buttons_) {
        texts << button->text();
    }
    return texts;
}

void TRadioGroup::setItems(const QStringList& items) {
    qDeleteAll(buttons_);
    buttons_.clear();
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        layout()->addWidget(button);
        buttons_.append(button);
    }
}

QString TRadioGroup::itemText(int index) const {
    return index >= 0 && index < itemCount() ? buttons_[index]->text() : QString();
}

void TRadioGroup::setItemText(int index, const QString& text) {
    if (index >= 0 && index < itemCount()) {
        buttons_[index]->setText(text);
    }
}

int TRadioGroup::itemIndex() const {
    return group_->checkedId();
}

void TRadioGroup::setItemIndex(int index) {
    if (index >= 0 && index < itemCount()) {
        buttons_[index]->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its last button; lift that for a moment.
    group_->setExclusive(false);
    for (QRadioButton* button : buttons_) {
        button->setChecked(false);
    }
    group_->setExclusive(true);
}

} // namespace vorkel
