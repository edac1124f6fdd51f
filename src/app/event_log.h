// The event log: every notable event of a run goes to the list on the "Configuration" page
// (newest on top, without time) and, time-stamped, to "log.txt" (beside the program, or where
// log_place.h puts it), which keeps the events of all runs. The file is opened and closed for
// every line; a file that cannot be written loses the line silently and the list still gets it.
#pragma once

#include "app/log_line.h"

#include <filesystem>
#include <functional>

#include <QString>

class QListWidget;

namespace vorkel {

class EventLog {
public:
    EventLog(QListWidget& list, std::filesystem::path file, std::function<TimeOfDay()> clock);

    void writeLog(const QString& message);
    void appendLogLine(const QString& message);
    // Empties the list and deletes the file (a file that cannot be deleted stays, silently).
    void clear();

private:
    QListWidget& list_;
    std::filesystem::path file_;
    std::function<TimeOfDay()> clock_;
};

// The local time of day, to the millisecond.
TimeOfDay currentTimeOfDay();

} // namespace vorkel
