// The virtual sensor's model in virtual time: reply layouts, restarts and the boot loader's
// windows, firmware updates, the receiver's rules and the faults on demand.
#include "sim/sensor_model.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <set>

namespace vorkel::sim {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kPollData = 0x04;
constexpr std::uint8_t kTest05Data = 0x01;

// A sensor whose level holds still, so that replies can be compared byte for byte.
SimOptions steadyOptions() {
    SimOptions options;
    options.wander = 0;
    return options;
}

Frame request(CommandCode code, FrameData data = {}) {
    return buildRequest(code, data);
}

Frame poll() {
    return request(CommandCode::ReadLevel, {kPollData});
}

ByteString bytesOf(std::span<const std::uint8_t> frame) {
    return ByteString(frame.begin(), frame.end());
}

// A reply frame built by hand: start, code, payload and the checksum over bytes 1..6.
ByteString reply(std::uint8_t start, std::uint8_t code, FrameData payload) {
    ByteString frame(kFrameSize);
    frame[0] = start;
    frame[1] = code;
    unsigned sum = code;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        frame[2 + i] = payload[i];
        sum += payload[i];
        sum = (sum & 0xFF) + (sum >> 8);
    }
    frame[7] = static_cast<std::uint8_t>(sum);
    return frame;
}

// The level reply fields, decoded here on their own rather than through the model's code.
unsigned levelOf(const ByteString& frame) {
    return (frame[3] & 0x0Fu) << 8 | frame[2];
}
std::uint32_t counterOf(const ByteString& frame) {
    return (frame[3] & 0xF0u) << 12 | unsigned{frame[5]} << 8 | frame[6];
}
int temperatureOf(const ByteString& frame) {
    return static_cast<std::int8_t>(frame[4]);
}
bool checksumMatches(const ByteString& frame) {
    return frame.size() == kFrameSize &&
           frameChecksum(std::span<const std::uint8_t, kFrameSize>(frame.data(), kFrameSize)) ==
               frame[7];
}

// The sensor on a bench: requests go in at a time and a speed, replies come out when due.
struct Bench {
    SensorModel model;

    explicit Bench(const SimOptions& options = steadyOptions())
        : model(options) {}

    // Sends a request at `at` and returns what has gone out by then.
    ByteString ask(const Frame& frame, SimTime at, std::uint32_t baud = kBaud19200) {
        model.receive(frame, baud, at);
        return model.takeOutput(at);
    }
};

ByteString randomImage(unsigned seed) {
    std::mt19937 random(seed);
    ByteString image(kFirmwareImageSize);
    for (std::uint8_t& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    return image;
}

Frame firmwareBlock(unsigned address, const ByteString& image, std::uint8_t filler = 0x5A) {
    return request(CommandCode::FirmwareBlock, {static_cast<std::uint8_t>(address & 0xFF),
                                                static_cast<std::uint8_t>(address >> 8),
                                                image[address], image[address + 1], filler});
}

// Sends every block of `image` from `at` on, one millisecond apart, checks each echo, and
// returns the time after the last reply.
SimTime flash(Bench& bench, const ByteString& image, SimTime at, std::uint32_t baud = kBaud19200) {
    for (unsigned address = 0; address < kFirmwareImageSize; address += 2) {
        const ByteString echo = bench.ask(firmwareBlock(address, image), at, baud);
        EXPECT_EQ(echo.size(), kFrameSize) << "block at " << address;
        if (echo.size() != kFrameSize) {
            return at;
        }
        EXPECT_EQ(echo[0], kBootloaderStart);
        EXPECT_EQ(echo[1], toByte(CommandCode::FirmwareBlock));
        EXPECT_EQ(echo[4], image[address]) << "block at " << address;
        EXPECT_EQ(echo[5], image[address + 1]) << "block at " << address;
        EXPECT_TRUE(checksumMatches(echo));
        at += 1ms;
    }
    return at;
}

// ---- reply layouts ---------------------------------------------------------------------------

TEST(SensorModelReplies, versionReplyReadsOnePointTwentyOneBootOnePointThreeModule167) {
    Bench bench;
    EXPECT_EQ(bench.ask(request(CommandCode::ReadVersion), 0ms),
              reply(0x3E, 0x59, {21, 1, 3, 1, 167}));
}

TEST(SensorModelReplies, configurationReadReturnsTheStoredRecord) {
    Bench bench;
    EXPECT_EQ(bench.ask(request(CommandCode::ReadConfiguration), 0ms),
              reply(0x3E, 0x02, {0x02, 0xF0, 0x01, 0x00, 0x00}));
}

TEST(SensorModelReplies, levelReplyPacksLevelCounterAndTemperature) {
    SimOptions options = steadyOptions();
    // Sixteen raw counts per level step, starting above 65535 so that the counter's top
    // nibble is in use.
    options.calibration = {0x10000, 0x10000 + 16 * 4095};
    options.level = 3000;
    options.temperature = -5;
    Bench bench(options);

    const ByteString answer = bench.ask(poll(), 0ms);
    // level 3000 = 0xBB8; measurement 0x10000 + 16 * 3000 = 0x1BB80; -5 = 0xFB.
    EXPECT_EQ(answer, reply(0x3E, 0x05, {0xB8, 0x1B, 0xFB, 0xBB, 0x80}));
    EXPECT_EQ(levelOf(answer), 3000u);
    EXPECT_EQ(counterOf(answer), bench.model.measurement());
    EXPECT_EQ(temperatureOf(answer), -5);
}

TEST(SensorModelReplies, levelCommandSetsTheMeasurementUnderTheCurrentCalibration) {
    Bench bench;
    for (const unsigned level : {0u, 1u, 1000u, 2048u, 4094u, 4095u}) {
        bench.model.setLevel(level);
        EXPECT_EQ(bench.model.baseLevel(), level);
        EXPECT_EQ(levelOf(bench.ask(poll(), 0ms)), level);
    }
    bench.model.setLevel(1000);
    // level 1000 of 4095 over 0..65535 needs a measurement of 16004 (16003.66 rounded up).
    EXPECT_EQ(bench.model.measurement(), 16004u);
    bench.model.setLevel(9999);
    EXPECT_EQ(levelOf(bench.ask(poll(), 0ms)), 4095u);
}

TEST(SensorModelReplies, reversedCalibrationReadsTheScaleBackwards) {
    SimOptions options = steadyOptions();
    options.calibration = {65535, 0};
    options.level = 1000;
    Bench bench(options);
    EXPECT_EQ(levelOf(bench.ask(poll(), 0ms)), 1000u);
    EXPECT_GT(bench.model.measurement(), 32768u);
}

TEST(SensorModelReplies, rangeBitLimitsTheLevelTo1023) {
    SimOptions options = steadyOptions();
    options.configuration[0] |= mode_bit::kRange1023;
    options.level = 4000;
    Bench bench(options);
    EXPECT_EQ(bench.model.fullScale(), 1023u);
    EXPECT_EQ(levelOf(bench.ask(poll(), 0ms)), 1023u);
    bench.model.setLevel(512);
    EXPECT_EQ(levelOf(bench.ask(poll(), 0ms)), 512u);
}

TEST(SensorModelReplies, temperatureIsASignedByteAndClamps) {
    Bench bench;
    bench.model.setTemperature(-40);
    EXPECT_EQ(bench.ask(poll(), 0ms)[4], 0xD8);
    bench.model.setTemperature(200);
    EXPECT_EQ(temperatureOf(bench.ask(poll(), 0ms)), 127);
    bench.model.setTemperature(-200);
    EXPECT_EQ(temperatureOf(bench.ask(poll(), 0ms)), -128);
}

TEST(SensorModelReplies, levelWandersByAtMostTwoAroundTheSetLevel) {
    SimOptions options;
    options.level = 2000;
    options.seed = 7;
    Bench bench(options);
    std::set<unsigned> seen;
    for (int i = 0; i < 200; ++i) {
        const ByteString answer = bench.ask(poll(), i * 1ms);
        ASSERT_TRUE(checksumMatches(answer));
        seen.insert(levelOf(answer));
        EXPECT_EQ(counterOf(answer), bench.model.measurement());
    }
    EXPECT_GE(*seen.begin(), 1998u);
    EXPECT_LE(*seen.rbegin(), 2002u);
    EXPECT_GE(seen.size(), 3u) << "the level should wander";
}

TEST(SensorModelReplies, calibrationRecordPacksBothTwentyBitPoints) {
    SimOptions options = steadyOptions();
    options.calibration = {78934, 161946};
    Bench bench(options);
    EXPECT_EQ(bench.ask(request(CommandCode::ReadCalibration), 0ms),
              reply(0x3E, 0x57, {0x12, 0x34, 0x56, 0x78, 0x9A}));
}

TEST(SensorModelReplies, calibrationRecordCodecRoundTrips) {
    const CalibrationPoints points{0xABCDE, 0x12345};
    EXPECT_EQ(encodeCalibration(points), (FrameData{0xA1, 0xBC, 0xDE, 0x23, 0x45}));
    EXPECT_EQ(decodeCalibration(encodeCalibration(points)), points);
}

TEST(SensorModelReplies, test05AddsHalfTheCalibrationSpanUntilTheSensorRestarts) {
    SimOptions options = steadyOptions();
    options.level = 1000;
    options.restartTime = 0ms;
    Bench bench(options);
    ASSERT_EQ(levelOf(bench.ask(poll(), 0ms)), 1000u);

    // measurement 16004 + 65535 / 2 = 48771, which reads 48771 * 4095 / 65535 = 3047.
    const ByteString switched = bench.ask(request(CommandCode::ReadLevel, {kTest05Data}), 10ms);
    EXPECT_EQ(switched[1], 0x05);
    EXPECT_EQ(levelOf(switched), 3047u);
    EXPECT_TRUE(bench.model.test05());
    EXPECT_EQ(levelOf(bench.ask(poll(), 20ms)), 3047u) << "Test 05 stays on for later polls";

    const FrameData sameCalibration = encodeCalibration(bench.model.calibration());
    ASSERT_EQ(bench.ask(request(CommandCode::WriteCalibration, sameCalibration), 30ms).size(),
              kFrameSize);
    EXPECT_FALSE(bench.model.test05());
    EXPECT_EQ(levelOf(bench.ask(poll(), 30ms + kBootWindow)), 1000u);
}

// ---- writes, calibrations and restarts ------------------------------------------------------

TEST(SensorModelRestarts, configurationWriteEchoesStoresAndFollowsWithSilenceThenBootWindow) {
    SimOptions options = steadyOptions();
    options.restartTime = 500ms;
    Bench bench(options);

    const FrameData record{0xFD, 0x21, 7, 0x85, 9}; // bits 6, 7 set; bit 5: 9600 baud
    EXPECT_EQ(bench.ask(request(CommandCode::WriteConfiguration, record), 1000ms),
              reply(0x3E, 0x01, record));
    EXPECT_EQ(bench.model.configuration(), (FrameData{0x3D, 0x21, 7, 0x85, 9}));
    EXPECT_EQ(bench.model.bitrate(), kBaud9600);

    EXPECT_EQ(bench.model.phase(1000ms), SensorPhase::Restarting);
    EXPECT_EQ(bench.model.phase(1499ms), SensorPhase::Restarting);
    EXPECT_EQ(bench.model.phase(1500ms), SensorPhase::BootWindow);
    EXPECT_EQ(bench.model.phase(3499ms), SensorPhase::BootWindow);
    EXPECT_EQ(bench.model.phase(3500ms), SensorPhase::Running);

    EXPECT_TRUE(bench.ask(poll(), 1499ms, kBaud9600).empty()) << "silent while restarting";
    EXPECT_TRUE(bench.ask(poll(), 1500ms, kBaud9600).empty()) << "boot loader waits for firmware";
    EXPECT_TRUE(bench.ask(request(CommandCode::ReadVersion), 3499ms, kBaud9600).empty());
    EXPECT_TRUE(bench.ask(poll(), 3500ms, kBaud19200).empty()) << "the old speed is gone";
    const ByteString answer = bench.ask(poll(), 3500ms, kBaud9600);
    EXPECT_EQ(answer.size(), kFrameSize);
    EXPECT_EQ(answer[0], kReplyStart);
    EXPECT_EQ(bench.ask(request(CommandCode::ReadConfiguration), 3600ms, kBaud9600),
              reply(0x3E, 0x02, {0x3D, 0x21, 7, 0x85, 9}));
}

TEST(SensorModelRestarts, bootWindowAnswersOnlyAFirmwareBlockWhichStartsAnUpdate) {
    SimOptions options = steadyOptions();
    options.restartTime = 100ms;
    Bench bench(options);
    const FrameData sameCalibration = encodeCalibration(bench.model.calibration());
    ASSERT_FALSE(bench.ask(request(CommandCode::WriteCalibration, sameCalibration), 0ms).empty());

    const ByteString image = randomImage(1);
    for (const CommandCode code :
         {CommandCode::ReadLevel, CommandCode::ReadVersion, CommandCode::ReadConfiguration,
          CommandCode::ReadCalibration, CommandCode::WriteConfiguration}) {
        EXPECT_TRUE(bench.ask(request(code), 150ms).empty()) << int(toByte(code));
    }
    EXPECT_EQ(bench.model.phase(150ms), SensorPhase::BootWindow);
    EXPECT_EQ(bench.ask(firmwareBlock(0, image, 0x11), 200ms),
              reply(0x31, 0x58, {0x00, 0x00, image[0], image[1], 0x00}));
    EXPECT_EQ(bench.model.phase(200ms), SensorPhase::Bootloader);
    EXPECT_EQ(bench.model.phase(200ms + kBootWindow), SensorPhase::Bootloader)
        << "an update holds the boot loader beyond its window";
}

TEST(SensorModelRestarts, calibrationsTakeTheCurrentMeasurementAndStayOnTheLine) {
    Bench bench(steadyOptions());
    bench.model.setLevel(300);
    const std::uint32_t low = bench.model.measurement();
    EXPECT_EQ(bench.ask(request(CommandCode::CalibrateEmpty), 0ms),
              reply(0x3E, 0x03, {0, 0, 0, 0, 0}));
    EXPECT_EQ(bench.model.calibration().empty, low);
    EXPECT_EQ(bench.model.phase(1ms), SensorPhase::Running);

    bench.model.setLevel(3800);
    const std::uint32_t high = bench.model.measurement();
    ASSERT_FALSE(bench.ask(request(CommandCode::ReadLevel, {0x01, 0, 0, 0, 0}), 10ms).empty());
    ASSERT_TRUE(bench.model.test05());
    EXPECT_EQ(bench.ask(request(CommandCode::CalibrateFull), 20ms),
              reply(0x3E, 0x04, {0, 0, 0, 0, 0}));
    EXPECT_EQ(bench.model.calibration(), (CalibrationPoints{low, high}));
    EXPECT_FALSE(bench.model.test05()) << "the measurement restarts";

    // The configurator reads the points back at once; the measurement now reads full scale.
    EXPECT_EQ(bench.ask(request(CommandCode::ReadCalibration), 30ms),
              reply(0x3E, 0x57, encodeCalibration({low, high})));
    EXPECT_EQ(levelOf(bench.ask(poll(), 40ms)), 4095u);
}

TEST(SensorModelRestarts, calibrationWriteStoresEchoesAndRestarts) {
    Bench bench;
    const FrameData record{0x0E, 0x00, 0x00, 0x84, 0x80};
    EXPECT_EQ(bench.ask(request(CommandCode::WriteCalibration, record), 0ms),
              reply(0x3E, 0x56, record));
    EXPECT_EQ(bench.model.calibration(), (CalibrationPoints{0, 951424}));
    EXPECT_EQ(bench.model.phase(0ms), SensorPhase::Restarting);
}

TEST(SensorModelRestarts, powerOnStartsSilentThenTheBootWindow) {
    SimOptions options = steadyOptions();
    options.powerOn = true;
    options.restartTime = 300ms;
    Bench bench(options);
    EXPECT_EQ(bench.model.phase(0ms), SensorPhase::Restarting);
    EXPECT_EQ(bench.model.phase(300ms), SensorPhase::BootWindow);
    EXPECT_TRUE(bench.ask(poll(), 300ms).empty());
    EXPECT_FALSE(bench.ask(poll(), 300ms + kBootWindow).empty());
}

TEST(SensorModelRestarts, startsRunningByDefault) {
    Bench bench;
    EXPECT_EQ(bench.model.phase(0ms), SensorPhase::Running);
    EXPECT_EQ(bench.ask(poll(), 0ms).size(), kFrameSize);
}

// ---- firmware -----------------------------------------------------------------------------

TEST(SensorModelFirmware, updateStartedAfterAConfigurationReadTakesTheWholeImage) {
    SimOptions options = steadyOptions();
    options.restartTime = 200ms;
    Bench bench(options);
    const ByteString image = randomImage(2);

    ASSERT_EQ(bench.ask(request(CommandCode::ReadConfiguration), 0ms).size(), kFrameSize);
    EXPECT_EQ(bench.model.phase(0ms), SensorPhase::Running) << "the sensor keeps answering";
    const SimTime done = flash(bench, image, 10ms);

    EXPECT_EQ(bench.model.takeFlashedImage(), image);
    EXPECT_EQ(bench.model.takeFlashedImage(), std::nullopt) << "handed out once";
    const SimTime lastReply = done - 1ms;
    EXPECT_EQ(bench.model.phase(lastReply), SensorPhase::Restarting);
    EXPECT_EQ(bench.model.phase(lastReply + 200ms), SensorPhase::BootWindow);
    EXPECT_EQ(bench.ask(poll(), lastReply + 200ms + kBootWindow)[0], kReplyStart);
}

TEST(SensorModelFirmware, duringAnUpdateEveryRequestGetsABootLoaderFrame) {
    Bench bench;
    const ByteString image = randomImage(3);
    ASSERT_FALSE(bench.ask(request(CommandCode::ReadConfiguration), 0ms).empty());
    ASSERT_EQ(bench.ask(firmwareBlock(0, image), 1ms).size(), kFrameSize);

    EXPECT_EQ(bench.ask(poll(), 2ms), reply(0x31, 0x05, {}));
    EXPECT_EQ(bench.ask(request(CommandCode::ReadConfiguration), 3ms), reply(0x31, 0x02, {}));
    EXPECT_EQ(bench.ask(request(CommandCode::ReadVersion), 10s), reply(0x31, 0x59, {}))
        << "the boot loader does not give up";
}

TEST(SensorModelFirmware, blocksOutsideTheWindowAreIgnored) {
    const ByteString image = randomImage(4);
    Bench neverRead;
    EXPECT_TRUE(neverRead.ask(firmwareBlock(0, image), 5000ms).empty());
    EXPECT_EQ(neverRead.model.phase(5000ms), SensorPhase::Running);

    Bench late;
    ASSERT_FALSE(late.ask(request(CommandCode::ReadConfiguration), 100ms).empty());
    EXPECT_TRUE(late.ask(firmwareBlock(0, image), 100ms + kBootWindow).empty());
    EXPECT_EQ(late.model.phase(100ms + kBootWindow), SensorPhase::Running);

    Bench inTime;
    ASSERT_FALSE(inTime.ask(request(CommandCode::ReadConfiguration), 100ms).empty());
    EXPECT_EQ(inTime.ask(firmwareBlock(0, image), 100ms + kBootWindow - 1ms).size(), kFrameSize);
}

TEST(SensorModelFirmware, stuckBootLoaderAnswersWithItsStartByteUntilAnUpdateCompletes) {
    SimOptions options = steadyOptions();
    options.bootloader = true;
    options.restartTime = 0ms;
    Bench bench(options);
    EXPECT_EQ(bench.model.phase(0ms), SensorPhase::Bootloader);
    EXPECT_EQ(bench.ask(poll(), 0ms), reply(0x31, 0x05, {}));
    EXPECT_EQ(bench.ask(request(CommandCode::ReadVersion), 1ms), reply(0x31, 0x59, {}));

    const ByteString image = randomImage(5);
    const SimTime done = flash(bench, image, 5ms);
    EXPECT_EQ(bench.model.takeFlashedImage(), image);
    EXPECT_EQ(bench.model.phase(done), SensorPhase::BootWindow);
    EXPECT_EQ(bench.ask(request(CommandCode::ReadVersion), done + kBootWindow),
              reply(0x3E, 0x59, {21, 1, 3, 1, 167}));
}

TEST(SensorModelFirmware, resentBlocksOverwriteAndUnwrittenWordsStayErased) {
    SimOptions options = steadyOptions();
    options.bootloader = true;
    Bench bench(options);
    ByteString image(kFirmwareImageSize, 0x00);
    ByteString wrong = image;
    wrong[100] = 0x77;
    ASSERT_FALSE(bench.ask(firmwareBlock(100, wrong), 0ms).empty());
    ASSERT_FALSE(bench.ask(firmwareBlock(100, image), 1ms).empty());
    ASSERT_FALSE(bench.ask(firmwareBlock(kLastBlockAddress, image), 2ms).empty());

    const auto flashed = bench.model.takeFlashedImage();
    ASSERT_TRUE(flashed.has_value());
    EXPECT_EQ((*flashed)[100], 0x00) << "the resent word replaced the first";
    EXPECT_EQ((*flashed)[0], 0xFF) << "a word that never came is erased flash";
}

// ---- the receiver -------------------------------------------------------------------------

TEST(SensorModelReceiver, requestsAtAnotherSpeedAreNoise) {
    Bench bench;
    EXPECT_TRUE(bench.ask(poll(), 0ms, kBaud9600).empty());
    EXPECT_TRUE(bench.ask(poll(), 1ms, 0).empty()) << "an unknown speed";
    EXPECT_EQ(bench.ask(poll(), 2ms, kBaud19200).size(), kFrameSize);

    // A request begun at the right speed is spoilt by bytes at the wrong one.
    const Frame frame = poll();
    bench.model.receive(std::span(frame).first(4), kBaud19200, 3ms);
    bench.model.receive(std::span(frame).first(4), kBaud9600, 3ms);
    bench.model.receive(std::span(frame).last(4), kBaud19200, 3ms);
    EXPECT_TRUE(bench.model.takeOutput(3ms).empty());
}

TEST(SensorModelReceiver, skipsNoiseBeforeTheStartByte) {
    Bench bench;
    ByteString noisy{0x00, 0xFF, 0x3E, 0x12, 0x05};
    const Frame frame = poll();
    noisy.insert(noisy.end(), frame.begin(), frame.end());
    bench.model.receive(noisy, kBaud19200, 0ms);
    EXPECT_EQ(levelOf(bench.model.takeOutput(0ms)), 2048u);
}

TEST(SensorModelReceiver, assemblesARequestFromPiecesAndDropsAStalePiece) {
    Bench bench;
    const Frame frame = poll();
    bench.model.receive(std::span(frame).first(3), kBaud19200, 0ms);
    bench.model.receive(std::span(frame).last(5), kBaud19200, kInterFrameGap - 1ms);
    EXPECT_EQ(bench.model.takeOutput(kInterFrameGap).size(), kFrameSize);

    // A start byte that arrived long before the rest is forgotten, so the next whole request
    // is read in step.
    bench.model.receive(std::span(frame).first(1), kBaud19200, 100ms);
    EXPECT_EQ(bench.ask(frame, 100ms + kInterFrameGap).size(), kFrameSize);
}

TEST(SensorModelReceiver, badChecksumAndUnknownCodesGetNoReply) {
    Bench bench;
    Frame corrupted = poll();
    corrupted[frame_offset::kChecksum] ^= 0x01;
    EXPECT_TRUE(bench.ask(corrupted, 0ms).empty());

    Frame unknown{kRequestStart, 0x10, 0, 0, 0, 0, 0, 0};
    unknown[frame_offset::kChecksum] = frameChecksum(unknown);
    EXPECT_TRUE(bench.ask(unknown, 1ms).empty());

    EXPECT_EQ(bench.ask(poll(), 2ms).size(), kFrameSize) << "still in step afterwards";
}

TEST(SensorModelReceiver, silentCommandSwallowsRepliesForItsDuration) {
    Bench bench;
    bench.model.silence(100ms, 1000ms);
    EXPECT_TRUE(bench.ask(poll(), 100ms).empty());
    EXPECT_TRUE(bench.ask(poll(), 1099ms).empty());
    EXPECT_EQ(bench.ask(poll(), 1100ms).size(), kFrameSize);
}

TEST(SensorModelReceiver, traceRecordsRequestsRepliesAndNotes) {
    Bench bench;
    const Frame frame = poll();
    bench.model.receive(frame, kBaud9600, 0ms);
    const ByteString answer = bench.ask(frame, 1ms);

    const std::vector<TraceRecord> trace = bench.model.takeTrace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0].kind, TraceRecord::Kind::Note);
    EXPECT_NE(trace[0].note.find("9600"), std::string::npos);
    EXPECT_EQ(trace[1], (TraceRecord{TraceRecord::Kind::Received, bytesOf(frame), {}}));
    EXPECT_EQ(trace[2], (TraceRecord{TraceRecord::Kind::Sent, answer, {}}));
    EXPECT_TRUE(bench.model.takeTrace().empty());
}

// ---- faults -------------------------------------------------------------------------------

TEST(SensorModelFaults, dropEveryThirdReply) {
    SimOptions options = steadyOptions();
    options.dropEvery = 3;
    Bench bench(options);
    std::vector<int> answered;
    for (int i = 1; i <= 9; ++i) {
        if (!bench.ask(poll(), i * 1ms).empty()) {
            answered.push_back(i);
        }
    }
    EXPECT_EQ(answered, (std::vector<int>{1, 2, 4, 5, 7, 8}));
}

TEST(SensorModelFaults, corruptEverySecondReplysChecksum) {
    SimOptions options = steadyOptions();
    options.corruptEvery = 2;
    Bench bench(options);
    for (int i = 1; i <= 6; ++i) {
        const ByteString answer = bench.ask(poll(), i * 1ms);
        ASSERT_EQ(answer.size(), kFrameSize);
        EXPECT_EQ(checksumMatches(answer), i % 2 != 0) << "reply " << i;
        EXPECT_EQ(levelOf(answer), 2048u) << "only the checksum is wrong";
    }
}

TEST(SensorModelFaults, delayHoldsEveryReplyBack) {
    SimOptions options = steadyOptions();
    options.replyDelay = 30ms;
    Bench bench(options);
    EXPECT_TRUE(bench.ask(poll(), 100ms).empty());
    EXPECT_EQ(bench.model.nextOutputTime(), 130ms);
    EXPECT_TRUE(bench.model.takeOutput(129ms).empty());
    EXPECT_EQ(bench.model.takeOutput(130ms).size(), kFrameSize);
    EXPECT_EQ(bench.model.nextOutputTime(), std::nullopt);
}

TEST(SensorModelFaults, paceTakesTenBitTimesPerByteForTheRequestAndTheReply) {
    SimOptions options = steadyOptions();
    options.pace = true;
    Bench bench(options);
    // At 19200 baud a byte takes 520.8 us: the 8-byte request is in at 4167 us, and the reply's
    // bytes leave 521, 1042, ... 4167 us after that.
    EXPECT_TRUE(bench.ask(poll(), 0ms).empty());
    EXPECT_EQ(bench.model.nextOutputTime(), 4167us + 521us);
    EXPECT_EQ(bench.model.takeOutput(4167us + 1563us).size(), 3u);
    EXPECT_EQ(bench.model.takeOutput(4167us + 4166us).size(), 4u);
    EXPECT_EQ(bench.model.takeOutput(4167us + 4167us).size(), 1u);

    // Two requests written at once: the second is in a request time after the first, and its
    // reply follows the first reply on the line.
    bench.model.receive(poll(), kBaud19200, 10ms);
    bench.model.receive(poll(), kBaud19200, 10ms);
    EXPECT_EQ(bench.model.takeOutput(10ms + 8334us).size(), kFrameSize);
    EXPECT_EQ(bench.model.takeOutput(10ms + 12500us).size(), 7u);
    EXPECT_EQ(bench.model.takeOutput(10ms + 12501us).size(), 1u);
}

TEST(SensorModelFaults, anAdapterHoldsEachPacedReplyBackInOnePiece) {
    SimOptions options = steadyOptions();
    options.pace = true;
    options.adapterHoldBack = 16ms;
    Bench bench(options);
    // The reply's last byte crosses the wire at 8334 us; the computer gets all eight 16 ms on.
    EXPECT_TRUE(bench.ask(poll(), 0ms).empty());
    EXPECT_EQ(bench.model.nextOutputTime(), 8334us + 16ms);
    EXPECT_TRUE(bench.model.takeOutput(8333us + 16ms).empty());
    EXPECT_EQ(bench.model.takeOutput(8334us + 16ms).size(), kFrameSize);
}

TEST(SensorModelFaults, paceFollowsTheSensorsBitRate) {
    SimOptions options = steadyOptions();
    options.pace = true;
    options.configuration[0] |= mode_bit::kBitrate9600;
    Bench bench(options);
    // 8 bytes of 10 bits at 9600 baud: 8.33 ms in, 8.33 ms out.
    bench.model.receive(poll(), kBaud9600, 0ms);
    EXPECT_EQ(bench.model.takeOutput(16667us).size(), 7u);
    EXPECT_EQ(bench.model.takeOutput(16668us).size(), 1u);
}

TEST(SensorModelFaults, chunkedRepliesComeInSmallPiecesWithGaps) {
    SimOptions options = steadyOptions();
    options.chunked = true;
    options.seed = 11;
    Bench bench(options);
    bench.model.receive(poll(), kBaud19200, 0ms);

    ByteString whole;
    std::vector<std::size_t> pieces;
    SimTime now = 0ms;
    while (const auto due = bench.model.nextOutputTime()) {
        EXPECT_GE(*due, now);
        now = *due;
        const ByteString piece = bench.model.takeOutput(now);
        pieces.push_back(piece.size());
        whole.insert(whole.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(whole, reply(0x3E, 0x05, {0x00, 0x08, 22, 0x80, 0x08}));
    EXPECT_GE(pieces.size(), 3u);
    EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), 3u);
    EXPECT_GT(now, 0ms);
    EXPECT_LE(now, 7 * 5ms);
}

TEST(SensorModelFaults, garbageComesBeforeTheReplyAndIsNeverAReplyStart) {
    SimOptions options = steadyOptions();
    options.garbage = true;
    options.seed = 3;
    Bench bench(options);
    std::set<std::size_t> noiseLengths;
    // Enough replies that a noise byte of 0x3E would turn up thousands of bytes in.
    for (int i = 0; i < 3000; ++i) {
        const ByteString out = bench.ask(poll(), i * 1ms);
        ASSERT_GT(out.size(), kFrameSize);
        const std::size_t noise = out.size() - kFrameSize;
        noiseLengths.insert(noise);
        EXPECT_LE(noise, 3u);
        EXPECT_EQ(std::count(out.begin(), out.end() - kFrameSize, kReplyStart), 0);
        EXPECT_TRUE(checksumMatches(ByteString(out.end() - kFrameSize, out.end())));
        EXPECT_EQ(out[noise], kReplyStart);
    }
    EXPECT_GE(noiseLengths.size(), 2u) << "the amount of noise varies";
}

TEST(SensorModelFaults, garbageLeavesBootLoaderFramesAlone) {
    SimOptions options = steadyOptions();
    options.garbage = true;
    options.bootloader = true;
    Bench bench(options);
    EXPECT_EQ(bench.ask(poll(), 0ms), reply(0x31, 0x05, {}));
}

TEST(SensorModelFaults, wrongEchoEveryFourthBlockButTheImageStaysRight) {
    SimOptions options = steadyOptions();
    options.bootloader = true;
    options.wrongEchoEvery = 4;
    Bench bench(options);
    const ByteString image = randomImage(6);
    int wrong = 0;
    for (unsigned address = 0, block = 1; address < kFirmwareImageSize; address += 2, ++block) {
        const ByteString echo = bench.ask(firmwareBlock(address, image), block * 1ms);
        ASSERT_TRUE(checksumMatches(echo));
        const bool matches = echo[4] == image[address] && echo[5] == image[address + 1];
        EXPECT_EQ(matches, block % 4 != 0) << "block " << block;
        wrong += matches ? 0 : 1;
    }
    EXPECT_EQ(wrong, 3072 / 4);
    EXPECT_EQ(bench.model.takeFlashedImage(), image);
}

TEST(SensorModelFaults, theSameSeedGivesTheSameBytes) {
    SimOptions options;
    options.chunked = true;
    options.garbage = true;
    options.seed = 42;
    auto run = [](const SimOptions& sensorOptions) {
        Bench bench(sensorOptions);
        std::vector<std::pair<SimTime, ByteString>> timeline;
        for (int i = 0; i < 20; ++i) {
            bench.model.receive(poll(), kBaud19200, i * 100ms);
            while (const auto due = bench.model.nextOutputTime()) {
                timeline.emplace_back(*due, bench.model.takeOutput(*due));
            }
        }
        return timeline;
    };
    EXPECT_EQ(run(options), run(options));
    SimOptions other = options;
    other.seed = 43;
    EXPECT_NE(run(options), run(other));
}

} // namespace
} // namespace vorkel::sim
