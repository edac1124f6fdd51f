// vorkel-soak --seed N --exchanges M: a long soak (soak.h). Prints the faults injected by kind,
// the clicks, the exchanges, the violations, and the memory (resident set) and open files at
// the first checkpoint and at the last; a violation prints its seed and schedule and ends
// with status 1.
#include "soak.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace {

struct Usage {
    long residentKiB = 0;
    long openFiles = 0;
};

Usage usageNow() {
    Usage usage;
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    usage.residentKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++usage.openFiles;
    }
    return usage;
}

bool number(std::string_view text, std::uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

} // namespace

int main(int argc, char** argv) {
    vorkel::soak::SoakOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i];
        std::uint64_t* target = name == "--seed"        ? &options.seed
                                : name == "--exchanges" ? &options.exchanges
                                                        : nullptr;
        if (target == nullptr || !number(argv[i + 1], *target)) {
            std::cerr << "usage: vorkel-soak [--seed N] [--exchanges M]\n";
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::cerr << "usage: vorkel-soak [--seed N] [--exchanges M]\n";
        return 2;
    }
    std::optional<Usage> first;
    Usage last;
    std::uint64_t nextReport = 0;
    options.onCheckpoint = [&](std::uint64_t exchanges) {
        last = usageNow();
        if (!first) {
            first = last;
        }
        if (exchanges >= nextReport) {
            std::cout << "exchanges " << exchanges << ", RSS " << last.residentKiB << " KiB, "
                      << last.openFiles << " open files" << std::endl;
            nextReport = exchanges + options.exchanges / 20 + 1;
        }
    };
    const vorkel::soak::SoakResult result = vorkel::soak::runSoak(options);

    std::cout << "seed " << result.seed << "\nexchanges " << result.exchanges
              << "\nvirtual time " << result.virtualSeconds << " s\ncheckpoints "
              << result.checkpoints << "\nfirmware updates completed "
              << result.firmwareUpdatesCompleted << "\nfaults injected:\n";
    std::uint64_t faults = 0;
    for (const auto& [kind, count] : result.faults) {
        std::cout << "  " << kind << ": " << count << "\n";
        faults += count;
    }
    std::cout << "  (all kinds: " << faults << ")\nclicks:\n";
    for (const auto& [control, count] : result.clicks) {
        std::cout << "  " << control << ": " << count << "\n";
    }
    if (first) {
        std::cout << "RSS at the first checkpoint " << first->residentKiB << " KiB, at the last "
                  << last.residentKiB << " KiB\nopen files at the first checkpoint "
                  << first->openFiles << ", at the last " << last.openFiles << "\n";
    }
    std::cout << "invariant violations " << result.violations << std::endl;
    if (!result.ok()) {
        std::cout << vorkel::soak::describeFailure(result);
        return 1;
    }
    return 0;
}
