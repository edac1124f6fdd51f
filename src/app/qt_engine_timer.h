// The engine's timer seam over a QTimer of the window.
#pragma once

#include "protocol/engine_seams.h"

#include <QTimer>

namespace vorkel {

class QtEngineTimer : public EngineTimer {
public:
    QtEngineTimer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (handler_) {
                handler_();
            }
        });
    }

    void setInterval(std::uint32_t milliseconds) override {
        timer_.setInterval(static_cast<int>(milliseconds));
    }
    void start() override { timer_.start(); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }
    void setHandler(std::function<void()> onTimeout) override { handler_ = std::move(onTimeout); }

private:
    QTimer timer_;
    std::function<void()> handler_;
};

} // namespace vorkel
