// Localization, the Qt half: the translation list of the chosen language, its application to a
// tree of controls, and the error and warning boxes (whose titles come from the list).
#pragma once

#include "app/message_boxes.h"
#include "app/translation.h"

#include <optional>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QString>

class QWidget;

namespace vorkel {

class Localization {
public:
    explicit Localization(MessageBoxes& boxes)
        : boxes_(boxes) {}

    // loadTranslation: parses the table once; no table (a missing resource) leaves the list
    // empty, so every lookup returns its key and every control keeps its built-in text.
    void loadTranslation(const std::optional<QByteArray>& table, std::uint32_t languageId);

    QString getTranslation(const QString& key) const;
    std::string translate(std::string_view key) const { return list_.get(key); }
    const TranslationList& list() const { return list_; }

    // applyTranslation: overwrites the texts of the controls below `root` whose names (with
    // ".SubLabel", ".Item<i>", ".Column<i>" for the parts of composite controls) are keys.
    void applyTranslation(QWidget* root) const;

    void showErrorBox(const QString& text) const;
    void showWarningBox(const QString& text) const;
    // The restart warning of a selector entry, in that entry's language ("" when none).
    QString restartWarning(int selectorIndex) const;

private:
    std::optional<QString> lookup(const QString& key) const;
    void applyToChildren(QWidget* container) const;
    void applyToWindowed(QWidget* child) const;
    void applyToItself(QWidget* container) const;

    MessageBoxes& boxes_;
    TranslationList list_;
};

} // namespace vorkel
