#include "sim/sensor_model.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace vorkel::sim {
namespace {

// The first data byte of a level request: 04 is the ordinary poll, 01 switches on "Test 05".
constexpr std::uint8_t kTest05Request = 0x01;

// Flash that has been erased but not yet written reads as all ones.
constexpr std::uint8_t kErasedByte = 0xFF;

// Faults: a wrong echo flips every bit of the word's low byte, a corrupted reply gets its
// checksum off by one; both are sure to differ from the right value.
constexpr std::uint8_t kWrongEchoFlip = 0xFF;
constexpr std::uint8_t kChecksumSlip = 1;

// Noise before a reply and chunked replies: a few bytes, a few milliseconds.
constexpr int kMaxNoiseBytes = 3;
constexpr int kMaxChunkBytes = 3;
constexpr int kMinChunkGapMs = 1;
constexpr int kMaxChunkGapMs = 5;

constexpr std::uint8_t kByteMask = 0xFF;
constexpr std::uint8_t kNibbleMask = 0x0F;
constexpr unsigned kBitsPerByteShift = 8;
constexpr unsigned kHighWordShift = 16;
constexpr unsigned kNibbleShift = 4;

// Level reply payload positions (frame bytes 2..6).
namespace level_offset {
constexpr std::size_t kLevelLow = 0;
constexpr std::size_t kLevelHighAndCounterTop = 1;
constexpr std::size_t kTemperature = 2;
constexpr std::size_t kCounterMiddle = 3;
constexpr std::size_t kCounterLow = 4;
} // namespace level_offset

// Version reply payload positions.
namespace version_offset {
constexpr std::size_t kProgramMinor = 0;
constexpr std::size_t kProgramMajor = 1;
constexpr std::size_t kBootMinor = 2;
constexpr std::size_t kBootMajor = 3;
constexpr std::size_t kModuleId = 4;
} // namespace version_offset

// Firmware block positions, in the request's data and in the echo.
namespace block_offset {
constexpr std::size_t kAddressLow = 0;
constexpr std::size_t kAddressHigh = 1;
constexpr std::size_t kWordLow = 2;
constexpr std::size_t kWordHigh = 3;
} // namespace block_offset

// Calibration record positions.
namespace calibration_offset {
constexpr std::size_t kTopNibbles = 0;
constexpr std::size_t kEmptyMiddle = 1;
constexpr std::size_t kEmptyLow = 2;
constexpr std::size_t kFullMiddle = 3;
constexpr std::size_t kFullLow = 4;
} // namespace calibration_offset

bool isEvery(unsigned every, unsigned count) {
    return every != 0 && count % every == 0;
}

std::uint8_t lowByte(std::uint32_t value) {
    return static_cast<std::uint8_t>(value & kByteMask);
}

std::uint8_t middleByte(std::uint32_t value) {
    return lowByte(value >> kBitsPerByteShift);
}

std::uint8_t topNibble(std::uint32_t value) {
    return static_cast<std::uint8_t>((value >> kHighWordShift) & kNibbleMask);
}

std::string describeBaud(std::uint32_t baud) {
    return baud == 0 ? std::string("an unknown speed") : std::to_string(baud) + " baud";
}

// Time for `bytes` bytes to cross the wire at `baud`, rounded up to the clock's resolution.
SimTime wireTime(std::size_t bytes, std::uint32_t baud) {
    constexpr std::uint64_t kTicksPerSecond = SimTime::period::den;
    const std::uint64_t bits = bytes * kBitsPerByte * kTicksPerSecond;
    return SimTime{static_cast<SimTime::rep>((bits + baud - 1) / baud)};
}

} // namespace

Frame makeFrame(std::uint8_t start, CommandCode code, const FrameData& payload) {
    Frame frame{};
    frame[frame_offset::kStart] = start;
    frame[frame_offset::kCode] = toByte(code);
    std::copy(payload.begin(), payload.end(), frame.begin() + frame_offset::kData);
    frame[frame_offset::kChecksum] = frameChecksum(frame);
    return frame;
}

FrameData encodeCalibration(const CalibrationPoints& points) {
    FrameData record{};
    record[calibration_offset::kTopNibbles] =
        static_cast<std::uint8_t>(topNibble(points.empty) << kNibbleShift | topNibble(points.full));
    record[calibration_offset::kEmptyMiddle] = middleByte(points.empty);
    record[calibration_offset::kEmptyLow] = lowByte(points.empty);
    record[calibration_offset::kFullMiddle] = middleByte(points.full);
    record[calibration_offset::kFullLow] = lowByte(points.full);
    return record;
}

CalibrationPoints decodeCalibration(const FrameData& record) {
    const std::uint32_t top = record[calibration_offset::kTopNibbles];
    CalibrationPoints points;
    points.empty = (top >> kNibbleShift) << kHighWordShift |
                   std::uint32_t{record[calibration_offset::kEmptyMiddle]} << kBitsPerByteShift |
                   record[calibration_offset::kEmptyLow];
    points.full = (top & kNibbleMask) << kHighWordShift |
                  std::uint32_t{record[calibration_offset::kFullMiddle]} << kBitsPerByteShift |
                  record[calibration_offset::kFullLow];
    return points;
}

SensorModel::SensorModel(const SimOptions& options, SimTime now)
    : options_(options)
    , random_(options.seed)
    , configuration_(options.configuration)
    , calibration_(options.calibration)
    , temperature_(options.temperature)
    , silentUntil_(now)
    , bootWindowUntil_(now)
    , blockWindowUntil_(now)
    , quietUntil_(now)
    , lastByteAt_(now)
    , receiverBusyUntil_(now)
    , lineFreeAt_(now) {
    configuration_[config_offset::kMode] &= mode_bit::kStored;
    calibration_.empty &= kMeasurementMask;
    calibration_.full &= kMeasurementMask;
    setLevel(options.level);
    if (options.bootloader) {
        startUpdate();
    } else if (options.powerOn) {
        restartAfter(now);
    }
}

// ---- receiver ----------------------------------------------------------------------------

void SensorModel::receive(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud,
                          SimTime now) {
    if (bytes.empty()) {
        return;
    }
    if (lineBaud != bitrate()) {
        // At another speed the receiver sees framing errors and noise, never a request; a
        // request it had begun is spoilt as well.
        pending_.clear();
        note("ignored " + std::to_string(bytes.size()) + " bytes at " + describeBaud(lineBaud) +
             ", sensor at " + describeBaud(bitrate()));
        return;
    }
    // Paced, a byte has arrived only when its stop bit has crossed the wire: what the other
    // side wrote at `now` comes in one byte time after another, behind whatever is still on its
    // way, and a request is taken (and answered) when its last byte is in.
    const SimTime start = options_.pace ? std::max(now, receiverBusyUntil_) : now;
    if (!pending_.empty() && start - lastByteAt_ >= kInterFrameGap) {
        note("dropped an unfinished request of " + std::to_string(pending_.size()) + " bytes");
        pending_.clear();
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        lastByteAt_ = options_.pace ? start + wireTime(i + 1, lineBaud) : now;
        takeByte(bytes[i], lastByteAt_);
    }
    receiverBusyUntil_ = lastByteAt_;
}

void SensorModel::takeByte(std::uint8_t byte, SimTime now) {
    if (pending_.empty() && byte != kRequestStart) {
        return; // everything before a start byte is noise
    }
    pending_.push_back(byte);
    if (pending_.size() < kFrameSize) {
        return;
    }
    Frame request{};
    std::copy(pending_.begin(), pending_.end(), request.begin());
    pending_.clear();
    handleRequest(request, now);
}

void SensorModel::handleRequest(const Frame& request, SimTime now) {
    trace_.push_back({TraceRecord::Kind::Received, ByteString(request.begin(), request.end()), {}});
    if (frameChecksum(request) != request[frame_offset::kChecksum]) {
        note("bad checksum, not answered");
        return;
    }
    if (!isKnownCommandCode(request[frame_offset::kCode])) {
        note("unknown command code, not answered");
        return;
    }
    const bool isBlock = request[frame_offset::kCode] == toByte(CommandCode::FirmwareBlock);
    switch (phase(now)) {
    case SensorPhase::Restarting:
        note("restarting, not answered");
        return;
    case SensorPhase::BootWindow:
        if (!isBlock) {
            note("boot loader waits for firmware, not answered");
            return;
        }
        startUpdate();
        handleFirmwareBlock(request, now);
        return;
    case SensorPhase::Bootloader:
        handleBootloader(request, now);
        return;
    case SensorPhase::Running:
        handleRunning(request, now);
        return;
    }
}

// ---- the measuring firmware ----------------------------------------------------------------

void SensorModel::handleRunning(const Frame& request, SimTime now) {
    const auto code = static_cast<CommandCode>(request[frame_offset::kCode]);
    const FrameData data = frameData(request);
    switch (code) {
    case CommandCode::ReadLevel:
        if (data[0] == kTest05Request) {
            test05_ = true;
        }
        sendReply(levelReply(), now);
        return;
    case CommandCode::ReadVersion:
        sendReply(versionReply(), now);
        return;
    case CommandCode::ReadConfiguration: {
        const SimTime end = sendReply(makeFrame(kReplyStart, code, configuration_), now);
        // The boot loader is handed a firmware block for a while after a configuration read:
        // that is how an update starts without power-cycling the sensor.
        blockWindowUntil_ = end + kBootWindow;
        return;
    }
    case CommandCode::ReadCalibration:
        sendReply(makeFrame(kReplyStart, code, encodeCalibration(calibration_)), now);
        return;
    case CommandCode::WriteConfiguration: {
        // The reply still leaves at the old speed; the new one holds from the restart on.
        const SimTime end = sendReply(makeFrame(kReplyStart, code, data), now);
        configuration_ = data;
        configuration_[config_offset::kMode] &= mode_bit::kStored;
        restartAfter(end);
        return;
    }
    case CommandCode::CalibrateEmpty:
    case CommandCode::CalibrateFull:
        // The point is taken and the measurement restarts under it, but the sensor stays on
        // the line: the configurator reads the points back right after this reply.
        sendReply(makeFrame(kReplyStart, code, FrameData{}), now);
        (code == CommandCode::CalibrateEmpty ? calibration_.empty : calibration_.full) =
            measurement_;
        test05_ = false;
        note("measurement restarted");
        return;
    case CommandCode::WriteCalibration: {
        const SimTime end = sendReply(makeFrame(kReplyStart, code, data), now);
        calibration_ = decodeCalibration(data);
        restartAfter(end);
        return;
    }
    case CommandCode::FirmwareBlock:
        if (now >= blockWindowUntil_) {
            note("firmware block outside the boot loader's window, ignored");
            return;
        }
        startUpdate();
        handleFirmwareBlock(request, now);
        return;
    }
}

Frame SensorModel::levelReply() {
    const int wander = static_cast<int>(options_.wander);
    std::int64_t shown = measurement_;
    if (test05_) {
        // "Test 05" shows the level half-way between the calibration points above the real
        // one, so that the empty calibration can be checked without fuel.
        shown += (std::int64_t{calibration_.full} - calibration_.empty) / 2;
    }
    const int level =
        std::clamp(static_cast<int>(levelForMeasurement(shown)) + randomBetween(-wander, wander), 0,
                   static_cast<int>(fullScale()));
    const auto levelBits = static_cast<std::uint32_t>(level);

    FrameData payload{};
    payload[level_offset::kLevelLow] = lowByte(levelBits);
    payload[level_offset::kLevelHighAndCounterTop] = static_cast<std::uint8_t>(
        topNibble(measurement_) << kNibbleShift | (middleByte(levelBits) & kNibbleMask));
    payload[level_offset::kTemperature] = static_cast<std::uint8_t>(static_cast<std::int8_t>(
        std::clamp<int>(temperature_, std::numeric_limits<std::int8_t>::min(),
                        std::numeric_limits<std::int8_t>::max())));
    payload[level_offset::kCounterMiddle] = middleByte(measurement_);
    payload[level_offset::kCounterLow] = lowByte(measurement_);
    return makeFrame(kReplyStart, CommandCode::ReadLevel, payload);
}

Frame SensorModel::versionReply() const {
    FrameData payload{};
    payload[version_offset::kProgramMinor] = options_.programMinor;
    payload[version_offset::kProgramMajor] = options_.programMajor;
    payload[version_offset::kBootMinor] = options_.bootMinor;
    payload[version_offset::kBootMajor] = options_.bootMajor;
    payload[version_offset::kModuleId] = options_.moduleId;
    return makeFrame(kReplyStart, CommandCode::ReadVersion, payload);
}

// ---- the boot loader -----------------------------------------------------------------------

void SensorModel::startUpdate() {
    inBootloader_ = true;
    image_.assign(kFirmwareImageSize, kErasedByte);
    note("boot loader takes firmware");
}

void SensorModel::handleBootloader(const Frame& request, SimTime now) {
    const auto code = static_cast<CommandCode>(request[frame_offset::kCode]);
    if (code == CommandCode::FirmwareBlock) {
        handleFirmwareBlock(request, now);
        return;
    }
    // The boot loader knows no other command; it answers with its own start byte so that the
    // configurator learns that it waits for firmware.
    sendReply(makeFrame(kBootloaderStart, code, FrameData{}), now);
}

void SensorModel::handleFirmwareBlock(const Frame& request, SimTime now) {
    const FrameData data = frameData(request);
    const unsigned address = data[block_offset::kAddressLow] |
                             unsigned{data[block_offset::kAddressHigh]} << kBitsPerByteShift;
    if (address <= kLastBlockAddress) {
        image_[address] = data[block_offset::kWordLow];
        image_[address + 1] = data[block_offset::kWordHigh];
    } else {
        note("firmware block beyond the image at " + std::to_string(address) + ", not stored");
    }

    // The echo tells the configurator which word the boot loader took. A wrong echo makes the
    // configurator send the block again; the stored word is the right one, so a fault that
    // hits the last block (whose echo is not checked) cannot spoil the image.
    FrameData echo{};
    std::copy_n(data.begin(), block_offset::kWordHigh + 1, echo.begin());
    if (isEvery(options_.wrongEchoEvery, ++blocks_)) {
        echo[block_offset::kWordLow] ^= kWrongEchoFlip;
        note("wrong echo for the block at " + std::to_string(address));
    }
    const SimTime end =
        sendReply(makeFrame(kBootloaderStart, CommandCode::FirmwareBlock, echo), now);

    if (address == kLastBlockAddress) {
        inBootloader_ = false;
        flashedImage_ = image_;
        note("firmware update complete");
        restartAfter(end);
    }
}

// ---- transmitter ---------------------------------------------------------------------------

SimTime SensorModel::sendReply(Frame reply, SimTime now) {
    const SimTime start = std::max(now + options_.replyDelay, lineFreeAt_);
    if (now < quietUntil_) {
        note("silent, not answered");
        return start;
    }
    ++replies_;
    if (isEvery(options_.dropEvery, replies_)) {
        note("reply dropped");
        return start;
    }
    if (isEvery(options_.corruptEvery, replies_)) {
        reply[frame_offset::kChecksum] =
            static_cast<std::uint8_t>(reply[frame_offset::kChecksum] + kChecksumSlip);
        note("reply checksum corrupted");
    }
    ByteString bytes;
    if (options_.garbage && reply[frame_offset::kStart] == kReplyStart) {
        // Noise never contains the reply's start byte, or it would be a reply of its own.
        const int count = randomBetween(1, kMaxNoiseBytes);
        for (int i = 0; i < count; ++i) {
            int noise = randomBetween(0, kByteMask - 1);
            if (noise >= kReplyStart) {
                ++noise;
            }
            bytes.push_back(static_cast<std::uint8_t>(noise));
        }
    }
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    return queueTransmission(std::move(bytes), start);
}

SimTime SensorModel::queueTransmission(ByteString bytes, SimTime start) {
    Transmission transmission;
    transmission.due.reserve(bytes.size());
    SimTime gaps{0};
    int chunkLeft =
        options_.chunked ? randomBetween(1, kMaxChunkBytes) : static_cast<int>(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (chunkLeft == 0) {
            gaps += std::chrono::milliseconds{randomBetween(kMinChunkGapMs, kMaxChunkGapMs)};
            chunkLeft = randomBetween(1, kMaxChunkBytes);
        }
        // A paced byte is due when its stop bit has left the transmitter.
        const SimTime onWire = options_.pace ? wireTime(i + 1, bitrate()) : SimTime{0};
        transmission.due.push_back(start + onWire + gaps);
        --chunkLeft;
    }
    transmission.bytes = std::move(bytes);
    lineFreeAt_ = transmission.due.back(); // the adapter holds the bytes, not the line
    if (options_.adapterHoldBack > SimTime{0}) {
        std::fill(transmission.due.begin(), transmission.due.end(),
                  lineFreeAt_ + options_.adapterHoldBack);
    }
    queue_.push_back(std::move(transmission));
    return lineFreeAt_;
}

ByteString SensorModel::takeOutput(SimTime now) {
    ByteString out;
    while (!queue_.empty()) {
        Transmission& transmission = queue_.front();
        while (transmission.sent < transmission.bytes.size() &&
               transmission.due[transmission.sent] <= now) {
            if (transmission.sent == 0) {
                trace_.push_back({TraceRecord::Kind::Sent, transmission.bytes, {}});
            }
            out.push_back(transmission.bytes[transmission.sent++]);
        }
        if (transmission.sent < transmission.bytes.size()) {
            break;
        }
        queue_.pop_front();
    }
    return out;
}

std::optional<SimTime> SensorModel::nextOutputTime() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    const Transmission& transmission = queue_.front();
    return transmission.due[transmission.sent];
}

// ---- phases --------------------------------------------------------------------------------

void SensorModel::restartAfter(SimTime replyEnd) {
    test05_ = false;
    pending_.clear();
    silentUntil_ = replyEnd + options_.restartTime;
    bootWindowUntil_ = silentUntil_ + kBootWindow;
    blockWindowUntil_ = replyEnd;
    note("restart");
}

SensorPhase SensorModel::phase(SimTime now) const {
    if (inBootloader_) {
        return SensorPhase::Bootloader;
    }
    if (now < silentUntil_) {
        return SensorPhase::Restarting;
    }
    if (now < bootWindowUntil_) {
        return SensorPhase::BootWindow;
    }
    return SensorPhase::Running;
}

std::uint32_t SensorModel::bitrate() const {
    return (configuration_[config_offset::kMode] & mode_bit::kBitrate9600) != 0 ? kBaud9600
                                                                                : kBaud19200;
}

unsigned SensorModel::fullScale() const {
    return (configuration_[config_offset::kMode] & mode_bit::kRange1023) != 0 ? kFullScale1023
                                                                              : kFullScale4095;
}

// ---- measurement ---------------------------------------------------------------------------

unsigned SensorModel::levelForMeasurement(std::int64_t measurement) const {
    const std::int64_t empty = calibration_.empty;
    const std::int64_t full = calibration_.full;
    const std::int64_t scale = fullScale();
    if (full == empty) {
        return measurement >= full ? fullScale() : 0;
    }
    // Points entered the wrong way round (full below empty) read the scale backwards.
    const std::int64_t span = full > empty ? full - empty : empty - full;
    const std::int64_t distance = full > empty ? measurement - empty : empty - measurement;
    return static_cast<unsigned>(std::clamp<std::int64_t>(distance * scale / span, 0, scale));
}

unsigned SensorModel::baseLevel() const {
    return levelForMeasurement(measurement_);
}

void SensorModel::setLevel(unsigned level) {
    const std::int64_t scale = fullScale();
    const std::int64_t wanted = std::min<std::int64_t>(level, scale);
    const std::int64_t empty = calibration_.empty;
    const std::int64_t full = calibration_.full;
    std::int64_t measurement = empty;
    if (full != empty) {
        // Rounded up, so that the truncating conversion back gives the same level.
        const std::int64_t span = full > empty ? full - empty : empty - full;
        const std::int64_t distance = (wanted * span + scale - 1) / scale;
        measurement = full > empty ? empty + distance : empty - distance;
    }
    measurement_ = static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(measurement, 0, std::int64_t{kMeasurementMask}));
}

void SensorModel::setTemperature(int celsius) {
    temperature_ = celsius;
}

void SensorModel::silence(SimTime now, SimTime duration) {
    quietUntil_ = std::max(quietUntil_, now + duration);
}

// ---- bookkeeping ---------------------------------------------------------------------------

void SensorModel::note(std::string text) {
    trace_.push_back({TraceRecord::Kind::Note, {}, std::move(text)});
}

int SensorModel::randomBetween(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
}

std::vector<TraceRecord> SensorModel::takeTrace() {
    return std::exchange(trace_, {});
}

std::optional<ByteString> SensorModel::takeFlashedImage() {
    return std::exchange(flashedImage_, std::nullopt);
}

} // namespace vorkel::sim
