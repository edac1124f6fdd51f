// A static text that reports clicks (the live reading displays choose the reading that the
// calibration table copies by being clicked).
#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace vorkel {

class TStaticText : public QLabel {
    Q_OBJECT

public:
    explicit TStaticText(QWidget* parent = nullptr)
        : QLabel(parent) {}

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        QLabel::mouseReleaseEvent(event);
    }
};

} // namespace vorkel
