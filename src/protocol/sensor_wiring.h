// How a program puts the sensor's subsystems together around one exchange engine: which owner
// takes the replies of each code (and of a code in one request state), and the line settings of
// the serial port. The window and the command-line program both wire themselves through here,
// so that a reply means the same thing in either.
#pragma once

#include "protocol/exchange_engine.h"
#include "transport/comport.h"

namespace vorkel {

// The owners of the sensor's replies (code 88, and code 2 during a firmware update, the
// firmware transfer registers for itself).
struct SensorReplyOwners {
    ReplyOwner& readings;          // 89 versions, 5 levels
    ReplyOwner& configuration;     // 1 written, 2 read
    ReplyOwner& calibrationPoints; // 3, 4, 86, 87
    ReplyOwner& calibrationBackup; // 87 read into a file (state 13), 86 written from one (14)
};

void registerReplyOwners(ExchangeEngine& engine, const SensorReplyOwners& owners);

// The sensor's line: 8 data bits, no parity, one stop bit, raw bytes, small driver queues.
void setSensorLineSettings(TComPort& port);
// Those settings, and received bytes go to the engine.
void prepareSensorLine(TComPort& port, ExchangeEngine& engine);

} // namespace vorkel
