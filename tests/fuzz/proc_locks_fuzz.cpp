// The lock list of /proc/locks, read for the program that holds a busy port.
//
// Input: the text of the list, as it is.
//
// Besides memory and undefined-behaviour errors: a holder is never ourselves nor pid 0 (what
// a PID namespace shows for a process outside it); it is named by a line that holds its pid
// and a "major:minor:inode" and no "->"; an empty line in front changes nothing.
#include "fuzz/fuzz_input.h"
#include "transport/port_holder.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vorkel::LockedFile file{0x00, 0x19, 3};
    constexpr int kSelf = 31021;
    const std::optional<int> holder = vorkel::lockHolderIn(text, file, kSelf);
    if (!holder) {
        return 0;
    }
    FUZZ_CHECK(*holder != kSelf && *holder > 0);
    bool named = false;
    std::size_t start = 0;
    while (start <= text.size() && !named) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        named = line.find("->") == std::string_view::npos &&
                line.find(std::to_string(*holder)) != std::string_view::npos &&
                line.find(":") != std::string_view::npos;
        start = end + 1;
    }
    FUZZ_CHECK(named);
    // An empty line in front changes nothing.
    FUZZ_CHECK(vorkel::lockHolderIn("\n" + std::string(text), file, kSelf) == holder);
    return 0;
}
