// The virtual sensor's request handling: SensorModel fed arbitrary line bytes, well-formed
// requests of every code with arbitrary data, line speeds that match the sensor's or not, and
// console commands, in virtual time, with the reply faults on or off.
//
// Input: a byte of start-up flags and the sensor's settings, then operations until the input
// ends: a chunk of raw bytes, a well-formed request, a console command or line speed, a step of
// virtual time after which the due output is taken.
//
// Besides memory and undefined-behaviour errors: output comes out exactly when it is due; the
// stored configuration and calibration stay within what the sensor keeps; a flashed image has
// the image size; and without faults the line carries only whole, well-formed replies, never
// more of them than requests the sensor took.
#include "fuzz/fuzz_input.h"
#include "sim/sensor_model.h"

#include <optional>

namespace vorkel::test {
namespace {

using sim::SensorModel;
using sim::SimOptions;
using sim::SimTime;
using Ms = std::chrono::milliseconds; // the model's clock is finer; the steps are in ms

constexpr std::uint8_t kRequestCodes[] = {1, 2, 3, 4, 5, 0x56, 0x57, 0x58, 0x59, 0x10};
constexpr std::uint32_t kLineSpeeds[] = {0 /* the sensor's own */, 19200, 9600, 4800};

class Harness {
public:
    explicit Harness(FuzzInput& input)
        : options_(optionsFrom(input))
        , model_(options_, now_) {
        faultless_ = !options_.garbage && options_.dropEvery == 0 && options_.corruptEvery == 0 &&
                     options_.wrongEchoEvery == 0;
    }

    void run(FuzzInput& input) {
        while (!input.empty()) {
            const std::uint8_t operation = input.byte();
            const std::uint8_t argument = operation >> 2;
            switch (operation & 3) {
            case 0:
            case 1:
                receive(input.take(argument));
                break;
            case 2:
                if ((argument & 1) == 0) {
                    const std::uint8_t code = input.pick(kRequestCodes);
                    Frame request = buildRequest(static_cast<CommandCode>(code), input.take(5));
                    receive(request);
                } else {
                    console(argument >> 1, input);
                }
                break;
            default:
                now_ += argument < 48 ? Ms{argument * 4} : Ms{(argument - 47) * 500};
                takeOutput();
                break;
            }
            checkState();
        }
        now_ += Ms{60000};
        takeOutput();
    }

private:
    static SimOptions optionsFrom(FuzzInput& input) {
        SimOptions options;
        const std::uint8_t flags = input.byte();
        options.bootloader = (flags & 0x01) != 0;
        options.powerOn = (flags & 0x02) != 0;
        options.chunked = (flags & 0x04) != 0;
        options.garbage = (flags & 0x08) != 0;
        options.pace = (flags & 0x10) != 0;
        if ((flags & 0x20) != 0) {
            options.dropEvery = input.byte() % 4;
            options.corruptEvery = input.byte() % 4;
            options.wrongEchoEvery = input.byte() % 4;
        }
        options.configuration[sim::config_offset::kMode] = input.byte();
        options.replyDelay = Ms{input.byte()};
        options.restartTime = Ms{input.byte() * 4};
        const std::uint8_t wander = input.byte(); // mostly a little, sometimes the whole scale
        options.wander = wander < 8 ? wander : wander * 16u;
        options.level = input.word();
        options.temperature = static_cast<std::int8_t>(input.byte());
        options.calibration.empty = input.word();
        options.calibration.full = std::uint32_t{input.word()} << 4;
        options.seed = input.byte();
        return options;
    }

    void receive(std::span<const std::uint8_t> bytes) {
        const std::uint32_t baud = lineSpeed_ == 0 ? model_.bitrate() : lineSpeed_;
        model_.receive(bytes, baud, now_);
    }

    void console(unsigned command, FuzzInput& input) {
        switch (command % 4) {
        case 0:
            model_.setLevel(input.word());
            break;
        case 1:
            model_.setTemperature(static_cast<std::int16_t>(input.word()));
            break;
        case 2:
            model_.silence(now_, Ms{input.word()});
            break;
        default:
            lineSpeed_ = input.pick(kLineSpeeds);
            break;
        }
    }

    void takeOutput() {
        const std::optional<SimTime> due = model_.nextOutputTime();
        const ByteString out = model_.takeOutput(now_);
        FUZZ_CHECK(out.empty() == (!due || *due > now_));
        const std::optional<SimTime> next = model_.nextOutputTime();
        FUZZ_CHECK(!next || *next > now_);
        stream_.insert(stream_.end(), out.begin(), out.end());

        for (const sim::TraceRecord& record : model_.takeTrace()) {
            if (record.kind == sim::TraceRecord::Kind::Received) {
                FUZZ_CHECK(record.bytes.size() == kFrameSize);
                Frame request;
                std::copy_n(record.bytes.begin(), kFrameSize, request.begin());
                if (frameChecksum(request) == request[frame_offset::kChecksum] &&
                    isKnownCommandCode(request[frame_offset::kCode])) {
                    ++requestsTaken_;
                }
            } else if (record.kind == sim::TraceRecord::Kind::Sent && !options_.garbage) {
                FUZZ_CHECK(record.bytes.size() == kFrameSize);
            }
        }
        if (faultless_) {
            checkStream();
        }
    }

    // Without faults the line carries whole replies, one per request at most.
    void checkStream() {
        for (; checkedBytes_ + kFrameSize <= stream_.size(); checkedBytes_ += kFrameSize) {
            Frame reply;
            std::copy_n(stream_.begin() + static_cast<std::ptrdiff_t>(checkedBytes_), kFrameSize,
                        reply.begin());
            FUZZ_CHECK(reply[frame_offset::kStart] == kReplyStart ||
                       reply[frame_offset::kStart] == kBootloaderStart);
            FUZZ_CHECK(isKnownCommandCode(reply[frame_offset::kCode]));
            FUZZ_CHECK(frameChecksum(reply) == reply[frame_offset::kChecksum]);
            ++replies_;
        }
        FUZZ_CHECK(replies_ <= requestsTaken_);
    }

    void checkState() {
        FUZZ_CHECK((model_.configuration()[sim::config_offset::kMode] & ~sim::mode_bit::kStored) ==
                   0);
        FUZZ_CHECK(model_.calibration().empty <= sim::kMeasurementMask);
        FUZZ_CHECK(model_.calibration().full <= sim::kMeasurementMask);
        FUZZ_CHECK(model_.measurement() <= sim::kMeasurementMask);
        FUZZ_CHECK(model_.baseLevel() <= model_.fullScale());
        if (const std::optional<ByteString> image = model_.takeFlashedImage()) {
            FUZZ_CHECK(image->size() == sim::kFirmwareImageSize);
        }
    }

    SimTime now_{0};
    SimOptions options_;
    SensorModel model_;
    bool faultless_ = true;
    std::uint32_t lineSpeed_ = 0;
    ByteString stream_;
    std::size_t checkedBytes_ = 0;
    std::size_t replies_ = 0;
    std::size_t requestsTaken_ = 0;
};

} // namespace
} // namespace vorkel::test

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorkel::test::FuzzInput input(data, size);
    vorkel::test::Harness harness(input);
    harness.run(input);
    return 0;
}
