#include "sensor/configuration_flow.h"

#include "sensor/configuration_record.h"
#include "sensor/level_display.h"
#include "sensor/number_reading.h"

namespace vorkel {
namespace {

namespace rs = request_state;

constexpr FrameData kTest05Data{1, 0, 0, 0, 0};

} // namespace

SensorConfiguration::SensorConfiguration(ExchangeEngine& engine, ConfigurationView& view,
                                         LiveReadings& readings, MultiplierFlow& multiplier,
                                         ConfigurationServices services)
    : engine_(engine)
    , view_(view)
    , readings_(readings)
    , multiplier_(multiplier)
    , services_(std::move(services)) {}

std::uint8_t SensorConfiguration::handleReply(const Frame& reply, std::uint8_t entryState) {
    if (reply[frame_offset::kCode] == toByte(CommandCode::WriteConfiguration)) {
        acknowledgeWrite();
        return rs::kIdle;
    }
    if (entryState == rs::kConfigurationWriteStep1) {
        // The address edit stays open during the write: it is checked again as it is sent.
        if (refusesAddress()) {
            engine_.view().enableCommandControls(true);
            engine_.view().enableConfigurationControls(true);
            view_.enableWriteButtons(true);
            outputmoderadioClick(); // the multiplier button again, with analog output
            return rs::kIdle;
        }
        sendRecord();
        return rs::kConfigurationWrite;
    }
    showConfiguration(reply, entryState);
    return rs::kIdle;
}

void SensorConfiguration::showConfiguration(const Frame& reply, std::uint8_t entryState) {
    const FrameData record = frameData(reply);
    engine_.view().enableCommandControls(true);
    setMode(record[record_offset::kMode]);
    setU(record[record_offset::kAnalogRange]);
    setdeviceaddress(record[record_offset::kAddress]);
    multiplier_.setTkoeff(multiplierPosition(record[record_offset::kMultiplier]));
    setAveraging(record[record_offset::kAveraging]);
    rs485rangeComboBoxChange();
    // A record that answers a read overtaken by a poll fills the controls but unlocks nothing:
    // the engine is busy with the poll.
    if (entryState != rs::kLevelPoll) {
        engine_.view().enableCommandControls(true);
        view_.enableWriteButtons(true);
        engine_.enableStartFlash(true);
        engine_.view().enableConfigurationControls(true);
        engine_.view().enableMultiplierButton(true);
    }
}

void SensorConfiguration::sendRecord() {
    engine_.forceRequestState(rs::kIdle);
    const FrameData record{getmode(), getU(), static_cast<std::uint8_t>(getdeviceaddress() & 0xFF),
                           multiplierByte(multiplier_.getTKoeff()),
                           static_cast<std::uint8_t>(getAveraging())};
    engine_.SendCommand(CommandCode::WriteConfiguration, record, rs::kConfigurationWriteStep1);
    // The sensor answers at its new bit rate after the restart; the next reopen uses it.
    engine_.setBaudSelector(view_.modeControls().bitrate == 0);
}

void SensorConfiguration::acknowledgeWrite() {
    engine_.recordSensorResetTime();
    const std::uint32_t start = services_.tickCount();
    // The sensor is away for the whole pause, however the write was answered (also when the
    // reply came to the retransmission after a time-out, which had already armed the poll):
    // nothing goes out, nothing is taken up, and a click finds the engine busy.
    engine_.quietBegin();
    engine_.forceRequestState(rs::kConfigurationWrite);
    waitingForRestart_ = true;
    services_.showSelfClosingInformation(services_.translate("rsMessageTitle"),
                                         services_.translate("rsDeviceConfigurationSet"));
    const std::uint32_t elapsed = services_.tickCount() - start;
    if (elapsed < kRestartPauseMs) {
        services_.processEventsFor(kRestartPauseMs - elapsed);
    }
    waitingForRestart_ = false;
    // The reply time-out is not started again here: the pause ends idle, which arms the poll,
    // and the poll starts the time-out. Started here, it would expire before the poll's
    // reply could stop it whenever the exchange was already idle.
    engine_.quietEnd();
    engine_.view().enableCommandControls(false);
    readings_.setVersion(0, 0, 0, 0);
}

void SensorConfiguration::readconfButtonClick() {
    if (!engine_.isIdle()) {
        return;
    }
    engine_.view().enableCommandControls(false);
    engine_.view().enableConfigurationControls(false);
    engine_.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kConfigurationRead);
}

void SensorConfiguration::writeconfButtonClick() {
    if (!engine_.isIdle()) {
        return;
    }
    if (refusesAddress()) {
        return;
    }
    engine_.view().enableCommandControls(false);
    engine_.view().enableConfigurationControls(false);
    view_.enableWriteButtons(false);
    engine_.SendCommand(CommandCode::ReadConfiguration, FrameData{}, rs::kConfigurationWriteStep1);
    engine_.view().enableMultiplierButton(false);
    engine_.view().enableConfigurationControls(false);
    readings_.blankWhileConfigurationChanges();
}

bool SensorConfiguration::refusesAddress() {
    // An address the record cannot hold is refused before it is sent: cut to its low 8 bits it
    // would give the sensor another address than the one typed.
    const std::string address = view_.addressText();
    if (addressFitsRecord(address)) {
        return false;
    }
    services_.showErrorBox(addressRefusalText(address, services_.translate("rsValidNumberFrom"),
                                              services_.translate("rsValidNumberTo")));
    return true;
}

void SensorConfiguration::test05buttonClick() {
    if (!engine_.isIdle()) {
        return;
    }
    engine_.view().enableCommandControls(false);
    engine_.view().enableConfigurationControls(false);
    engine_.SendCommand(CommandCode::ReadLevel, kTest05Data, rs::kTest05);
}

void SensorConfiguration::setMode(std::uint8_t mode) {
    const ModeFields fields = decodeMode(mode);
    ModeControls controls;
    controls.outputMode = fields.analog ? 0 : 1;
    controls.frequencyOutput = fields.withResistor ? 1 : 0;
    controls.frequencyRange = fields.range1020 ? 1 : 0;
    controls.autoPush = fields.autoPush;
    controls.rs485Range = fields.range1023 ? 1 : 0;
    controls.bitrate = fields.bitrate9600 ? 1 : 0;
    view_.showModeControls(controls);
    outputmoderadioClick();
}

std::uint8_t SensorConfiguration::getmode() const {
    const ModeControls controls = view_.modeControls();
    ModeFields fields;
    fields.analog = controls.outputMode == 0;
    fields.withResistor = controls.frequencyOutput == 1;
    fields.range1020 = controls.frequencyRange == 1;
    fields.autoPush = controls.autoPush;
    fields.range1023 = controls.rs485Range == 1;
    fields.bitrate9600 = controls.bitrate == 1;
    return encodeMode(fields);
}

void SensorConfiguration::setU(std::uint8_t range) {
    const AnalogRange indices = decodeAnalogRange(range);
    view_.showRangeIndices(indices.lower, indices.upper);
    updateRangeCaption();
}

std::uint8_t SensorConfiguration::getU() const {
    return encodeAnalogRange(
        {static_cast<int>(parseLenientInteger(view_.lowerIndexText()) & 0x0F),
         static_cast<int>(parseLenientInteger(view_.upperIndexText()) & 0x0F)});
}

OutputVoltages SensorConfiguration::updateRangeCaption() {
    const int lower = static_cast<int>(parseLenientInteger(view_.lowerIndexText()));
    const int upper = static_cast<int>(parseLenientInteger(view_.upperIndexText()));
    const RangeVoltages voltages = rangeVoltages(lower, upper);
    view_.showRangeCaption(rangeCaption(voltages, services_.translate("rsFrom"),
                                        services_.translate("rsReverseFrom"),
                                        services_.translate("rsVTo"), services_.translate("rsV")));
    return {voltages.lower, voltages.upper};
}

void SensorConfiguration::setdeviceaddress(std::uint8_t address) {
    view_.showAddress(std::to_string(address));
}

std::int64_t SensorConfiguration::getdeviceaddress() const {
    return parseLenientInteger(view_.addressText());
}

std::pair<std::string, int> SensorConfiguration::addressEditChange(std::string_view text,
                                                                   int caret) const {
    const AddressEdit filtered = filterAddressText(text, caret);
    return {filtered.text, filtered.caret};
}

void SensorConfiguration::setAveraging(std::uint8_t seconds) {
    // An item added for an earlier value that matched none goes first.
    if (addedAveragingItem_) {
        view_.removeAveragingItem(static_cast<int>(view_.averagingItems().size()) - 1);
        addedAveragingItem_ = false;
    }
    const std::vector<std::string> items = view_.averagingItems();
    if (const auto index = averagingItemIndex(items, seconds)) {
        view_.selectAveraging(*index);
        return;
    }
    // A value no item offers stays selectable, so that reading and writing back keeps it.
    view_.addAveragingItem(averagingItemText(items, seconds));
    addedAveragingItem_ = true;
    view_.selectAveraging(static_cast<int>(items.size()));
}

int SensorConfiguration::getAveraging() const {
    const std::vector<std::string> items = view_.averagingItems();
    const int index = view_.averagingIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return 0;
    }
    return static_cast<int>(parseLenientInteger(items[static_cast<std::size_t>(index)]));
}

void SensorConfiguration::outputmoderadioClick() {
    const bool analog = view_.modeControls().outputMode == 0;
    view_.enableOutputControls(analog);
    engine_.view().enableMultiplierButton(analog);
}

void SensorConfiguration::rs485rangeComboBoxChange() {
    // Fixed texts: the sensor's documentation writes the range this way in every language.
    view_.showRs485Caption(view_.modeControls().rs485Range == 1 ? "RS-485\r\n(0..1023)"
                                                                : "RS-485\r\n(0..4095)");
}

unsigned SensorConfiguration::fullScale() const {
    return fullScaleForRange(view_.modeControls().rs485Range);
}

unsigned SensorConfiguration::frequencySpan() const {
    return frequencySpanForRange(view_.modeControls().frequencyRange);
}

} // namespace vorkel
