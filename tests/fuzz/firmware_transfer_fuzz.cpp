// The reply handling of a firmware transfer: ExchangeEngine::ReceiveData with the real
// FirmwareTransfer behind it, fed arbitrary reply bytes in arbitrary chunks, in every phase of a
// transfer (waiting for the configuration reply, early, deep into the image, at the last block,
// after giving up), between Start clicks, time-outs and requests of other senders.
//
// Input: a set-up byte, then operations until the input ends: a chunk of received bytes, the
// echo of the outstanding block (right or with a wrong word), a run of right echoes, a step of
// virtual time, Start, another sender's request, or a boot loader announcing itself.
//
// Besides memory and undefined-behaviour errors, every write is checked: a well-formed request;
// a block never beyond the image, always carrying the image's word at its address and a filler
// of 0..254; a transfer never skips a word (each block repeats the one before or follows it,
// and only Start goes back to address 0). A completion is logged only after the block at 6142,
// and its warning states exactly the mismatches counted.
#include "firmware/firmware_transfer.h"
#include "fuzz/fuzz_input.h"
#include "protocol/exchange_ending_owner.h"
#include "support/engine_fakes.h"
#include "support/temp_dir.h"

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace vorkel::test {
namespace {

namespace rs = request_state;

constexpr unsigned kNoBlock = 0xFFFFFFFF;

// One image for the whole run, written once.
struct ImageFile {
    TempDir dir;
    FirmwareImage image{};
    std::filesystem::path path = dir / "fw.bin";

    ImageFile() {
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        }
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    }
};

const ImageFile& imageFile() {
    static const ImageFile file;
    return file;
}

class SilentFirmwareView : public FirmwareView {
public:
    void showFirmwarePath(const std::filesystem::path&) override {}
    void enableConfigurationWrite(bool) override {}
    void showProgressBar() override {}
    void setProgress(std::uint32_t bytes) override { FUZZ_CHECK(bytes < kFirmwareImageSize); }
};

class Harness {
public:
    explicit Harness(FuzzInput& input) {
        time_.add(mainTimer_);
        time_.add(pollTimer_);
        for (const CommandCode code :
             {CommandCode::WriteConfiguration, CommandCode::ReadConfiguration,
              CommandCode::CalibrateEmpty, CommandCode::CalibrateFull,
              CommandCode::WriteCalibration, CommandCode::ReadCalibration, CommandCode::ReadLevel,
              CommandCode::ReadVersion}) {
            engine_.setReplyOwner(code, &ending_);
        }
        engine_.setPortList({{"ttyUSB0", "ttyUSB0"}});
        transfer_.restoreFirmwarePath(imageFile().path);
        const std::uint8_t setup = input.byte();
        engine_.start();
        time_.advanceBy(ExchangeEngine::kPollDelayAfterOpenMs);
        if ((setup & 1) != 0) {
            deliver(reply(0x05, {}));
        }
        engine_.setAwaitingFirmware((setup & 2) != 0);
        start();
    }

    void run(FuzzInput& input) {
        while (!input.empty()) {
            const std::uint8_t operation = input.byte();
            const std::uint8_t argument = operation >> 3;
            switch (operation & 7) {
            case 0:
            case 1:
                deliver(input.take(argument));
                break;
            case 2:
                echo(argument % 4 == 0 ? std::optional<std::uint16_t>(input.word()) : std::nullopt,
                     (argument & 4) != 0 ? kReplyStart : kBootloaderStart);
                break;
            case 3:
                // Deep into the image quickly: up to 31 x 100 right echoes.
                for (int i = 0; i < argument * 100 && blockOutstanding(); ++i) {
                    echo(std::nullopt, kBootloaderStart);
                }
                break;
            case 4:
                time_.advanceBy(std::uint64_t{argument} * 125);
                check();
                break;
            case 5:
                start();
                break;
            case 6:
                engine_.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
                check();
                break;
            default:
                deliver(reply(input.byte(), {}, kBootloaderStart));
                break;
            }
        }
    }

private:
    bool blockOutstanding() const {
        return transfer_.isRunning() &&
               port_.written.back()[frame_offset::kCode] == toByte(CommandCode::FirmwareBlock);
    }

    void start() {
        const bool wasRunning = transfer_.isRunning();
        transfer_.startflashButtonClick();
        newTransfer_ = newTransfer_ || !wasRunning; // a click during a transfer does nothing
        check();
    }

    void echo(std::optional<std::uint16_t> word, std::uint8_t start) {
        if (port_.written.empty()) {
            return;
        }
        const ByteString& block = port_.written.back();
        const std::uint16_t taken =
            word.value_or(static_cast<std::uint16_t>(block[4] | block[5] << 8));
        deliver(reply(toByte(CommandCode::FirmwareBlock),
                      {block[2], block[3], static_cast<std::uint8_t>(taken & 0xFF),
                       static_cast<std::uint8_t>(taken >> 8), 0},
                      start));
    }

    void deliver(const Frame& frame) { deliver(std::span<const std::uint8_t>(frame)); }
    void deliver(std::span<const std::uint8_t> chunk) {
        const std::size_t logBefore = log_.size();
        const std::size_t warningsBefore = warnings_.size();
        engine_.ReceiveData(ByteString(chunk.begin(), chunk.end()));
        for (std::size_t i = logBefore; i < log_.size(); ++i) {
            if (log_[i] == "rsFirmwareUpdateSuccess") {
                FUZZ_CHECK(lastAddress_ == FirmwareTransfer::kLastBlockAddress);
                FUZZ_CHECK(!transfer_.isRunning() && transfer_.transferAddress() == 0);
                const bool warned = warnings_.size() > warningsBefore;
                FUZZ_CHECK(warned == (transfer_.errorCount() > 0));
                if (warned) {
                    FUZZ_CHECK(warnings_.back() ==
                               "rsFlashErrorsCounted" + std::to_string(transfer_.errorCount()));
                }
            }
        }
        check();
    }

    // Every write since the last look.
    void check() {
        for (; checked_ < port_.written.size(); ++checked_) {
            const ByteString& sent = port_.written[checked_];
            FUZZ_CHECK(sent.size() == kFrameSize);
            Frame frame;
            std::copy_n(sent.begin(), kFrameSize, frame.begin());
            FUZZ_CHECK(frame[frame_offset::kStart] == kRequestStart);
            FUZZ_CHECK(frameChecksum(frame) == frame[frame_offset::kChecksum]);
            if (frame[frame_offset::kCode] != toByte(CommandCode::FirmwareBlock)) {
                continue;
            }
            const FrameData block = frameData(frame);
            const unsigned address = block[firmware_block::kAddressLow] |
                                     unsigned{block[firmware_block::kAddressHigh]} << 8;
            FUZZ_CHECK(address % 2 == 0 && address <= FirmwareTransfer::kLastBlockAddress);
            FUZZ_CHECK(block[firmware_block::kWordLow] == imageFile().image[address]);
            FUZZ_CHECK(block[firmware_block::kWordHigh] == imageFile().image[address + 1]);
            FUZZ_CHECK(block[firmware_block::kFiller] <= firmware_block::kMaxFiller);
            const bool next = lastAddress_ != kNoBlock && address == lastAddress_ + 2;
            const bool again = address == lastAddress_;
            FUZZ_CHECK(next || again || (address == 0 && newTransfer_));
            lastAddress_ = address;
            newTransfer_ = false;
        }
        FUZZ_CHECK(transfer_.transferAddress() % 2 == 0);
        FUZZ_CHECK(transfer_.transferAddress() <= kFirmwareImageSize);
        if (transfer_.phase() == FirmwareTransfer::Phase::Idle) {
            FUZZ_CHECK(transfer_.transferAddress() == 0);
        }
    }

    VirtualTime time_;
    VirtualTime::Timer mainTimer_{time_};
    VirtualTime::Timer pollTimer_{time_};
    FakePort port_;
    FakeView view_;
    SilentFirmwareView firmwareView_;
    std::vector<std::string> log_;
    std::vector<std::string> warnings_;
    ExchangeEngine engine_{mainTimer_, pollTimer_, port_, view_,
                           EngineServices{[](std::string_view key) { return std::string(key); },
                                          [this](const std::string& line) { log_.push_back(line); },
                                          [](const std::string&) {},
                                          [this] { return time_.tickCount(); }}};
    ExchangeEndingOwner ending_{engine_};
    FirmwareTransfer transfer_{
        engine_, firmwareView_,
        FirmwareServices{[](std::string_view key) { return std::string(key); },
                         [this](const std::string& line) { log_.push_back(line); },
                         [](const std::string&) {},
                         [this](const std::string& text) { warnings_.push_back(text); },
                         [] { return std::nullopt; }, fillerSource(1)}};
    std::size_t checked_ = 0;
    unsigned lastAddress_ = kNoBlock;
    bool newTransfer_ = false; // Start has begun a transfer whose first block is still to come
};

} // namespace
} // namespace vorkel::test

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorkel::test::FuzzInput input(data, size);
    vorkel::test::Harness harness(input);
    harness.run(input);
    return 0;
}
