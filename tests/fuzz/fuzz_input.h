// What a fuzz target does with its input bytes: takes choices (a byte, a flag, a number below a
// bound) and runs of data from the front, and stops a run that breaks a rule of the code under
// test so that the fuzzer records the input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace vorkel::test {

// An exhausted input gives zeros and empty runs, so every input is a complete run.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : bytes_(data, size) {}

    bool empty() const { return bytes_.empty(); }
    std::size_t remaining() const { return bytes_.size(); }

    std::uint8_t byte() {
        if (bytes_.empty()) {
            return 0;
        }
        const std::uint8_t value = bytes_.front();
        bytes_ = bytes_.subspan(1);
        return value;
    }
    bool flag() { return (byte() & 1) != 0; }
    std::uint16_t word() { // little-endian
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    // A number in [0, bound), bound at most 256.
    std::size_t below(std::size_t bound) { return byte() % bound; }
    template <typename T, std::size_t N>
    const T& pick(const T (&choices)[N]) {
        return choices[below(N)];
    }

    // Up to `count` bytes, fewer when the input ends first.
    std::span<const std::uint8_t> take(std::size_t count) {
        const std::span<const std::uint8_t> run = bytes_.first(std::min(count, bytes_.size()));
        bytes_ = bytes_.subspan(run.size());
        return run;
    }
    std::span<const std::uint8_t> rest() { return take(bytes_.size()); }

private:
    std::span<const std::uint8_t> bytes_;
};

[[noreturn]] inline void fuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken rule: %s\n", file, line, condition);
    std::abort();
}

} // namespace vorkel::test

// A rule of the code under test; an input that breaks it is a finding (abort: the fuzzer keeps
// the input, the replay test fails).
#define FUZZ_CHECK(condition)                                                                    \
    ((condition) ? static_cast<void>(0)                                                          \
                 : ::vorkel::test::fuzzCheckFailed(#condition, __FILE__, __LINE__))
