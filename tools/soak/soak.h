// The soak: the real engine, reply owners, firmware transfer and live port list, wired as the
// window wires them, against the virtual sensor's model, in virtual time, under a random but
// seeded schedule of faults (replies dropped, corrupted, noisy, split or late, the sensor
// restarting or changing its bit rate, the adapter pulled and plugged) and of clicks. After
// every fault has settled it checks what must always hold; the first violation ends the run
// with the seed and the schedule that led to it, so that the same seed replays it exactly.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

namespace vorkel::soak {

struct SoakOptions {
    std::uint64_t seed = 1;
    std::uint64_t exchanges = 10000; // request frames written, the run's length
    // Schedule lines kept for the report of a violation (the newest ones).
    std::size_t scheduleKept = 400;
    // Called after every checkpoint, with the exchanges so far (the tool samples memory there).
    std::function<void(std::uint64_t exchanges)> onCheckpoint;
};

struct SoakResult {
    std::uint64_t seed = 0;
    std::uint64_t exchanges = 0;
    std::uint64_t virtualSeconds = 0;
    std::uint64_t checkpoints = 0;
    std::map<std::string, std::uint64_t> faults; // by kind
    std::map<std::string, std::uint64_t> clicks; // by control
    std::uint64_t firmwareUpdatesCompleted = 0;
    std::uint64_t violations = 0;
    std::string violation;              // the first one: what broke
    std::deque<std::string> schedule;   // the schedule up to it (the newest lines)

    bool ok() const { return violations == 0; }
};

SoakResult runSoak(const SoakOptions& options);

// "seed N, exchange E: what broke" and the schedule's lines, one per line.
std::string describeFailure(const SoakResult& result);

} // namespace vorkel::soak
