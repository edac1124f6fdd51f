// The live port list: the port selector follows the system's serial ports while the program
// runs, and a port that went away (an unplugged adapter) is opened again by itself when it
// comes back.
//
// The port watch (transport/port_watch.h) or the window's device-change message says that the
// ports may have changed; after a short settling time the list is read again and merged into
// the selector: entries that stay keep their place, new ones go in at their place in the
// system's order, gone ones leave. The selection follows its entry by name. The entry of an
// open port that vanished stays selected until the engine closes that port (its time-out
// reopen fails, with the one error box of an unplug); then it goes, and the port is waited
// for. A name whose device changed under it (another pseudo-terminal) has gone and come back.
//
// Whether to reopen is decided from the state at every refresh, not from the change that
// woke it: the engine has lost its port, and a port that is that adapter is present now. So
// a plug pulled and put back within the settling time, before or after the engine's failing
// reopen, is reopened all the same. That adapter is the one with the lost port's identity
// (/dev/serial/by-id) under whatever name; a lost port without an identity comes back only
// under its name, and only as a port without one. An identity that two present ports have
// had (adapters without a serial number share one link) is no identity. The port is selected
// and opened like a start-up opens the stored port, with one line in the log and no box. The
// stored port that is missing at start-up is waited for in the same way. A firmware transfer
// that the loss cut off is abandoned and not resumed. Choosing a port by hand ends the
// waiting.
#pragma once

#include "protocol/engine_seams.h"
#include "protocol/exchange_engine.h"
#include "transport/port_discovery.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

// The port selector.
class PortSelectorView {
public:
    virtual ~PortSelectorView() = default;
    // The selector holds `entries`, in this order (the entry's text is portDisplayText, its
    // name kept beside it). Entries present before keep their place: the binder edits the
    // list, it does not refill it, so nothing moves under an open drop-down.
    virtual void showPorts(const std::vector<PortEntry>& entries) = 0;
    virtual void selectPort(int index) = 0; // -1: none
    virtual int selectedPort() const = 0;
};

struct LivePortsServices {
    std::function<std::vector<PortEntry>()> discoverPorts;
    std::function<bool()> portIsOpen;
    std::function<bool()> transferRunning;
    std::function<void()> abandonTransfer;
    std::function<std::string(std::string_view key)> translate;
    std::function<void(const std::string& message)> writeLog;
};

class LivePorts {
public:
    // Device nodes, their group and udev's links come a moment apart; one read after all.
    static constexpr std::uint32_t kSettleMs = 300;
    // A port that came back but could not be opened (a modem manager probing it holds it for
    // a few seconds) is tried again this often, this many times, without a box.
    static constexpr std::uint32_t kRetryMs = 1000;
    static constexpr int kOpenAttempts = 15;

    LivePorts(ExchangeEngine& engine, PortSelectorView& view, EngineTimer& refreshTimer,
              LivePortsServices services);
    ~LivePorts() { engine_.setPortLostHandler(nullptr); }
    LivePorts(const LivePorts&) = delete;
    LivePorts& operator=(const LivePorts&) = delete;

    // Start-up: the first list, with the stored port selected when it is there (exact name);
    // otherwise that port is waited for. Opening is the engine's start.
    void start(const std::string& storedPort);
    // The system's ports may have changed (port watch, device-change message).
    void portsMayHaveChanged();
    // The serial port was closed: a vanished entry may go now.
    void portClosed();
    // The engineer chose an entry: nothing is waited for any more; the engine reopens.
    void comportComboBoxChange();

    const std::vector<PortEntry>& ports() const { return ports_; }
    // The port the `port` setting keeps: the selected entry's name, or the port being waited
    // for when none is selected (an unplugged adapter at shut-down is still the one in use).
    std::string portToStore() const;
    bool isWaiting() const { return wanted_.has_value(); }

private:
    struct Wanted {
        std::string name;
        std::string identity;
        // The stored port of the last run: only its name is known, as at start-up.
        bool anyIdentity = false;
    };

    void refresh();
    void show(std::vector<PortEntry> entries, const std::string& selectedName);
    void noteSharedIdentities(const std::vector<PortEntry>& found);
    bool hasIdentity(const PortEntry& entry) const;
    void portLost(const PortEntry& entry);
    std::optional<std::size_t> wantedEntry() const;
    void reopenWanted(std::size_t index);
    void later(std::uint32_t milliseconds);

    ExchangeEngine& engine_;
    PortSelectorView& view_;
    EngineTimer& refreshTimer_;
    LivePortsServices services_;
    std::vector<PortEntry> ports_;
    std::optional<Wanted> wanted_;
    int failedOpens_ = 0;
    std::uint64_t lossesSeen_ = 0; // the engine's port losses already taken up
    std::set<std::string> sharedIdentities_;
    // The open port's entry vanished; whether a firmware transfer was running then.
    bool vanishedWhileOpen_ = false;
    bool transferWhenVanished_ = false;
};

} // namespace vorkel
