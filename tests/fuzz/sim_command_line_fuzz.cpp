// The virtual sensor's command line and console: parseCommandLine on arbitrary arguments and
// parseConsoleCommand on arbitrary lines, and a sensor started with whatever options pass.
//
// Input: a byte saying which (bit 0), then NUL-separated arguments, or the console line.
//
// Besides memory and undefined-behaviour errors: accepted options and commands hold values
// within their documented ranges, a rejection always says why, and a sensor built from
// accepted options answers a poll with a well-formed reply.
#include "fuzz/fuzz_input.h"
#include "sim/command_line.h"

#include <algorithm>
#include <string_view>
#include <variant>
#include <vector>

namespace vorkel::test {
namespace {

void checkOptions(const sim::ProgramOptions& options) {
    const sim::SimOptions& sensor = options.sensor;
    FUZZ_CHECK(sensor.level <= sim::kFullScale4095);
    FUZZ_CHECK(sensor.wander <= sim::kFullScale4095);
    FUZZ_CHECK(sensor.temperature >= -128 && sensor.temperature <= 127);
    FUZZ_CHECK(sensor.replyDelay.count() >= 0 && sensor.restartTime.count() >= 0);
    FUZZ_CHECK(!options.name.empty() && options.name.find('/') == std::string::npos);

    // The sensor these options make answers a poll at its own speed.
    sim::SimOptions steady = sensor;
    steady.bootloader = false;
    steady.powerOn = false;
    steady.dropEvery = 0;
    steady.corruptEvery = 0;
    steady.garbage = false;
    sim::SensorModel model(steady);
    const Frame poll = buildRequest(CommandCode::ReadLevel, FrameData{4, 0, 0, 0, 0});
    model.receive(poll, model.bitrate(), sim::SimTime{0});
    const ByteString reply = model.takeOutput(sim::SimTime{1LL << 40});
    FUZZ_CHECK(reply.size() == kFrameSize);
    Frame frame;
    std::copy_n(reply.begin(), kFrameSize, frame.begin());
    FUZZ_CHECK(frame[frame_offset::kStart] == kReplyStart);
    FUZZ_CHECK(frameChecksum(frame) == frame[frame_offset::kChecksum]);
}

void checkConsole(std::string_view line) {
    using Kind = sim::ConsoleCommand::Kind;
    const sim::ConsoleCommand command = sim::parseConsoleCommand(line);
    FUZZ_CHECK((command.kind == Kind::Invalid) == !command.error.empty());
    switch (command.kind) {
    case Kind::Level:
        FUZZ_CHECK(command.value >= 0 && command.value <= sim::kFullScale4095);
        break;
    case Kind::Temperature:
        FUZZ_CHECK(command.value >= -128 && command.value <= 127);
        break;
    case Kind::Silent:
        FUZZ_CHECK(command.value >= 0);
        break;
    default:
        break;
    }
}

} // namespace
} // namespace vorkel::test

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    test::FuzzInput input(data, size);
    const bool console = input.flag();
    const std::span<const std::uint8_t> rest = input.rest();
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    if (console) {
        test::checkConsole(text);
        return 0;
    }
    std::vector<std::string_view> args;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const auto parsed = sim::parseCommandLine(args);
    if (const auto* options = std::get_if<sim::ProgramOptions>(&parsed)) {
        test::checkOptions(*options);
    } else {
        FUZZ_CHECK(!std::get<std::string>(parsed).empty());
    }
    return 0;
}
