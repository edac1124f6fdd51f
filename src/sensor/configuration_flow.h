// The sensor's configuration as the window shows it: reading it (versions first, then the
// record), writing it (a read whose payload is unused, then the record, then the pause while the
// sensor restarts), "Test 05", and the rules that tie the controls together: output mode
// enabling, the analog range caption, the RS-485 full scale, averaging and the address filter.
#pragma once

#include "protocol/exchange_engine.h"
#include "sensor/multiplier_flow.h"
#include "sensor/readings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

// The item indices of the six controls that the mode byte fills (-1: no item selected).
struct ModeControls {
    int outputMode = 0;       // outputmoderadio: 0 analog, 1 frequency
    int frequencyOutput = -1; // freqoutRadioGroup: 0 without, 1 with resistor
    int frequencyRange = 0;   // rangeRadioGroup: 0 "30-2000 Hz", 1 "30-1020 Hz"
    bool autoPush = false;    // mastermodeCheckBox
    int rs485Range = 0;       // rs485rangeComboBox: 0 "1..4095", 1 "1..1023"
    int bitrate = 0;          // portspeedComboBox: 0 "19200", 1 "9600"
};

class ConfigurationView {
public:
    virtual ~ConfigurationView() = default;
    virtual ModeControls modeControls() const = 0;
    virtual void showModeControls(const ModeControls& controls) = 0;
    // unizhEdit / uverhEdit, the texts that the two range up-downs keep.
    virtual std::string lowerIndexText() const = 0;
    virtual std::string upperIndexText() const = 0;
    virtual void showRangeIndices(int lower, int upper) = 0;
    virtual void showRangeCaption(const std::string& text) = 0; // actualrangeLabel
    virtual std::string addressText() const = 0;
    virtual void showAddress(const std::string& text) = 0;
    virtual std::vector<std::string> averagingItems() const = 0;
    virtual int averagingIndex() const = 0;
    virtual void selectAveraging(int index) = 0;
    virtual void addAveragingItem(const std::string& text) = 0;
    virtual void removeAveragingItem(int index) = 0;
    virtual void showRs485Caption(const std::string& text) = 0; // rs485label
    // AnalogmodeGroupBox and actualrangeLabel on for analog, the two frequency groups on for
    // frequency.
    virtual void enableOutputControls(bool analog) = 0;
    virtual void enableWriteButtons(bool enabled) = 0;
};

struct ConfigurationServices {
    std::function<std::string(std::string_view key)> translate;
    std::function<void(const std::string& text)> showErrorBox;
    // Information icon; closes itself after 1000 ms.
    std::function<void(const std::string& title, const std::string& text)>
        showSelfClosingInformation;
    std::function<std::uint32_t()> tickCount;
    // Handles the window's events for this long (a nested event loop), then returns.
    std::function<void(std::uint32_t milliseconds)> processEventsFor;
};

class SensorConfiguration : public ReplyOwner {
public:
    // From the moment the write is acknowledged until the restarted sensor is asked again.
    static constexpr std::uint32_t kRestartPauseMs = 3000;

    SensorConfiguration(ExchangeEngine& engine, ConfigurationView& view, LiveReadings& readings,
                        MultiplierFlow& multiplier, ConfigurationServices services);

    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

    void readconfButtonClick();
    void writeconfButtonClick();
    void test05buttonClick();
    void outputmoderadioClick();
    void rs485rangeComboBoxChange();
    void unizhUpDownClick() { updateRangeCaption(); }
    void uverhUpDownClick() { updateRangeCaption(); }
    // The address edit keeps digits only; returns the text and caret position to put back.
    std::pair<std::string, int> addressEditChange(std::string_view text, int caret) const;

    void setMode(std::uint8_t mode);
    std::uint8_t getmode() const;
    void setU(std::uint8_t range);
    std::uint8_t getU() const;
    void setdeviceaddress(std::uint8_t address);
    std::int64_t getdeviceaddress() const;
    void setAveraging(std::uint8_t seconds);
    int getAveraging() const;
    // Recomputes the output voltages from the range up-downs and shows the caption.
    OutputVoltages updateRangeCaption();

    unsigned fullScale() const;
    unsigned frequencySpan() const;
    // True during the pause after a write: the sensor restarts and nothing may be sent.
    bool isWaitingForRestart() const { return waitingForRestart_; }

private:
    void showConfiguration(const Frame& reply, std::uint8_t entryState);
    bool refusesAddress();
    void sendRecord();
    void acknowledgeWrite();

    ExchangeEngine& engine_;
    ConfigurationView& view_;
    LiveReadings& readings_;
    MultiplierFlow& multiplier_;
    ConfigurationServices services_;
    bool addedAveragingItem_ = false;
    bool waitingForRestart_ = false;
};

} // namespace vorkel
