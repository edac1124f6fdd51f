// The virtual sensor's behaviour: what a Vorkel sensor answers, when it answers, how it
// restarts and how its boot loader takes new firmware.
//
// The model is pure and driven by time stamps: the caller hands it the bytes that came off the
// line together with the line speed they were sent at and the current time, and asks it for
// the reply bytes that are due by a given time. It reads no clock and touches no device, so
// delays, chunked replies, pacing at the wire speed and restarts all happen in virtual time and
// its tests run in microseconds. The program around it (main.cpp) owns the clock and the
// pseudo-terminal.
#pragma once

#include "protocol/frame.h"
#include "transport/byte_string.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace vorkel::sim {

// Virtual time since an origin the caller chooses (the program: its start). Microseconds, because
// a byte at 19200 baud takes 521 of them: whole milliseconds would add most of a millisecond to
// every paced request and reply.
using SimTime = std::chrono::microseconds;

inline constexpr std::uint32_t kBaud19200 = 19200;
inline constexpr std::uint32_t kBaud9600 = 9600;

// Bits of the mode byte, the first byte of the configuration record.
namespace mode_bit {
inline constexpr std::uint8_t kFrequencyWithResistor = 0x01;
inline constexpr std::uint8_t kAnalogOutput = 0x02;
inline constexpr std::uint8_t kFrequencyRange1020 = 0x04;
inline constexpr std::uint8_t kAutoPush = 0x08;
inline constexpr std::uint8_t kRange1023 = 0x10;
inline constexpr std::uint8_t kBitrate9600 = 0x20;
inline constexpr std::uint8_t kStored = 0x3F; // bits 6 and 7 are never kept
} // namespace mode_bit

// Positions inside the five-byte configuration record.
namespace config_offset {
inline constexpr std::size_t kMode = 0;
inline constexpr std::size_t kAnalogRange = 1;
inline constexpr std::size_t kAddress = 2;
inline constexpr std::size_t kMultiplier = 3;
inline constexpr std::size_t kAveraging = 4;
} // namespace config_offset

inline constexpr unsigned kFullScale4095 = 4095;
inline constexpr unsigned kFullScale1023 = 1023;
inline constexpr std::uint32_t kMeasurementMask = 0xFFFFF; // raw measurements are 20-bit

// The firmware image the boot loader takes: 6144 bytes, one 16-bit word per block.
inline constexpr std::size_t kFirmwareImageSize = 6144;
inline constexpr std::size_t kFirmwareWordSize = 2;
inline constexpr std::uint16_t kLastBlockAddress = kFirmwareImageSize - kFirmwareWordSize;

// How long the boot loader listens for a firmware block after power-on, after a restart and
// after the sensor has answered a configuration read.
inline constexpr SimTime kBootWindow = std::chrono::milliseconds{2000};
// A gap this long between two bytes of a request ends the request: the sensor drops the
// partial frame and waits for a new start byte, which lets it fall back into step after noise.
inline constexpr SimTime kInterFrameGap = std::chrono::milliseconds{50};
// One byte on the wire: start bit, eight data bits, stop bit.
inline constexpr unsigned kBitsPerByte = 10;

// Defaults of a sensor fresh from the factory: the analog output spans its whole range (lower
// index 0, upper index 15: 0..20 V), and the calibration spans the 16-bit measuring range.
inline constexpr std::uint8_t kWholeAnalogRange = 0xF0;
inline constexpr std::uint32_t kFactoryFullPoint = 0xFFFF;

// The two calibration points: the raw measurements (20-bit) the sensor takes as an empty and as
// a full tank.
struct CalibrationPoints {
    std::uint32_t empty = 0;
    std::uint32_t full = 0;

    friend bool operator==(const CalibrationPoints&, const CalibrationPoints&) = default;
};

struct SimOptions {
    // What the sensor reports about itself.
    std::uint8_t programMajor = 1;
    std::uint8_t programMinor = 21;
    std::uint8_t bootMajor = 1;
    std::uint8_t bootMinor = 3;
    std::uint8_t moduleId = 167;

    // The stored configuration record: analog output, 0..20 V, address 1, no multiplier, no
    // averaging, 19200 baud.
    FrameData configuration{mode_bit::kAnalogOutput, kWholeAnalogRange, 1, 0, 0};
    // The calibration points for an empty and a full tank.
    CalibrationPoints calibration{0, kFactoryFullPoint};

    // The measurement: the level it starts at (under the calibration above), how far the
    // reported level wanders around it, and the temperature in degrees Celsius.
    unsigned level = 2048;
    unsigned wander = 2;
    int temperature = 22;

    // How the sensor starts: already running (the default, so that a configurator finds it at
    // once), freshly powered (silent for `restartTime`, then the boot window), or stuck in its
    // boot loader until it receives a complete firmware image.
    bool powerOn = false;
    bool bootloader = false;
    // How long the sensor is silent after a restart, before its boot window opens.
    SimTime restartTime = std::chrono::milliseconds{500};

    // Faults on demand. A count N means every Nth event; 0 means never.
    SimTime replyDelay{0};
    unsigned dropEvery = 0;      // replies that never go out
    unsigned corruptEvery = 0;   // replies with a wrong checksum
    unsigned wrongEchoEvery = 0; // firmware blocks whose echo carries a wrong word
    bool chunked = false;        // replies in small pieces with short gaps
    bool garbage = false;        // a few noise bytes before each ">" reply
    bool pace = false;           // bytes take their real wire time, requests and replies alike
    // A USB adapter between the sensor and the computer that holds what it receives until its
    // latency timer runs out (16 ms on the common FTDI chips, 1 ms in low-latency mode): each
    // reply reaches the computer in one piece, this long after its last byte.
    SimTime adapterHoldBack{0};
    std::uint32_t seed = 1;
};

enum class SensorPhase {
    Running,    // the measuring firmware answers requests
    Restarting, // silent after a restart
    BootWindow, // the boot loader listens for a firmware block, ignores everything else
    Bootloader, // the boot loader takes firmware and answers every request with "1" frames
};

// One line of the trace: a request frame the sensor took from the line, a reply as it went on
// the wire (noise bytes included), or a note about something the sensor did or ignored.
struct TraceRecord {
    enum class Kind { Received, Sent, Note };
    Kind kind = Kind::Note;
    ByteString bytes;
    std::string note;

    friend bool operator==(const TraceRecord&, const TraceRecord&) = default;
};

class SensorModel {
public:
    explicit SensorModel(const SimOptions& options, SimTime now = SimTime{0});

    // Bytes that arrived at `now`, sent by the other side at `lineBaud`. Bytes sent at any other
    // speed than the sensor's are noise to its receiver and are dropped.
    void receive(std::span<const std::uint8_t> bytes, std::uint32_t lineBaud, SimTime now);

    // The reply bytes that are due by `now`, in wire order; each byte is handed out once.
    ByteString takeOutput(SimTime now);
    // When the next reply byte is due; none while nothing is queued.
    std::optional<SimTime> nextOutputTime() const;

    // Console commands of the program.
    void setLevel(unsigned level);
    void setTemperature(int celsius);
    void silence(SimTime now, SimTime duration); // requests in [now, now + duration) go unanswered

    // What tests and the program look at.
    SensorPhase phase(SimTime now) const;
    std::uint32_t bitrate() const; // the sensor's own line speed, from its mode byte
    unsigned fullScale() const;
    const FrameData& configuration() const { return configuration_; }
    const CalibrationPoints& calibration() const { return calibration_; }
    std::uint32_t measurement() const { return measurement_; }
    bool test05() const { return test05_; }
    // The level the sensor reports for its current measurement, before wander.
    unsigned baseLevel() const;

    // Trace records since the last call.
    std::vector<TraceRecord> takeTrace();
    // The image of an update that has completed since the last call, once.
    std::optional<ByteString> takeFlashedImage();

private:
    struct Transmission {
        ByteString bytes;
        std::vector<SimTime> due; // one per byte, never decreasing
        std::size_t sent = 0;
    };

    void takeByte(std::uint8_t byte, SimTime now);
    void handleRequest(const Frame& request, SimTime now);
    void handleRunning(const Frame& request, SimTime now);
    void handleBootloader(const Frame& request, SimTime now);
    void handleFirmwareBlock(const Frame& request, SimTime now);

    void startUpdate();
    Frame levelReply();
    Frame versionReply() const;

    // Queues a reply (with the faults that apply) and returns when its last byte is on the wire.
    SimTime sendReply(Frame reply, SimTime now);
    SimTime queueTransmission(ByteString bytes, SimTime start);
    void restartAfter(SimTime replyEnd);
    void note(std::string text);

    unsigned levelForMeasurement(std::int64_t measurement) const;
    int randomBetween(int low, int high);

    SimOptions options_;
    std::mt19937 random_;

    FrameData configuration_;
    CalibrationPoints calibration_;
    std::uint32_t measurement_ = 0;
    int temperature_;
    bool test05_ = false;

    // Phases: restarting until silentUntil_, boot window until bootWindowUntil_, then running;
    // inBootloader_ overrides them all. After a configuration read the running firmware also
    // hands a firmware block to its boot loader until blockWindowUntil_.
    bool inBootloader_ = false;
    SimTime silentUntil_;
    SimTime bootWindowUntil_;
    SimTime blockWindowUntil_;
    SimTime quietUntil_; // the console's "silent" command

    // The receiver: the bytes of the request taken so far, and when the last one came; when
    // pacing, until when the bytes written so far are still on their way.
    ByteString pending_;
    SimTime lastByteAt_{0};
    SimTime receiverBusyUntil_{0};

    // The transmitter.
    std::deque<Transmission> queue_;
    SimTime lineFreeAt_{0};
    unsigned replies_ = 0;
    unsigned blocks_ = 0;

    ByteString image_;
    std::optional<ByteString> flashedImage_;
    std::vector<TraceRecord> trace_;
};

// Pieces of the wire format, shared with the tests.
Frame makeFrame(std::uint8_t start, CommandCode code, const FrameData& payload);
FrameData encodeCalibration(const CalibrationPoints& points);
CalibrationPoints decodeCalibration(const FrameData& record);

} // namespace vorkel::sim
