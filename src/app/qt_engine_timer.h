// The engine's timer seam over a QTimer of the window.
//
// The timers are precise (Qt::PreciseTimer): Qt's default coarse timers may fire up to 5 %
// early, which would cut the 2000 ms reply time-out short by up to 100 ms and bring the polls
// closer together than a second.
#pragma once

#include "protocol/engine_seams.h"

#include <QTimer>

namespace vorkel {

class QtEngineTimer : public EngineTimer {
public:
    QtEngineTimer() {
        timer_.setTimerType(Qt::PreciseTimer); // never early: see the top of this file
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
