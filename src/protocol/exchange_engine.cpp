#include "protocol/exchange_engine.h"

#include "transport/comport.h"

#include <algorithm>
#include <utility>

namespace vorkel {
namespace {

constexpr std::string_view kProgramVersion = VORKEL_PROGRAM_VERSION; // project(VERSION) in CMake

bool isQuietState(std::uint8_t state) {
    // Polls and firmware blocks are not logged: they would flood the log.
    return state == request_state::kIdle || state == request_state::kLevelPoll ||
           state == request_state::kFirmwareUpdate;
}

} // namespace

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
        text += ' ';
    }
    return text;
}

ExchangeEngine::ExchangeEngine(EngineTimer& mainTimer, EngineTimer& scheduledPacketTimer,
                               SensorPort& port, EngineView& view, EngineServices services)
    : mainTimer_(mainTimer)
    , scheduledPacketTimer_(scheduledPacketTimer)
    , port_(port)
    , view_(view)
    , services_(std::move(services)) {
    mainTimer_.setInterval(kReplyTimeoutMs);
    mainTimer_.setHandler([this] { mainTimerTimer(); });
    scheduledPacketTimer_.setInterval(kPollDelayAfterOpenMs);
    scheduledPacketTimer_.setHandler([this] { ScheduledPacketTimerTimer(); });
}

void ExchangeEngine::setReplyOwner(CommandCode code, ReplyOwner* owner) {
    owners_[toByte(code)] = owner;
}

void ExchangeEngine::setReplyOwner(CommandCode code, std::uint8_t entryState, ReplyOwner* owner) {
    std::erase_if(stateOwners_, [&](const StateOwner& entry) {
        return entry.code == toByte(code) && entry.entryState == entryState;
    });
    if (owner != nullptr) {
        stateOwners_.push_back({toByte(code), entryState, owner});
    }
}

void ExchangeEngine::log(std::string_view key, std::span<const std::uint8_t> bytes) {
    services_.writeLog(services_.translate(key) + hexBytes(bytes));
}

void ExchangeEngine::armPoll(std::uint32_t delayMs) {
    scheduledPacketTimer_.stop();
    scheduledPacketTimer_.setInterval(delayMs);
    scheduledPacketTimer_.start();
}

void ExchangeEngine::SendCommand(CommandCode code, const FrameData& data, std::uint8_t state) {
    nextRequestState_ = state;
    pendingFrame_ = buildRequest(code, data);
    scheduledPacketTimer_.stop();
    transmit();
}

void ExchangeEngine::transmit() {
    if (pendingFrame_) {
        lastFrame_ = pendingFrame_;
        pendingFrame_.reset();
    } else if (!lastFrame_) {
        return;
    }
    // Logged while a command other than a poll or a firmware block is outstanding.
    if (!isQuietState(requestState_)) {
        log("rsSent", *lastFrame_);
    }
    port_.write(*lastFrame_);
    // The poll waits for this frame's reply or time-out (a retransmission goes out in the
    // idle state, whose entry has just armed the poll).
    scheduledPacketTimer_.stop();
    requestState_ = nextRequestState_;
    nextRequestState_ = request_state::kIdle;
    mainTimer_.stop();
    mainTimer_.start();
}

void ExchangeEngine::setRequestState(std::uint8_t state) {
    if (state == requestState_) {
        return;
    }
    requestState_ = state;
    // A state-1 frame still waiting for its reply (the read that follows a version read) is
    // not joined by a poll: the poll follows its reply or its time-out.
    if (state == request_state::kIdle && !awaitingFirmware_ && !mainTimer_.isActive()) {
        armPoll(kPollDelayMs);
    }
}

void ExchangeEngine::recordSensorResetTime() {
    sensorResetTime_ = services_.tickCount();
}

void ExchangeEngine::setAttached(bool attached) {
    if (!attached) {
        searching_ = true;
        ++sensorSession_;
    }
    if (attached && !attached_) {
        recordSensorResetTime();
        if (requestState_ != request_state::kIdle && requestState_ != request_state::kLevelPoll) {
            services_.writeLog(services_.translate("rsDeviceAttached") + " " +
                               view_.selectedPortText());
        }
    }
    attached_ = attached;
    updateCaption();
    if (!attached) {
        view_.resetReadingDisplays();
    }
}

void ExchangeEngine::updateCaption() {
    std::string caption = services_.translate("rsProgram_name") + " " +
                          std::string(kProgramVersion) + " CRC: " + buildIdentifier_ + " | ";
    if (attached_) {
        caption += services_.translate("rsAttached") + " " + view_.selectedPortText();
        if (awaitingFirmware_) {
            caption += services_.translate("rsFlashing");
        }
    } else {
        caption += services_.translate("rsNotAttached");
    }
    view_.setCaption(caption);
}

void ExchangeEngine::setBaudSelector(bool fast) {
    if (fast != baudSelector_) {
        keepBaudForSearch_ = true;
    }
    baudSelector_ = fast;
}

void ExchangeEngine::enableStartFlash(bool enabled) {
    view_.enableStartFlash(enabled && portOpen_);
}

void ExchangeEngine::reopenPort() {
    const int selected = view_.selectedPortIndex();
    if (selected < 0 || static_cast<std::size_t>(selected) >= ports_.size()) {
        return;
    }
    attached_ = false; // directly: no log line, no caption change
    ++sensorSession_;
    keepBaudForSearch_ = false;
    port_.setBaud(currentBaud());
    port_.close();
    portOpen_ = false;
    port_.setPort(ports_[static_cast<std::size_t>(selected)].path);
    std::optional<EComError> failure;
    try {
        port_.open();
        portOpen_ = true;
        ++portOpenings_;
        openEntry_ = ports_[static_cast<std::size_t>(selected)];
        lostPort_.reset();
    } catch (const EComError& error) {
        failure = error;
    }
    // Whether or not the port opened: nothing of the old connection survives.
    replyBuffer_.clear();
    lastFrame_.reset();
    pendingFrame_.reset();
    view_.enableMultiplierButton(false);
    view_.enableConfigurationControls(false);
    view_.blankLevelDisplays();
    view_.enableStartFlash(portOpen_);
    if (failure) {
        throw *failure; // no poll is scheduled: the engine waits until a port is chosen again
    }
    setRequestState(request_state::kIdle);
    armPoll(kPollDelayAfterOpenMs);
}

bool ExchangeEngine::reopenPortShowingErrors() {
    try {
        reopenPort();
    } catch (const EComError& error) {
        services_.showErrorBox(error.what());
        return false;
    }
    return true;
}

bool ExchangeEngine::resetLine() {
    // Only the port the user chose is reopened, never the component's default name.
    if (!portOpen_) {
        return false;
    }
    port_.close();
    portOpen_ = false;
    try {
        port_.open();
        portOpen_ = true;
    } catch (const EComError& error) {
        // The time-out's box has just said that the sensor is gone; a second box would tell
        // the same story. The system's reason goes into the log.
        services_.writeLog(error.what());
        view_.enableStartFlash(false);
    }
    return portOpen_;
}

void ExchangeEngine::withPortErrorsShown(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const EComError& error) {
        services_.showErrorBox(error.what());
    }
}

void ExchangeEngine::start() {
    withPortErrorsShown([this] { reopenPort(); });
    view_.enableStartFlash(portOpen_); // no port chosen: nothing to update through
}

void ExchangeEngine::comportComboBoxChange() {
    withPortErrorsShown([this] {
        reopenPort();
        view_.enableConfigurationControls(false);
    });
}

std::string ExchangeEngine::openQuietly() {
    searching_ = true; // the same adapter, but whatever is behind it is to be found again
    pointsUnread_ = true;
    view_.disableSensorWrites();
    view_.enableWriteFromFile(false);
    try {
        reopenPort();
    } catch (const EComError& error) {
        return error.what();
    }
    return {};
}

void ExchangeEngine::sensorDataRead(SensorData what) {
    // The configuration's writes come back with its read in the configuration flow itself.
    if (what == SensorData::Points && pointsUnread_) {
        pointsUnread_ = false;
        view_.enableWriteFromFile(commandControlsOn_);
    }
}

void ExchangeEngine::portLost() {
    lostPort_ = openEntry_;
    ++portLosses_;
    if (portLostHandler_) {
        portLostHandler_();
    }
}

void ExchangeEngine::ScheduledPacketTimerTimer() {
    scheduledPacketTimer_.stop();
    SendCommand(CommandCode::ReadLevel, kPollData, request_state::kLevelPoll);
}

bool ExchangeEngine::isIdle() const {
    // A state-1 frame (a retransmission, or the read that follows a version read) is still
    // outstanding while the reply time-out runs.
    return requestState_ == request_state::kIdle && !mainTimer_.isActive();
}

void ExchangeEngine::whenIdle(std::function<void()> send) {
    if (isIdle()) {
        send();
        return;
    }
    waitingSender_ = std::move(send);
}

void ExchangeEngine::runWaitingSender() {
    if (auto send = std::exchange(waitingSender_, nullptr)) {
        send();
    }
}

void ExchangeEngine::sendPollOrWaitingSender() {
    // A waiting sender's request asks the sensor as well as a poll would.
    if (waitingSender_) {
        runWaitingSender();
    } else {
        SendCommand(CommandCode::ReadLevel, kPollData, request_state::kLevelPoll);
    }
}

void ExchangeEngine::quietBegin() {
    quiet_ = true;
    mainTimer_.stop();
    scheduledPacketTimer_.stop();
}

void ExchangeEngine::quietEnd() {
    quiet_ = false;
    replyBuffer_.clear();
}

void ExchangeEngine::endFailedExchange() {
    if (abandonTransfer_) {
        abandonTransfer_();
    }
    gate_.enableCommandControls(true);
    enableStartFlash(true);
}

void ExchangeEngine::mainTimerTimer() {
    mainTimer_.stop();
    // The command controls come back only once it is clear that no late reply has ended the
    // exchange meanwhile: a click on them would replace what that reply started (the next
    // block of a firmware update, say).
    services_.writeLog(services_.translate("rsDeviceTimeout"));
    const bool portWasOpen = portOpen_;
    bool portFailureShown = false;
    const std::uint64_t openingsBefore = portOpenings_;
    if (searching_) {
        baudSelector_ = keepBaudForSearch_ || baudFixed_ ? baudSelector_ : !baudSelector_;
        keepBaudForSearch_ = false;
        portFailureShown = !reopenPortShowingErrors();
    }
    if (portFailureShown && portOpenings_ != openingsBefore) {
        // The port came back while the failure's box was open and has been opened afresh
        // (idle, its first poll armed): the exchange that timed out went with the old handle,
        // and sending now would put a second request beside that poll.
        endFailedExchange();
        return;
    }
    bool requestSent = false;
    switch (requestState_) {
    case request_state::kIdle:
        setAttached(false);
        if (portOpen_) {
            sendPollOrWaitingSender();
            requestSent = true;
        }
        break;
    case request_state::kLevelPoll:
        setAttached(false);
        break;
    default: {
        // An unanswered command: said once, the line reset, the frame sent once more.
        if (!portFailureShown) {
            const std::uint64_t framesBeforeBox = framesTaken_;
            services_.showErrorBox(services_.translate("rsResponseNotReceived"));
            if (framesTaken_ != framesBeforeBox) {
                // The reply came while the box was open and its handling has ended the
                // exchange (and may have sent a follow-up, or armed the poll). Sending the
                // frame again would repeat a command the sensor has already carried out;
                // resetting the line would throw away a follow-up on its way.
                return;
            }
            if (portOpenings_ != openingsBefore) {
                // The port was opened afresh meanwhile (the port list, after an unplug): the
                // command went with the old handle; its poll is armed.
                endFailedExchange();
                return;
            }
        }
        if (resetLine()) {
            setRequestState(request_state::kIdle); // without a port, idle comes below, unpolled
        }
        break;
    }
    }
    endFailedExchange();
    if (!portOpen_) {
        // The port is gone (or was never opened): the command has ended through its failure
        // path, and the engine waits, silent, until a port is chosen again. Nothing answers
        // on a closed port: the caption and the readings say so.
        if (portWasOpen) {
            portLost();
        }
        setAttached(false);
        forceRequestState(request_state::kIdle);
        scheduledPacketTimer_.stop();
        runWaitingSender(); // it finds the port closed and gives up
        return;
    }
    if (!requestSent) {
        if (!pendingFrame_ && requestState_ == request_state::kLevelPoll) {
            sendPollOrWaitingSender();
        } else {
            transmit();
        }
    }
}

void ExchangeEngine::ReceiveData(const ByteString& data) {
    if (quiet_) {
        return; // the sensor is restarting: these bytes belong to no exchange
    }
    replyBuffer_.insert(replyBuffer_.end(), data.begin(), data.end());
    // In a firmware transfer the boot loader answers with its own start byte, and the address
    // or word it echoes may hold a ">": cut there, its frame would never be complete.
    const bool bootLoaderReply = requestState_ == request_state::kFirmwareUpdate &&
                                 !replyBuffer_.empty() && replyBuffer_.front() == kBootloaderStart;
    const auto start = std::find(replyBuffer_.begin(), replyBuffer_.end(), kReplyStart);
    if (start != replyBuffer_.end() && !bootLoaderReply) {
        replyBuffer_.erase(replyBuffer_.begin(), start);
    }
    bool failed = false;
    if (replyBuffer_.size() >= kFrameSize) {
        ++framesTaken_;
        mainTimer_.stop();
        const std::uint8_t entryState = requestState_;
        if (!isQuietState(entryState)) {
            log("rsReceivedData", replyBuffer_);
        }
        // The frame leaves the buffer before it is handled: a reply that arrives while a box
        // of this handling is open is assembled on its own and never mixed with this one.
        // The rest of this chunk is dropped; a reply never starts in the tail of another.
        Frame reply;
        std::copy_n(replyBuffer_.begin(), kFrameSize, reply.begin());
        replyBuffer_.clear();

        std::uint8_t finalState = request_state::kIdle;
        if (reply[frame_offset::kStart] == kBootloaderStart &&
            requestState_ != request_state::kFirmwareUpdate) {
            // A boot loader waiting for firmware: no checksum check, polls every 3 s.
            awaitingFirmware_ = true;
            setAttached(true);
            failed = true;
            armPoll(kPollDelayAfterOpenMs);
        } else if (!searching_ && frameChecksum(reply) != reply[frame_offset::kChecksum]) {
            setAttached(false);
            failed = true;
            services_.showErrorBox(services_.translate("rsInvalidResponseChecksum"));
        } else {
            // While searching, any frame is welcome: the checksum is not compared.
            searching_ = false;
            setAttached(true);
            awaitingFirmware_ = false; // after the caption: "waiting" shows until the next reply
            finalState = dispatch(reply, entryState, failed);
        }
        setRequestState(finalState);
    }
    if (failed) {
        gate_.enableCommandControls(true);
        if (abandonTransfer_) {
            abandonTransfer_();
        }
        enableStartFlash(true);
    }
    if (waitingSender_ && isIdle()) {
        runWaitingSender();
    }
    // Polling never stops for good while the port is open.
    if (!scheduledPacketTimer_.isActive() && !mainTimer_.isActive()) {
        armPoll(kPollDelayMs);
    }
}

std::uint8_t ExchangeEngine::dispatch(const Frame& reply, std::uint8_t entryState, bool& failed) {
    const std::uint8_t code = reply[frame_offset::kCode];
    ReplyOwner* owner = owners_[code];
    for (const StateOwner& entry : stateOwners_) {
        if (entry.code == code && entry.entryState == entryState) {
            owner = entry.owner;
        }
    }
    if (owner == nullptr) { // owners exist only for the codes of the command table
        services_.showErrorBox(services_.translate("rsInvalidResponse"));
        failed = true;
        return request_state::kIdle;
    }
    return owner->handleReply(reply, entryState);
}

} // namespace vorkel

namespace vorkel {

void ExchangeEngine::CommandControlsGate::setCaption(const std::string& caption) {
    engine_.view_.setCaption(caption);
}

void ExchangeEngine::CommandControlsGate::enableCommandControls(bool enabled) {
    engine_.commandControlsOn_ = enabled;
    engine_.view_.enableCommandControls(enabled);
    enableWriteFromFile(enabled);
}

void ExchangeEngine::CommandControlsGate::enableWriteFromFile(bool enabled) {
    engine_.view_.enableWriteFromFile(enabled && !engine_.pointsUnread_);
}

void ExchangeEngine::CommandControlsGate::enableConfigurationControls(bool enabled) {
    engine_.view_.enableConfigurationControls(enabled);
}

void ExchangeEngine::CommandControlsGate::enableStartFlash(bool enabled) {
    engine_.view_.enableStartFlash(enabled);
}

void ExchangeEngine::CommandControlsGate::enableMultiplierButton(bool enabled) {
    engine_.view_.enableMultiplierButton(enabled);
}

void ExchangeEngine::CommandControlsGate::disableSensorWrites() {
    engine_.view_.disableSensorWrites();
}

void ExchangeEngine::CommandControlsGate::blankLevelDisplays() {
    engine_.view_.blankLevelDisplays();
}

void ExchangeEngine::CommandControlsGate::resetReadingDisplays() {
    engine_.view_.resetReadingDisplays();
}

int ExchangeEngine::CommandControlsGate::selectedPortIndex() const {
    return engine_.view_.selectedPortIndex();
}

std::string ExchangeEngine::CommandControlsGate::selectedPortText() const {
    return engine_.view_.selectedPortText();
}

} // namespace vorkel
