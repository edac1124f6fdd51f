// The virtual sensor's command line, its console commands and its trace lines.
#include "sim/command_line.h"
#include "sim/trace.h"

#include <gtest/gtest.h>
#include <vector>

namespace vorkel::sim {
namespace {

using namespace std::chrono_literals;
using Kind = ConsoleCommand::Kind;

std::variant<ProgramOptions, std::string> parse(std::vector<std::string_view> args) {
    return parseCommandLine(args);
}

ProgramOptions parsed(std::vector<std::string_view> args) {
    auto result = parse(std::move(args));
    if (const std::string* error = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << *error;
        return {};
    }
    return std::get<ProgramOptions>(result);
}

std::string errorOf(std::vector<std::string_view> args) {
    auto result = parse(std::move(args));
    const std::string* error = std::get_if<std::string>(&result);
    return error != nullptr ? *error : std::string("(accepted)");
}

TEST(SensorSimCommandLine, defaultsDescribeARunningSensorAtNineteenTwoHundred) {
    const ProgramOptions options = parsed({});
    EXPECT_EQ(options.name, "VSENSOR1");
    EXPECT_FALSE(options.help);
    EXPECT_TRUE(options.traceFile.empty());
    EXPECT_TRUE(options.firmwareOut.empty());
    EXPECT_EQ(options.sensor.configuration, (FrameData{0x02, 0xF0, 1, 0, 0}));
    EXPECT_EQ(options.sensor.restartTime, 500ms);
    EXPECT_FALSE(options.sensor.powerOn);
    EXPECT_FALSE(options.sensor.bootloader);
    EXPECT_EQ(SensorModel(options.sensor).bitrate(), kBaud19200);
}

TEST(SensorSimCommandLine, everyOptionReachesItsField) {
    const ProgramOptions options = parsed({"--name",
                                           "TANK2",
                                           "--bitrate",
                                           "9600",
                                           "--restart-ms",
                                           "0",
                                           "--bootloader",
                                           "--power-on",
                                           "--delay-ms=25",
                                           "--drop-every",
                                           "5",
                                           "--corrupt-every",
                                           "6",
                                           "--wrong-echo-every",
                                           "7",
                                           "--chunked",
                                           "--garbage",
                                           "--pace",
                                           "--hold-back-ms=16",
                                           "--seed",
                                           "99",
                                           "--level",
                                           "100",
                                           "--wander",
                                           "0",
                                           "--temp",
                                           "-12",
                                           "--empty",
                                           "0x100",
                                           "--full",
                                           "1000",
                                           "--address",
                                           "255",
                                           "--analog-range",
                                           "0x01",
                                           "--multiplier",
                                           "0x85",
                                           "--averaging",
                                           "40",
                                           "--program-version",
                                           "2.5",
                                           "--boot-version",
                                           "1.4",
                                           "--module-id",
                                           "9",
                                           "--trace",
                                           "t.log",
                                           "--firmware-out",
                                           "fw.bin"});
    const SimOptions& sensor = options.sensor;
    EXPECT_EQ(options.name, "TANK2");
    EXPECT_EQ(sensor.configuration[0], 0x02 | mode_bit::kBitrate9600);
    EXPECT_EQ(sensor.restartTime, 0ms);
    EXPECT_EQ(sensor.adapterHoldBack, 16ms);
    EXPECT_TRUE(sensor.bootloader);
    EXPECT_TRUE(sensor.powerOn);
    EXPECT_EQ(sensor.replyDelay, 25ms);
    EXPECT_EQ(sensor.dropEvery, 5u);
    EXPECT_EQ(sensor.corruptEvery, 6u);
    EXPECT_EQ(sensor.wrongEchoEvery, 7u);
    EXPECT_TRUE(sensor.chunked);
    EXPECT_TRUE(sensor.garbage);
    EXPECT_TRUE(sensor.pace);
    EXPECT_EQ(sensor.seed, 99u);
    EXPECT_EQ(sensor.level, 100u);
    EXPECT_EQ(sensor.wander, 0u);
    EXPECT_EQ(sensor.temperature, -12);
    EXPECT_EQ(sensor.calibration, (CalibrationPoints{0x100, 1000}));
    EXPECT_EQ(sensor.configuration[2], 255);
    EXPECT_EQ(sensor.configuration[1], 0x01);
    EXPECT_EQ(sensor.configuration[3], 0x85);
    EXPECT_EQ(sensor.configuration[4], 40);
    EXPECT_EQ(sensor.programMajor, 2);
    EXPECT_EQ(sensor.programMinor, 5);
    EXPECT_EQ(sensor.bootMajor, 1);
    EXPECT_EQ(sensor.bootMinor, 4);
    EXPECT_EQ(sensor.moduleId, 9);
    EXPECT_EQ(options.traceFile, "t.log");
    EXPECT_EQ(options.firmwareOut, "fw.bin");
}

TEST(SensorSimCommandLine, bitrateAndModeCombineInEitherOrder) {
    EXPECT_EQ(parsed({"--bitrate", "9600", "--mode", "0x12"}).sensor.configuration[0], 0x32);
    EXPECT_EQ(parsed({"--mode", "0x12", "--bitrate", "9600"}).sensor.configuration[0], 0x32);
    EXPECT_EQ(parsed({"--mode", "0xF3", "--bitrate", "19200"}).sensor.configuration[0], 0x13)
        << "bit 5 cleared, bits 6 and 7 never kept";
    EXPECT_EQ(parsed({"--mode", "0x20"}).sensor.configuration[0], 0x20);
}

TEST(SensorSimCommandLine, refusesWhatItCannotUse) {
    EXPECT_NE(errorOf({"--frobnicate"}).find("unknown option --frobnicate"), std::string::npos);
    EXPECT_NE(errorOf({"--seed"}).find("needs a value"), std::string::npos);
    EXPECT_NE(errorOf({"--pace=1"}).find("takes no value"), std::string::npos);
    EXPECT_NE(errorOf({"--bitrate", "4800"}).find("19200 or 9600"), std::string::npos);
    EXPECT_NE(errorOf({"--drop-every", "-1"}).find("--drop-every"), std::string::npos);
    EXPECT_NE(errorOf({"--level", "4096"}).find("--level"), std::string::npos);
    EXPECT_NE(errorOf({"--temp", "128"}).find("--temp"), std::string::npos);
    EXPECT_NE(errorOf({"--delay-ms", "12x"}).find("--delay-ms"), std::string::npos);
    EXPECT_NE(errorOf({"--name", "a/b"}).find("--name"), std::string::npos);
    EXPECT_NE(errorOf({"--name", ".."}).find("--name"), std::string::npos);
    EXPECT_NE(errorOf({"--program-version", "1"}).find("--program-version"), std::string::npos);
    EXPECT_NE(errorOf({"--empty", "1048576"}).find("--empty"), std::string::npos);
}

TEST(SensorSimCommandLine, helpNamesEveryOptionAndTheTraceFormat) {
    EXPECT_TRUE(parsed({"--help"}).help);
    const std::string help = helpText("vorkel-sensor-sim");
    for (const char* option : {"--name",
                               "--bitrate",
                               "--power-on",
                               "--bootloader",
                               "--restart-ms",
                               "--delay-ms",
                               "--drop-every",
                               "--corrupt-every",
                               "--wrong-echo-every",
                               "--chunked",
                               "--garbage",
                               "--pace",
                               "--seed",
                               "--trace",
                               "--firmware-out",
                               "--level",
                               "--wander",
                               "--temp",
                               "--empty",
                               "--full",
                               "--mode",
                               "--address",
                               "--analog-range",
                               "--multiplier",
                               "--averaging",
                               "--program-version",
                               "--boot-version",
                               "--module-id",
                               "--help",
                               "level N",
                               "temp T",
                               "silent MS",
                               "quit",
                               "rx 31 05 04 00 00 00 00 09",
                               "vorkel-virtual-ports"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(SensorSimConsole, readsTheFourCommands) {
    EXPECT_EQ(parseConsoleCommand("level 1000"), (ConsoleCommand{Kind::Level, 1000, {}}));
    EXPECT_EQ(parseConsoleCommand("  temp   -7 \r"), (ConsoleCommand{Kind::Temperature, -7, {}}));
    EXPECT_EQ(parseConsoleCommand("silent 2500"), (ConsoleCommand{Kind::Silent, 2500, {}}));
    EXPECT_EQ(parseConsoleCommand("quit"), (ConsoleCommand{Kind::Quit, 0, {}}));
    EXPECT_EQ(parseConsoleCommand("   "), (ConsoleCommand{}));
}

TEST(SensorSimConsole, explainsWhatItDoesNotUnderstand) {
    const ConsoleCommand unknown = parseConsoleCommand("flood 3");
    EXPECT_EQ(unknown.kind, Kind::Invalid);
    EXPECT_NE(unknown.error.find("unknown command \"flood\""), std::string::npos);
    EXPECT_EQ(parseConsoleCommand("level").kind, Kind::Invalid);
    EXPECT_EQ(parseConsoleCommand("level 5000").kind, Kind::Invalid);
    EXPECT_EQ(parseConsoleCommand("temp hot").kind, Kind::Invalid);
    EXPECT_EQ(parseConsoleCommand("silent -1").kind, Kind::Invalid);
    EXPECT_EQ(parseConsoleCommand("quit now").kind, Kind::Invalid);
    EXPECT_EQ(parseConsoleCommand("Quit").kind, Kind::Invalid);
}

TEST(SensorSimTrace, linesAreTaggedUpperCaseHex) {
    EXPECT_EQ(
        formatTraceLine(
            {TraceRecord::Kind::Received, {0x31, 0x05, 0x04, 0x00, 0x00, 0x00, 0x00, 0x09}, {}}),
        "rx 31 05 04 00 00 00 00 09");
    EXPECT_EQ(formatTraceLine({TraceRecord::Kind::Sent, {0xAB, 0x3E, 0x0F}, {}}), "tx AB 3E 0F");
    EXPECT_EQ(formatTraceLine({TraceRecord::Kind::Note, {}, "restart"}), "-- restart");
}

} // namespace
} // namespace vorkel::sim
