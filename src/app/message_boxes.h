// The program's modal message boxes, behind an interface so that tests answer them without a
// person. Every call returns when the box has been dismissed; while it is open the event loop
// runs (received bytes and timers are handled). Texts are shown as plain text.
#pragma once

#include <QString>

class QWidget;

namespace vorkel {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Stop icon, one OK button, above every window.
    virtual void stop(const QString& title, const QString& text) = 0;
    // OK and Cancel; true for OK.
    virtual bool confirm(const QString& title, const QString& text) = 0;
    // Information icon, no button needed: closes itself after kSelfClosingMs.
    virtual void selfClosingInformation(const QString& title, const QString& text) = 0;
    // No icon, one OK button (the multiplier dialog's refusal of a voltage).
    virtual void notice(const QString& title, const QString& text) = 0;

    static constexpr int kSelfClosingMs = 1000;
};

// The real boxes.
class QtMessageBoxes : public MessageBoxes {
public:
    void stop(const QString& title, const QString& text) override;
    bool confirm(const QString& title, const QString& text) override;
    void selfClosingInformation(const QString& title, const QString& text) override;
    void notice(const QString& title, const QString& text) override;
};

} // namespace vorkel
