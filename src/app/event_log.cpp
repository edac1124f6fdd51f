#include "app/event_log.h"

#include "app/text_file.h"

#include <QListWidget>
#include <QTime>

namespace vorkel {

EventLog::EventLog(QListWidget& list, std::filesystem::path file, std::function<TimeOfDay()> clock)
    : list_(list)
    , file_(std::move(file))
    , clock_(std::move(clock)) {}

void EventLog::writeLog(const QString& message) {
    appendLogLine(message);
    list_.insertItem(0, message);
}

void EventLog::appendLogLine(const QString& message) {
    appendLine(file_, logLine(clock_(), message.toStdString()));
}

void EventLog::clear() {
    list_.clear();
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
}

TimeOfDay currentTimeOfDay() {
    const QTime now = QTime::currentTime();
    return TimeOfDay{now.hour(), now.minute(), now.second(), now.msec()};
}

} // namespace vorkel
