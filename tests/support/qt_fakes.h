// Stand-ins for the window's boxes and the real translation table, for widget tests.
#pragma once

#include "app/message_boxes.h"

#include <functional>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace vorkel::test {

// Remembers every box and answers confirmations as told; may run something while a box is
// "open", as a nested event loop would.
class RecordingBoxes : public MessageBoxes {
public:
    struct Box {
        QString title;
        QString text;
    };

    void stop(const QString& title, const QString& text) override {
        shown.push_back({title, text});
        if (whileOpen) {
            whileOpen();
        }
    }
    bool confirm(const QString& title, const QString& text) override {
        confirmations.push_back({title, text});
        return confirmAnswer;
    }
    void selfClosingInformation(const QString& title, const QString& text) override {
        informations.push_back({title, text});
        if (whileOpen) {
            whileOpen();
        }
    }
    void notice(const QString& title, const QString& text) override {
        notices.push_back({title, text});
    }

    std::vector<Box> shown;
    std::vector<Box> confirmations;
    std::vector<Box> informations; // self-closing
    std::vector<Box> notices;
    bool confirmAnswer = true;
    std::function<void()> whileOpen;
};

inline std::optional<QByteArray> shippedTranslation() {
    QFile resource(QStringLiteral(":/TRANSLATION"));
    if (!resource.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return resource.readAll();
}

} // namespace vorkel::test
