// A plain drawing surface: whoever owns it paints it through onPaint, and learns through
// onShown when it comes on the screen or leaves it (its page chosen or left, the window shown,
// hidden or minimised), so that a picture that follows the clock repaints only while seen.
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
    std::function<void(bool shown)> onShown;

protected:
    void paintEvent(QPaintEvent*) override {
        if (onPaint) {
            QPainter painter(this);
            onPaint(painter);
        }
    }
    void showEvent(QShowEvent*) override {
        if (onShown) {
            onShown(true);
        }
    }
    void hideEvent(QHideEvent*) override {
        if (onShown) {
            onShown(false);
        }
    }
};

} // namespace vorkel
