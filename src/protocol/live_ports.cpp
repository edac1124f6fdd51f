#include "protocol/live_ports.h"

#include <algorithm>

namespace vorkel {
namespace {

std::optional<std::size_t> indexOf(const std::vector<PortEntry>& entries, const std::string& name) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const PortEntry& entry) { return entry.name == name; });
    if (found == entries.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - entries.begin());
}

// The entry is still the device it was: same name, and the same device behind it where that
// is known.
bool stillThere(const std::vector<PortEntry>& entries, const PortEntry& entry) {
    const auto index = indexOf(entries, entry.name);
    return index && (entries[*index].device.empty() || entry.device.empty() ||
                     entries[*index].device == entry.device);
}

// A log line holds no line breaks; the component's open failure has one after the port.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

} // namespace

LivePorts::LivePorts(ExchangeEngine& engine, PortSelectorView& view, EngineTimer& refreshTimer,
                     LivePortsServices services)
    : engine_(engine)
    , view_(view)
    , refreshTimer_(refreshTimer)
    , services_(std::move(services)) {
    refreshTimer_.setHandler([this] {
        refreshTimer_.stop();
        refresh();
    });
    engine_.setPortLostHandler([this] { later(kSettleMs); });
}

void LivePorts::start(const std::string& storedPort) {
    ports_.clear();
    show(services_.discoverPorts(), storedPort);
    if (!storedPort.empty() && view_.selectedPort() < 0) {
        wanted_ = Wanted{storedPort, {}, true};
    }
}

void LivePorts::portsMayHaveChanged() {
    later(kSettleMs);
}

void LivePorts::portClosed() {
    // Not now: the engine closes the port in the middle of a reopen.
    later(kSettleMs);
}

void LivePorts::comportComboBoxChange() {
    wanted_.reset();
    lossesSeen_ = engine_.portLosses();
    failedOpens_ = 0;
    vanishedWhileOpen_ = false;
    engine_.comportComboBoxChange();
}

std::string LivePorts::portToStore() const {
    const int selected = view_.selectedPort();
    if (selected >= 0 && static_cast<std::size_t>(selected) < ports_.size()) {
        return ports_[static_cast<std::size_t>(selected)].name;
    }
    return wanted_ ? wanted_->name : std::string();
}

void LivePorts::later(std::uint32_t milliseconds) {
    refreshTimer_.stop();
    refreshTimer_.setInterval(milliseconds);
    refreshTimer_.start();
}

void LivePorts::show(std::vector<PortEntry> found, const std::string& selectedName) {
    // Entries that stay keep their order; a new entry goes in after the entry that precedes
    // it in the system's order.
    std::vector<PortEntry> merged;
    for (const PortEntry& old : ports_) {
        if (const auto index = indexOf(found, old.name)) {
            merged.push_back(found[*index]);
        } else if (old.name == selectedName) {
            merged.push_back(old); // the open port that vanished, until it is closed
        }
    }
    std::size_t insertAt = 0;
    for (const PortEntry& entry : found) {
        if (const auto index = indexOf(merged, entry.name)) {
            insertAt = *index + 1;
            continue;
        }
        merged.insert(merged.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        ++insertAt;
    }
    ports_ = std::move(merged);
    view_.showPorts(ports_);
    engine_.setPortList(ports_);
    const auto selected = indexOf(ports_, selectedName);
    view_.selectPort(selected ? static_cast<int>(*selected) : -1);
}

void LivePorts::noteSharedIdentities(const std::vector<PortEntry>& found) {
    for (const PortEntry& entry : found) {
        if (entry.identity.empty()) {
            continue;
        }
        const auto twice = std::count_if(found.begin(), found.end(), [&](const PortEntry& other) {
            return other.identity == entry.identity;
        });
        // The link moved from one present port to another, or a port that stayed gained it:
        // it names none of them.
        const bool moved = std::any_of(ports_.begin(), ports_.end(), [&](const PortEntry& old) {
            return old.name == entry.name ? old.identity != entry.identity
                                          : old.identity == entry.identity && indexOf(found, old.name);
        });
        if (twice > 1 || moved) {
            sharedIdentities_.insert(entry.identity);
        }
    }
}

bool LivePorts::hasIdentity(const PortEntry& entry) const {
    return !entry.identity.empty() && !sharedIdentities_.contains(entry.identity);
}

void LivePorts::refresh() {
    std::vector<PortEntry> found = services_.discoverPorts();
    noteSharedIdentities(found);
    const bool open = services_.portIsOpen();
    const int selected = view_.selectedPort();
    std::string selectedName;
    std::optional<PortEntry> lost;
    if (selected >= 0 && static_cast<std::size_t>(selected) < ports_.size()) {
        const PortEntry current = ports_[static_cast<std::size_t>(selected)];
        selectedName = current.name;
        if (open) {
            // Measured against the device the engine opened, not the list's latest entry.
            const PortEntry& opened = engine_.openedPort() ? *engine_.openedPort() : current;
            if (stillThere(found, opened)) {
                vanishedWhileOpen_ = false; // back before anything noticed: the engine goes on
                transferWhenVanished_ = false;
            } else if (!vanishedWhileOpen_) {
                vanishedWhileOpen_ = true;
                transferWhenVanished_ = services_.transferRunning();
            }
        } else if (!stillThere(found, current)) {
            selectedName.clear();
            lost = current;
        }
    }
    // The engine's loss counts whether or not this list saw the port go: it may have come back
    // within the settling time, before or after the reopen that failed.
    if (engine_.portLosses() != lossesSeen_) {
        lossesSeen_ = engine_.portLosses();
        if (!open && engine_.lostPort()) {
            selectedName.clear();
            lost = *engine_.lostPort(); // as it was when it opened
        }
    }
    show(std::move(found), selectedName);
    if (lost) {
        portLost(*lost);
    }

    if (!wanted_ || services_.portIsOpen()) {
        return;
    }
    const int now = view_.selectedPort();
    const auto index = wantedEntry();
    if (index && (now < 0 || static_cast<std::size_t>(now) == *index)) {
        reopenWanted(*index);
    }
}

void LivePorts::portLost(const PortEntry& entry) {
    wanted_ = Wanted{entry.name, hasIdentity(entry) ? entry.identity : std::string()};
    failedOpens_ = 0;
    const bool transferCutOff = transferWhenVanished_ || services_.transferRunning();
    vanishedWhileOpen_ = false;
    transferWhenVanished_ = false;
    if (transferCutOff) {
        if (services_.transferRunning()) {
            services_.abandonTransfer();
        }
        services_.writeLog(services_.translate("rsFlashAbandonedPortLost"));
    }
}

std::optional<std::size_t> LivePorts::wantedEntry() const {
    // An adapter with an identity is found by it alone: another adapter can take its name. One
    // without is found by its name, and never as a port that has an identity of its own.
    const auto found = std::find_if(ports_.begin(), ports_.end(), [&](const PortEntry& entry) {
        return wanted_->identity.empty()
                   ? entry.name == wanted_->name && (wanted_->anyIdentity || !hasIdentity(entry))
                   : hasIdentity(entry) && entry.identity == wanted_->identity;
    });
    if (found == ports_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - ports_.begin());
}

void LivePorts::reopenWanted(std::size_t index) {
    view_.selectPort(static_cast<int>(index));
    const std::string failure = engine_.openQuietly();
    if (failure.empty()) {
        services_.writeLog(services_.translate("rsPortReopened") + " " + ports_[index].name);
        wanted_.reset();
        failedOpens_ = 0;
        return;
    }
    if (++failedOpens_ < kOpenAttempts) {
        later(kRetryMs);
        return;
    }
    // Given up: said once, in the log; the engineer can still choose the port.
    services_.writeLog(oneLine(failure));
    wanted_.reset();
    failedOpens_ = 0;
}

} // namespace vorkel
