// Reply assembly and dispatch: ExchangeEngine::ReceiveData fed arbitrary bytes in arbitrary
// chunks, in any request state, between virtual-time steps that fire time-outs, polls and port
// reopens, with the real reply owners (LiveReadings, ExchangeEndingOwner) behind the dispatch.
//
// Input: a byte of set-up (started or not, state owners, range, boxes with a nested event loop),
// a byte choosing the codes left without an owner, then operations until the input ends: a
// chunk of received bytes, a request state, a step of virtual time, or a port that stops
// opening. A box with a nested loop takes the next byte: received bytes or a step of time.
//
// Besides memory and undefined-behaviour errors, every chunk is checked against the assembly
// rule (a frame is the 8 bytes from the first ">" on, or in a firmware transfer from a "1" that
// begins the buffer; every handled frame empties the buffer; a reopened port empties it) and
// against what a completed frame must lead to: a boot loader frame, a checksum failure, a
// rejected code or exactly one dispatch with the frame and its entry state.
#include "fuzz/fuzz_input.h"
#include "protocol/exchange_ending_owner.h"
#include "protocol/exchange_engine.h"
#include "sensor/readings.h"
#include "support/engine_fakes.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace vorkel::test {
namespace {

namespace rs = request_state;

constexpr CommandCode kOwnedCodes[] = {
    CommandCode::WriteConfiguration, CommandCode::ReadConfiguration, CommandCode::CalibrateEmpty,
    CommandCode::CalibrateFull,      CommandCode::WriteCalibration,  CommandCode::ReadCalibration,
    CommandCode::FirmwareBlock,      CommandCode::ReadLevel,         CommandCode::ReadVersion,
};

// The displays never show what a level could not produce.
class CheckedReadings : public ReadingsView {
public:
    void showVersion(const VersionDisplay& version) override {
        FUZZ_CHECK(!version.program.empty() && !version.bootloader.empty());
    }
    void showMeasuringModule(const std::string& text) override { checkText(text); }
    void showReading(ReadingControl, const std::string& text) override { checkText(text); }
    void showBar(int position) override { FUZZ_CHECK(position >= 0); }
    void showCurrentLevel(const std::string& text) override { checkText(text); }
    void showAveragedLevel(const std::string& text) override { checkText(text); }
    void showStability(bool) override {}
    void showLiters(const std::string& text) override { checkText(text); }
    void showCounter(const std::string& text) override { checkText(text); }
    void showTemperature(const std::string&) override {}
    void clearVersions() override {}
    void highlightReading(ReadingControl, bool) override {}
    std::string readingText(ReadingControl) const override { return {}; }

private:
    static void checkText(const std::string& text) {
        FUZZ_CHECK(!text.empty());
        FUZZ_CHECK(text.find("nan") == std::string::npos && text.find("inf") == std::string::npos);
    }
};

// Counts the reopens: setPort is called by every reopen that gets past the port selector,
// whether or not the port then opens.
class CountingPort : public FakePort {
public:
    void setPort(const std::string& path) override {
        ++reopens;
        FakePort::setPort(path);
    }
    std::size_t reopens = 0;
};

struct Dispatched {
    Frame frame;
    std::uint8_t entryState;
};

// Notes every reply it is given, then hands it to the real owner.
class NotingOwner : public ReplyOwner {
public:
    NotingOwner(ReplyOwner& owner, std::vector<Dispatched>& noted)
        : owner_(owner)
        , noted_(noted) {}
    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override {
        noted_.push_back({reply, entryState});
        return owner_.handleReply(reply, entryState);
    }

private:
    ReplyOwner& owner_;
    std::vector<Dispatched>& noted_;
};

class Harness {
public:
    explicit Harness(FuzzInput& input) {
        time_.add(mainTimer_);
        time_.add(pollTimer_);
        engine_.setPortList({{"ttyUSB0", "ttyUSB0"}});
        engine_.setAbandonTransfer([this] { ++abandons_; });

        const std::uint8_t setup = input.byte();
        const std::uint8_t unowned = input.byte();
        for (std::size_t i = 0; i < std::size(kOwnedCodes); ++i) {
            if (i < 8 && (unowned >> i & 1) != 0) {
                continue;
            }
            const CommandCode code = kOwnedCodes[i];
            const bool live = code == CommandCode::ReadLevel || code == CommandCode::ReadVersion;
            engine_.setReplyOwner(code, live ? &notingLive_ : &notingEnding_);
            owned_[toByte(code)] = true;
        }
        if ((setup & 2) != 0) {
            // Owners of one state, as the firmware transfer and the backup file register them.
            addStateOwner(CommandCode::ReadConfiguration, rs::kFirmwareUpdate);
            addStateOwner(CommandCode::FirmwareBlock, rs::kFirmwareUpdate);
            addStateOwner(CommandCode::ReadCalibration, rs::kCalibrationToFile);
            addStateOwner(CommandCode::WriteCalibration, rs::kCalibrationFromFile);
        }
        if ((setup & 4) != 0) {
            fullScale_ = 1023;
        }
        if ((setup & 8) != 0) {
            nested_ = &input; // the boxes run a nested event loop that takes input too
        }
        if ((setup & 1) != 0) {
            engine_.start();
        }
        checkWrites();
    }

    void run(FuzzInput& input) {
        while (!input.empty()) {
            const std::uint8_t operation = input.byte();
            const std::uint8_t argument = operation >> 2;
            switch (operation & 3) {
            case 0:
            case 1:
                deliver(input.take(argument));
                break;
            case 2:
                if ((argument & 1) != 0) {
                    engine_.forceRequestState(input.byte());
                } else {
                    engine_.setRequestState(input.byte());
                }
                break;
            default:
                if (argument == 63) {
                    port_.failOpen = !port_.failOpen;
                } else {
                    advance(std::uint64_t{argument} * 125);
                }
                break;
            }
            checkWrites();
        }
    }

private:
    // A modal box: returns at once, or first runs what its nested event loop would meet (a
    // chunk of received bytes, timers that fall due), which may open boxes of its own.
    void showBox() {
        ++boxes_;
        if (nested_ == nullptr || nested_->empty() || boxDepth_ >= 3) {
            return;
        }
        ++boxDepth_;
        const std::uint8_t event = nested_->byte();
        if ((event & 0x80) != 0) {
            time_.advanceBy(std::uint64_t{event & 0x7Fu} * 50);
        } else {
            const std::span<const std::uint8_t> chunk = nested_->take(event % 16);
            engine_.ReceiveData(ByteString(chunk.begin(), chunk.end()));
        }
        --boxDepth_;
    }

    void addStateOwner(CommandCode code, std::uint8_t state) {
        engine_.setReplyOwner(code, state, &notingEnding_);
        stateOwned_.push_back({toByte(code), state});
    }

    bool hasOwner(std::uint8_t code, std::uint8_t state) const {
        return owned_[code] || std::find(stateOwned_.begin(), stateOwned_.end(),
                                         std::pair{code, state}) != stateOwned_.end();
    }

    void advance(std::uint64_t ms) {
        const std::size_t reopensBefore = port_.reopens;
        time_.advanceBy(ms);
        if (port_.reopens != reopensBefore) {
            buffer_.clear(); // nothing of the old connection survives a reopen
        }
    }

    // The assembly rule: the frame completed by this chunk, if any, and the whole buffer at
    // that moment (what the log shows).
    std::optional<Frame> assemble(std::span<const std::uint8_t> chunk, std::uint8_t state,
                                  ByteString& whole) {
        buffer_.insert(buffer_.end(), chunk.begin(), chunk.end());
        // In a firmware transfer a frame that begins with the boot loader's "1" is kept whole.
        const bool bootLoaderReply =
            state == rs::kFirmwareUpdate && !buffer_.empty() && buffer_.front() == kBootloaderStart;
        const auto start = std::find(buffer_.begin(), buffer_.end(), kReplyStart);
        if (start != buffer_.end() && !bootLoaderReply) {
            buffer_.erase(buffer_.begin(), start);
        }
        if (buffer_.size() < kFrameSize) {
            return std::nullopt;
        }
        Frame frame;
        std::copy_n(buffer_.begin(), kFrameSize, frame.begin());
        whole = std::exchange(buffer_, {});
        return frame;
    }

    void deliver(std::span<const std::uint8_t> chunk) {
        const std::uint8_t entryState = engine_.requestState();
        const bool searching = engine_.isSearching();
        const std::size_t dispatchedBefore = dispatched_.size();
        const std::size_t logBefore = log_.size();
        const std::size_t writesBefore = port_.written.size();
        const int boxesBefore = boxes_;
        const int abandonsBefore = abandons_;

        if (nested_ != nullptr) {
            // Nested handling makes the frame-by-frame rules below unknowable from here; what
            // holds whatever happened inside is checked.
            engine_.ReceiveData(ByteString(chunk.begin(), chunk.end()));
            FUZZ_CHECK(pollTimer_.isActive() || mainTimer_.isActive());
            return;
        }
        ByteString whole;
        const std::optional<Frame> frame = assemble(chunk, entryState, whole);
        engine_.ReceiveData(ByteString(chunk.begin(), chunk.end()));

        // Polling never stops for good.
        FUZZ_CHECK(pollTimer_.isActive() || mainTimer_.isActive());
        if (!frame) {
            FUZZ_CHECK(dispatched_.size() == dispatchedBefore);
            FUZZ_CHECK(boxes_ == boxesBefore && abandons_ == abandonsBefore);
            FUZZ_CHECK(log_.size() == logBefore);
            return;
        }
        const Frame& reply = *frame;
        const bool quiet = entryState == rs::kIdle || entryState == rs::kLevelPoll ||
                           entryState == rs::kFirmwareUpdate;
        if (quiet) {
            for (std::size_t i = logBefore; i < log_.size(); ++i) {
                FUZZ_CHECK(log_[i].rfind("received:", 0) != 0);
            }
        } else {
            FUZZ_CHECK(log_.size() > logBefore && log_[logBefore] == "received:" + hexBytes(whole));
        }
        if (port_.written.size() == writesBefore) {
            FUZZ_CHECK(!mainTimer_.isActive()); // the reply stopped the time-out
        }

        bool failed = true;
        if (reply[frame_offset::kStart] == kBootloaderStart && entryState != rs::kFirmwareUpdate) {
            FUZZ_CHECK(dispatched_.size() == dispatchedBefore && boxes_ == boxesBefore);
            FUZZ_CHECK(engine_.isAwaitingFirmware() && engine_.isAttached());
            FUZZ_CHECK(pollTimer_.isActive() &&
                       pollTimer_.interval() == ExchangeEngine::kPollDelayAfterOpenMs);
        } else if (!searching && frameChecksum(reply) != reply[frame_offset::kChecksum]) {
            FUZZ_CHECK(dispatched_.size() == dispatchedBefore && boxes_ == boxesBefore + 1);
            FUZZ_CHECK(!engine_.isAttached() && engine_.isSearching());
        } else if (!hasOwner(reply[frame_offset::kCode], entryState)) {
            FUZZ_CHECK(dispatched_.size() == dispatchedBefore && boxes_ == boxesBefore + 1);
            FUZZ_CHECK(engine_.isAttached() && !engine_.isSearching());
        } else {
            failed = false;
            FUZZ_CHECK(dispatched_.size() == dispatchedBefore + 1);
            FUZZ_CHECK(dispatched_.back().frame == reply);
            FUZZ_CHECK(dispatched_.back().entryState == entryState);
            FUZZ_CHECK(boxes_ == boxesBefore);
            FUZZ_CHECK(engine_.isAttached() && !engine_.isSearching() &&
                       !engine_.isAwaitingFirmware());
        }
        if (failed) {
            FUZZ_CHECK(abandons_ == abandonsBefore + 1);
            FUZZ_CHECK(engine_.requestState() == rs::kIdle);
            FUZZ_CHECK(view_.commandControls);
        } else {
            FUZZ_CHECK(abandons_ == abandonsBefore);
        }
    }

    // Whatever the engine sends is a well-formed request.
    void checkWrites() {
        for (; checkedWrites_ < port_.written.size(); ++checkedWrites_) {
            const ByteString& sent = port_.written[checkedWrites_];
            FUZZ_CHECK(sent.size() == kFrameSize);
            Frame frame;
            std::copy_n(sent.begin(), kFrameSize, frame.begin());
            FUZZ_CHECK(frame[frame_offset::kStart] == kRequestStart);
            FUZZ_CHECK(isKnownCommandCode(frame[frame_offset::kCode]));
            FUZZ_CHECK(frameChecksum(frame) == frame[frame_offset::kChecksum]);
        }
    }

    VirtualTime time_;
    VirtualTime::Timer mainTimer_{time_};
    VirtualTime::Timer pollTimer_{time_};
    CountingPort port_;
    FakeView view_;
    CheckedReadings readings_;
    std::vector<std::string> log_;
    int boxes_ = 0;
    FuzzInput* nested_ = nullptr;
    int boxDepth_ = 0;
    int abandons_ = 0;
    ExchangeEngine engine_{mainTimer_, pollTimer_, port_, view_,
                           EngineServices{englishText,
                                          [this](const std::string& line) { log_.push_back(line); },
                                          [this](const std::string&) { showBox(); },
                                          [this] { return time_.tickCount(); }}};
    ExchangeEndingOwner ending_{engine_};
    unsigned fullScale_ = 4095;
    LiveReadings live_{engine_, readings_,
                       ReadingsServices{[this] { return time_.tickCount(); },
                                        [this] { return fullScale_; },
                                        [this] { return fullScale_ == 4095 ? 1970u : 990u; },
                                        [] { return OutputVoltages{}; },
                                        [](std::uint32_t level) {
                                            return std::optional<std::string>(
                                                std::to_string(level / 2));
                                        }}};
    std::vector<Dispatched> dispatched_;
    NotingOwner notingEnding_{ending_, dispatched_};
    NotingOwner notingLive_{live_, dispatched_};
    std::array<bool, 256> owned_{};
    std::vector<std::pair<std::uint8_t, std::uint8_t>> stateOwned_;
    ByteString buffer_; // the reply buffer as the assembly rule has it
    std::size_t checkedWrites_ = 0;
};

} // namespace
} // namespace vorkel::test

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorkel::test::FuzzInput input(data, size);
    vorkel::test::Harness harness(input);
    harness.run(input);
    return 0;
}
