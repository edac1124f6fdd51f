#include "app/localization.h"

#include "app/widgets/labeled_edit.h"
#include "app/widgets/radio_group.h"
#include "app/widgets/static_text.h"
#include "app/widgets/value_list_editor.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>

namespace vorkel {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A plain label is painted by its parent in the original toolkit; static texts, buttons and
// group boxes are windows of their own. Both kinds take their caption from <Name>, at
// different moments of the walk.
bool isPlainLabel(const QWidget* widget) {
    return qobject_cast<const QLabel*>(widget) != nullptr &&
           qobject_cast<const TStaticText*>(widget) == nullptr;
}

} // namespace

void Localization::loadTranslation(const std::optional<QByteArray>& table,
                                   std::uint32_t languageId) {
    if (!table) {
        return;
    }
    list_.load(std::span(reinterpret_cast<const std::uint8_t*>(table->constData()),
                         static_cast<std::size_t>(table->size())),
               languageId);
}

QString Localization::getTranslation(const QString& key) const {
    return fromUtf8(list_.get(key.toStdString()));
}

std::optional<QString> Localization::lookup(const QString& key) const {
    if (key.isEmpty() || !list_.contains(key.toStdString())) {
        return std::nullopt;
    }
    return fromUtf8(list_.get(key.toStdString()));
}

void Localization::applyTranslation(QWidget* root) const {
    applyToChildren(root);
    applyToItself(root);
}

void Localization::applyToChildren(QWidget* container) const {
    for (QObject* object : container->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child == nullptr) {
            continue;
        }
        if (isPlainLabel(child)) {
            if (const auto text = lookup(child->objectName())) {
                static_cast<QLabel*>(child)->setText(*text);
            }
            continue;
        }
        applyToChildren(child);
        applyToItself(child);
        applyToWindowed(child);
    }
}

// What a windowed control gets from its parent's walk, by kind.
void Localization::applyToWindowed(QWidget* child) const {
    const QString name = child->objectName();
    if (name.isEmpty()) {
        return;
    }
    if (auto* edit = qobject_cast<TLabeledEdit*>(child)) {
        if (const auto text = lookup(name + ".SubLabel")) {
            edit->setLabelText(*text);
        }
        if (const auto text = lookup(name)) {
            edit->setText(*text);
        }
    } else if (auto* check = qobject_cast<QCheckBox*>(child)) {
        if (const auto text = lookup(name)) {
            check->setText(*text);
        }
    } else if (auto* radio = qobject_cast<TRadioGroup*>(child)) {
        for (int i = 0; i < radio->itemCount(); ++i) {
            if (const auto text = lookup(name + ".Item" + QString::number(i))) {
                radio->setItemText(i, *text);
            }
        }
    } else if (auto* grid = qobject_cast<TValueListEditor*>(child)) {
        for (int i = 0; i < grid->columnCount(); ++i) {
            if (const auto text = lookup(name + ".Column" + QString::number(i))) {
                grid->setColumnTitle(i, *text);
            }
        }
    } else if (auto* pages = qobject_cast<QTabWidget*>(child)) {
        for (int i = 0; i < pages->count(); ++i) {
            if (const auto text = lookup(pages->widget(i)->objectName())) {
                pages->setTabText(i, *text);
            }
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(child)) {
        for (int i = 0; i < combo->count(); ++i) {
            if (const auto text = lookup(name + ".Item" + QString::number(i))) {
                combo->setItemText(i, *text);
            }
        }
    }
}

// What a control gets as a container of its own: buttons, static texts, radio groups and group
// boxes take <Name> as their caption, a labelled edit as the caption of its label.
void Localization::applyToItself(QWidget* container) const {
    const auto text = lookup(container->objectName());
    if (!text) {
        return;
    }
    if (auto* edit = qobject_cast<TLabeledEdit*>(container)) {
        edit->setLabelText(*text);
    } else if (qobject_cast<QCheckBox*>(container) != nullptr) {
        // A check box takes its caption from its parent's walk only.
    } else if (auto* button = qobject_cast<QAbstractButton*>(container)) {
        button->setText(*text);
    } else if (auto* staticText = qobject_cast<TStaticText*>(container)) {
        staticText->setText(*text);
    } else if (auto* group = qobject_cast<QGroupBox*>(container)) {
        group->setTitle(*text); // radio groups included
    }
}

void Localization::showErrorBox(const QString& text) const {
    boxes_.stop(getTranslation("rsErrorHeader"), text);
}

void Localization::showWarningBox(const QString& text) const {
    boxes_.stop(getTranslation("rsWarningTitle"), text);
}

QString Localization::restartWarning(int selectorIndex) const {
    const auto& warnings = list_.restartWarnings();
    if (selectorIndex < 0 || static_cast<std::size_t>(selectorIndex) >= warnings.size()) {
        return {};
    }
    return fromUtf8(warnings[static_cast<std::size_t>(selectorIndex)]);
}

} // namespace vorkel
