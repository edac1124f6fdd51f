#include "firmware/firmware_transfer.h"

#include <random>

namespace vorkel {
namespace {

namespace rs = request_state;

constexpr unsigned kBitsPerByte = 8;
constexpr std::uint32_t kByteMask = 0xFF;
constexpr std::uint32_t kPercent = 100;

constexpr std::uint8_t lowByte(std::uint32_t value) {
    return static_cast<std::uint8_t>(value & kByteMask);
}

constexpr std::uint8_t highByte(std::uint32_t value) {
    return lowByte(value >> kBitsPerByte);
}

constexpr std::uint16_t word(std::uint8_t low, std::uint8_t high) {
    return static_cast<std::uint16_t>(low | high << kBitsPerByte);
}

} // namespace

FrameData encodeFirmwareBlock(std::uint16_t address, std::uint16_t word, std::uint8_t filler) {
    FrameData block{};
    block[firmware_block::kAddressLow] = lowByte(address);
    block[firmware_block::kAddressHigh] = highByte(address);
    block[firmware_block::kWordLow] = lowByte(word);
    block[firmware_block::kWordHigh] = highByte(word);
    block[firmware_block::kFiller] = filler;
    return block;
}

std::uint16_t echoedWord(const Frame& reply) {
    return word(reply[firmware_echo::kWordLow], reply[firmware_echo::kWordHigh]);
}

std::function<std::uint8_t()> fillerSource(std::uint32_t seed) {
    return [random = std::mt19937(seed),
            filler = std::uniform_int_distribution<int>(0, firmware_block::kMaxFiller)]() mutable {
        return static_cast<std::uint8_t>(filler(random));
    };
}

std::function<std::uint8_t()> randomFillerSource() {
    return fillerSource(std::random_device{}());
}

FirmwareTransfer::FirmwareTransfer(ExchangeEngine& engine, FirmwareView& view,
                                   FirmwareServices services)
    : engine_(engine)
    , view_(view)
    , services_(std::move(services)) {
    engine_.setReplyOwner(CommandCode::FirmwareBlock, this);
    engine_.setReplyOwner(CommandCode::ReadConfiguration, rs::kFirmwareUpdate, this);
    engine_.setAbandonTransfer([this] { abandon(); });
}

FirmwareTransfer::~FirmwareTransfer() {
    engine_.setReplyOwner(CommandCode::FirmwareBlock, nullptr);
    engine_.setReplyOwner(CommandCode::ReadConfiguration, rs::kFirmwareUpdate, nullptr);
    engine_.setAbandonTransfer({});
}

// ---- the image --------------------------------------------------------------------------------

void FirmwareTransfer::getflashfileButtonClick() {
    const std::optional<std::filesystem::path> chosen = services_.chooseFirmwareFile();
    if (!chosen) {
        return;
    }
    if (!isFirmwareImageFile(*chosen)) {
        services_.showErrorBox(services_.translate("rsCannotOpenfirmware"));
        return;
    }
    firmwarePath_ = *chosen;
    view_.showFirmwarePath(firmwarePath_);
    if (!isRunning()) { // a running transfer keeps its image and its disabled button
        engine_.enableStartFlash(true);
    }
}

void FirmwareTransfer::restoreFirmwarePath(const std::filesystem::path& path) {
    firmwarePath_ = path;
    view_.showFirmwarePath(firmwarePath_);
}

// ---- the transfer -----------------------------------------------------------------------------

bool FirmwareTransfer::isRunning() const {
    // A transfer whose request another one has replaced (its reply then ended the exchange
    // elsewhere) no longer runs, and must not keep Start from beginning anew.
    return phase_ == Phase::Starting ||
           (phase_ != Phase::Idle && engine_.requestState() == rs::kFirmwareUpdate);
}

void FirmwareTransfer::startflashButtonClick() {
    if (isRunning()) {
        return; // a running transfer is not started over
    }
    if (!engine_.isPortOpen()) {
        return; // the button is off without a port: frames must never go to a device nobody chose
    }
    // The file may have changed since it was chosen: a larger one must not go out as its first
    // 6144 bytes, nor a shorter one be read past its end. What is sent is this copy.
    std::optional<FirmwareImage> image = readFirmwareImage(firmwarePath_);
    if (!image) {
        services_.showErrorBox(services_.translate("rsCannotOpenfirmware"));
        return;
    }
    image_ = std::move(image);
    lockControls();
    view_.setProgress(0);
    address_ = 0;
    errorCount_ = 0;
    completed_ = false;
    services_.writeLog(services_.translate("rsFirmwareUpdateStarted"));
    phase_ = Phase::Starting;
    engine_.whenIdle([this] { begin(); });
}

void FirmwareTransfer::lockControls() {
    EngineView& controls = engine_.view();
    controls.enableCommandControls(false);
    controls.enableConfigurationControls(false);
    view_.enableConfigurationWrite(false);
    controls.enableStartFlash(false);
    view_.showProgressBar();
}

void FirmwareTransfer::begin() {
    if (phase_ != Phase::Starting) {
        return;
    }
    if (!engine_.isPortOpen()) {
        giveUp(); // the port went while Start waited; its loss has been reported
        return;
    }
    lockControls(); // the exchange that has just ended may have switched them on
    if (engine_.isAwaitingFirmware()) {
        phase_ = Phase::Transferring;
        sendNextBlock();
    } else {
        // The boot loader listens for a while after the sensor has answered this.
        phase_ = Phase::WaitingForConfigurationReply;
        engine_.SendCommand(CommandCode::ReadConfiguration, FrameData{}, rs::kFirmwareUpdate);
    }
}

std::uint8_t FirmwareTransfer::handleReply(const Frame& reply, std::uint8_t entryState) {
    if (reply[frame_offset::kCode] == toByte(CommandCode::ReadConfiguration)) {
        return onConfigurationReply(); // this owner gets code 2 only in request state 10
    }
    if (entryState != rs::kFirmwareUpdate) {
        // An echo outside a transfer, such as that of the block the engine repeats after a
        // time-out has given the transfer up: only the controls come back. A Start that waits
        // for this very exchange to end begins right after it.
        return phase_ == Phase::Starting ? rs::kIdle : giveUp();
    }
    return onBlockEcho(echoedWord(reply));
}

std::uint8_t FirmwareTransfer::onConfigurationReply() {
    switch (phase_) {
    case Phase::WaitingForConfigurationReply:
        // The configuration in this reply is not shown: it only opened the boot loader's window.
        phase_ = Phase::Transferring;
        engine_.forceRequestState(rs::kIdle);
        sendNextBlock();
        return rs::kFirmwareUpdate;
    case Phase::Transferring:
        // In place of the echo of the outstanding block: whether the boot loader took that word
        // is unknown, so the block goes again rather than being skipped.
        countMismatch("rsFlashVerificationError");
        engine_.forceRequestState(rs::kIdle);
        resendLastBlock();
        return rs::kFirmwareUpdate;
    case Phase::Idle:
    case Phase::Starting:
        break;
    }
    return giveUp();
}

std::uint8_t FirmwareTransfer::onBlockEcho(std::uint16_t echoed) {
    if (phase_ != Phase::Transferring) {
        return giveUp(); // an echo while no block is outstanding belongs to no transfer
    }
    if (address_ >= kImageSize) {
        return complete(echoed);
    }
    engine_.setAwaitingFirmware(true);
    engine_.forceRequestState(rs::kIdle);
    view_.setProgress(address_);
    if (address_ % kProgressLogStep == 0) {
        logProgress();
    }
    if (echoed == expectedWord_) {
        sendNextBlock();
    } else {
        countMismatch("rsFlashVerificationError");
        resendLastBlock();
    }
    return rs::kFirmwareUpdate;
}

std::uint8_t FirmwareTransfer::complete(std::uint16_t echoed) {
    if (echoed != expectedWord_) {
        // The last word is checked like every other one. Its block cannot be resent (the boot
        // loader leaves after it), but the update must not pass as clean, and the log says
        // what really happened.
        countMismatch("rsFlashLastWordMismatch");
    }
    engine_.setAwaitingFirmware(false);
    completed_ = true;
    services_.writeLog(services_.translate("rsFirmwareUpdateSuccess"));
    endTransfer(); // nothing of it is kept, also while the warning below is open
    engine_.view().enableCommandControls(true);
    engine_.recordSensorResetTime();
    view_.setProgress(0);
    engine_.enableStartFlash(true);
    if (errorCount_ > 0) {
        services_.showWarningBox(services_.translate("rsFlashErrorsCounted") +
                                 std::to_string(errorCount_));
    }
    return rs::kIdle;
}

std::uint8_t FirmwareTransfer::giveUp() {
    endTransfer();
    engine_.view().enableCommandControls(true);
    engine_.enableStartFlash(true);
    return rs::kIdle;
}

void FirmwareTransfer::abandon() {
    if (phase_ == Phase::Starting) {
        return;
    }
    endTransfer();
}

void FirmwareTransfer::endTransfer() {
    phase_ = Phase::Idle;
    image_.reset();
    address_ = 0;
}

void FirmwareTransfer::sendNextBlock() {
    expectedWord_ = word((*image_)[address_], (*image_)[address_ + 1]);
    lastBlock_ = encodeFirmwareBlock(static_cast<std::uint16_t>(address_), expectedWord_,
                                     services_.fillerByte());
    address_ += kWordSize;
    engine_.SendCommand(CommandCode::FirmwareBlock, lastBlock_, rs::kFirmwareUpdate);
}

void FirmwareTransfer::resendLastBlock() {
    // The very same five bytes, filler included.
    engine_.SendCommand(CommandCode::FirmwareBlock, lastBlock_, rs::kFirmwareUpdate);
}

void FirmwareTransfer::countMismatch(std::string_view logKey) {
    services_.writeLog(services_.translate(logKey));
    ++errorCount_;
}

void FirmwareTransfer::logProgress() {
    services_.writeLog(services_.translate("rsFlashingProgress") +
                       std::to_string(address_ * kPercent / kImageSize) + "%");
}

// ---- closing the window -----------------------------------------------------------------------

bool mayCloseMainWindow(const ExchangeEngine& engine,
                        const std::function<bool()>& confirmAwaitingFirmware) {
    if (engine.requestState() == rs::kFirmwareUpdate && engine.isPortOpen()) {
        return false; // a transfer cannot be interrupted halfway
    }
    if (engine.isAwaitingFirmware()) {
        return confirmAwaitingFirmware();
    }
    return true;
}

} // namespace vorkel
