// A plain drawing surface: whoever owns it paints it through onPaint.
#pragma once

#include <functional>

#include <QPainter>
#include <QWidget>

namespace vorkel {

class TPaintBox : public QWidget {
    Q_OBJECT

public:
    explicit TPaintBox(QWidget* parent = nullptr)
        : QWidget(parent) {}

    std::function<void(QPainter& painter)> onPaint;

protected:
    void paintEvent(QPaintEvent*) override {
        if (onPaint) {
            QPainter painter(this);
            onPaint(painter);
        }
    }
};

} // namespace vorkel
