// What the exchange engine reaches outside itself: its two timers, the serial port and the
// window. The program fills these with Qt timers, TComPort and the main window; tests fill them
// with virtual-time timers, an in-memory port and a recording view.
#pragma once

#include "transport/port_discovery.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace vorkel {

// A window timer as the engine uses it: a fixed interval, restarted in full by start().
class EngineTimer {
public:
    virtual ~EngineTimer() = default;
    virtual void setInterval(std::uint32_t milliseconds) = 0;
    virtual void start() = 0; // (re)starts: the first time-out is a whole interval from now
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual void setHandler(std::function<void()> onTimeout) = 0;
};

// The one serial port of the program. open() raises EComError when the device cannot be had.
class SensorPort {
public:
    virtual ~SensorPort() = default;
    virtual void setPort(const std::string& path) = 0;
    virtual void setBaud(std::uint32_t baud) = 0;
    virtual void open() = 0;
    virtual void close() = 0;
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
};

// The controls and displays that the engine and the reply handling switch and fill.
class EngineView {
public:
    virtual ~EngineView() = default;

    virtual void setCaption(const std::string& caption) = 0;
    // The command controls (read/write buttons, port selector, "Test 05"); switching them on
    // also hides the firmware progress bar.
    virtual void enableCommandControls(bool enabled) = 0;
    // The configuration controls (output mode, analog range, averaging, multiplier).
    virtual void enableConfigurationControls(bool enabled) = 0;
    virtual void enableStartFlash(bool enabled) = 0;
    virtual void enableMultiplierButton(bool enabled) = 0;
    // writetarButton: one of the command controls, but kept off after the port reopened by
    // itself until the points have been read from the sensor on it.
    virtual void enableWriteFromFile(bool enabled) = 0;
    // The writes of the configuration (writeconfButton, writeconfButton2) and of the points
    // (writetar2Button) off: each comes back with a read of what it writes.
    virtual void disableSensorWrites() = 0;

    // "?" and empty readings while the port (or the configuration) changes.
    virtual void blankLevelDisplays() = 0;
    // "000"/"0000" readings and empty versions for a lost sensor.
    virtual void resetReadingDisplays() = 0;

    // The port selector: the selected entry (-1 for none) and its text.
    virtual int selectedPortIndex() const = 0;
    virtual std::string selectedPortText() const = 0;
};

// Where the engine writes and what it shows.
struct EngineServices {
    std::function<std::string(std::string_view key)> translate; // getTranslation
    std::function<void(const std::string& message)> writeLog;
    std::function<void(const std::string& text)> showErrorBox; // modal: may run a nested loop
    std::function<std::uint32_t()> tickCount;                  // milliseconds, wraps around
};

} // namespace vorkel
