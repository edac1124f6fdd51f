// The exchange engine and the reply handler: one request outstanding at a time, a 2 s reply
// time-out with one retransmission of an unanswered command, the level poll once a second
// while idle, the baud search (19200/9600) while the sensor does not answer, the window
// caption, and the checking and dispatching of every reply by its code.
//
// Everything runs on the main thread: button handlers, the two timers and ReceiveData, which
// the serial port calls with every chunk of received bytes. Modal boxes shown from here run a
// nested event loop, so ReceiveData may run inside another handler; the state below stays
// consistent across that.
#pragma once

#include "protocol/engine_seams.h"
#include "protocol/frame.h"
#include "protocol/reply_owner.h"
#include "transport/byte_string.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorkel {

class ExchangeEngine {
public:
    static constexpr std::uint32_t kReplyTimeoutMs = 2000;
    static constexpr std::uint32_t kPollDelayMs = 1000;
    static constexpr std::uint32_t kPollDelayAfterOpenMs = 3000; // also while a boot loader waits
    static constexpr std::uint32_t kFastBaud = 19200;
    static constexpr std::uint32_t kSlowBaud = 9600;
    static constexpr FrameData kPollData{4, 0, 0, 0, 0};

    ExchangeEngine(EngineTimer& mainTimer, EngineTimer& scheduledPacketTimer, SensorPort& port,
                   EngineView& view, EngineServices services);

    // The port list of port discovery, index-aligned with the port selector.
    void setPortList(std::vector<PortEntry> ports) { ports_ = std::move(ports); }
    // The four hex digits of the build identifier shown in the caption.
    void setBuildIdentifier(std::string identifier) { buildIdentifier_ = std::move(identifier); }

    // Who handles the replies of a code. Codes without an owner are rejected as unknown.
    void setReplyOwner(CommandCode code, ReplyOwner* owner);
    // Who handles the replies of a code that arrive in one request state, ahead of the code's
    // owner: a reply's meaning can depend on the flow it ends (code 2 in a firmware update,
    // code 87 read into a backup file).
    void setReplyOwner(CommandCode code, std::uint8_t entryState, ReplyOwner* owner);
    // Called when a failure abandons whatever firmware transfer is running.
    void setAbandonTransfer(std::function<void()> abandon) {
        abandonTransfer_ = std::move(abandon);
    }
    // Called once the engine has given its port up as lost (after the failure's box): the
    // adapter may have come back while that box was open, when nothing had called it lost yet,
    // so whoever follows the system's ports must look again.
    void setPortLostHandler(std::function<void()> handler) { portLostHandler_ = std::move(handler); }

    // --- the engine's operations --------------------------------------------------------
    void SendCommand(CommandCode code, const FrameData& data, std::uint8_t state);
    void transmit();
    void setRequestState(std::uint8_t state);
    // Sets the state without the side effects of setRequestState ("set state 1, send").
    void forceRequestState(std::uint8_t state) { requestState_ = state; }
    void setAttached(bool attached);
    void recordSensorResetTime();
    void updateCaption();
    // startflashButton, which needs an open port: switched on only while one is open.
    void enableStartFlash(bool enabled);
    // Runs `send` once nothing is outstanding: at once when idle, otherwise as soon as the
    // outstanding exchange has ended, answered or not (a sender that must not replace another
    // exchange, such as the start of a firmware update). One sender waits at a time; it is run
    // also when the port was lost meanwhile, and checks isPortOpen() itself.
    void whenIdle(std::function<void()> send);
    // The sensor restarts after a configuration write: both timers stop and received bytes are
    // dropped until quietEnd(), so that nothing goes out or is taken up while it is away.
    void quietBegin();
    void quietEnd();

    // --- event handlers: EComError from opening the port ends here, in an error box ---------
    // Start-up: opens the selected port (nothing when none is selected).
    void start();
    void mainTimerTimer();
    void ScheduledPacketTimerTimer();
    void comportComboBoxChange();
    // Opens the selected port as start-up does (searching for the sensor, first poll 3 s
    // later), but shows no box: the failure's text comes back instead, empty when the port
    // opened. For a port that came back by itself, where nobody asked: whatever answers on it
    // may be another sensor than the one whose configuration and points the window holds, so
    // their writes stay off until they have been read from it (sensorDataRead).
    std::string openQuietly();
    // The sensor on the port has shown its configuration or its points.
    enum class SensorData { Configuration, Points };
    void sensorDataRead(SensorData what);
    // The port's receive callback.
    void ReceiveData(const ByteString& data);

    // --- state, for the window and the subsystems --------------------------------------------
    std::uint8_t requestState() const { return requestState_; }
    // Nothing is outstanding: idle, and no reply time-out runs (a retransmission after a
    // time-out is sent in the idle state). A click that sends acts only then, so that its
    // request never replaces one still waiting for its reply.
    bool isIdle() const;
    bool isAttached() const { return attached_; }
    bool isSearching() const { return searching_; }
    bool isAwaitingFirmware() const { return awaitingFirmware_; }
    void setAwaitingFirmware(bool awaiting) { awaitingFirmware_ = awaiting; }
    std::uint32_t currentBaud() const { return baudSelector_ ? kFastBaud : kSlowBaud; }
    // The speed of the next reopen: true 19200, false 9600. A configuration write that changes
    // the sensor's bit rate sets it; the search that follows then tries that speed first
    // instead of switching away from it.
    void setBaudSelector(bool fast);
    // A fixed speed: the search reopens the port at the same speed instead of switching (a
    // program told the sensor's bit rate). The window always switches.
    void setBaudFixed(bool fixed) { baudFixed_ = fixed; }
    // The last open of the port succeeded and it has not been closed since.
    bool isPortOpen() const { return portOpen_; }
    std::uint32_t sensorResetTime() const { return sensorResetTime_; }
    // Complete frames taken from the line so far: whether a request has been answered.
    std::uint64_t framesTaken() const { return framesTaken_; }
    // Changes whenever the sensor on the port may have changed: the port reopened, or the
    // sensor stopped answering. What was read from the sensor holds while this stays the same.
    std::uint64_t sensorSession() const { return sensorSession_; }
    // The entry of the port as it was when it last opened.
    const std::optional<PortEntry>& openedPort() const { return openEntry_; }
    // The port that was open and could not be had again by the time-out (the adapter was
    // pulled), as its entry was when it opened; counted, so that each loss is seen once.
    const std::optional<PortEntry>& lostPort() const { return lostPort_; }
    std::uint64_t portLosses() const { return portLosses_; }
    // The window as the subsystems switch it: the write from a file follows the command
    // controls, except while the points of a port reopened by itself have not been read.
    EngineView& view() { return gate_; }

private:
    class CommandControlsGate : public EngineView {
    public:
        explicit CommandControlsGate(ExchangeEngine& engine)
            : engine_(engine) {}
        void setCaption(const std::string& caption) override;
        void enableCommandControls(bool enabled) override;
        void enableConfigurationControls(bool enabled) override;
        void enableStartFlash(bool enabled) override;
        void enableMultiplierButton(bool enabled) override;
        void enableWriteFromFile(bool enabled) override;
        void disableSensorWrites() override;
        void blankLevelDisplays() override;
        void resetReadingDisplays() override;
        int selectedPortIndex() const override;
        std::string selectedPortText() const override;

    private:
        ExchangeEngine& engine_;
    };

    void reopenPort();
    void portLost();
    bool reopenPortShowingErrors();
    bool resetLine();
    // A time-out's end: the transfer abandoned, the controls back on.
    void endFailedExchange();
    void withPortErrorsShown(const std::function<void()>& handler);
    void sendPollOrWaitingSender();
    void runWaitingSender();
    void log(std::string_view key, std::span<const std::uint8_t> bytes);
    void armPoll(std::uint32_t delayMs);
    std::uint8_t dispatch(const Frame& reply, std::uint8_t entryState, bool& failed);

    EngineTimer& mainTimer_;
    EngineTimer& scheduledPacketTimer_;
    SensorPort& port_;
    EngineView& view_;
    CommandControlsGate gate_{*this};
    EngineServices services_;
    std::array<ReplyOwner*, 256> owners_{};
    struct StateOwner {
        std::uint8_t code;
        std::uint8_t entryState;
        ReplyOwner* owner;
    };
    std::vector<StateOwner> stateOwners_;
    std::function<void()> abandonTransfer_;
    std::function<void()> portLostHandler_;
    std::vector<PortEntry> ports_;
    std::string buildIdentifier_ = "0000";

    std::uint8_t requestState_ = request_state::kPortNeverOpened;
    std::uint8_t nextRequestState_ = request_state::kPortNeverOpened;
    std::optional<Frame> pendingFrame_;
    std::optional<Frame> lastFrame_;
    ByteString replyBuffer_;
    bool attached_ = false;
    bool searching_ = true;
    bool baudSelector_ = true; // true: 19200 baud
    bool keepBaudForSearch_ = false;
    bool baudFixed_ = false;
    bool portOpen_ = false;
    bool quiet_ = false;
    std::function<void()> waitingSender_;
    bool awaitingFirmware_ = false;
    std::uint32_t sensorResetTime_ = 0;
    std::uint64_t sensorSession_ = 0;
    std::optional<PortEntry> openEntry_;
    std::optional<PortEntry> lostPort_;
    std::uint64_t portLosses_ = 0;
    bool commandControlsOn_ = false;
    bool pointsUnread_ = false; // since the port reopened by itself
    // Complete frames taken from the reply buffer: tells the time-out whether its exchange was
    // answered while its error box was open.
    std::uint64_t framesTaken_ = 0;
    // Successful opens of the port: tells the time-out whether the port was opened afresh
    // while its box was open.
    std::uint64_t portOpenings_ = 0;
};

// "31 05 04 00 00 00 00 09 ": two upper-case hex digits and a space per byte.
std::string hexBytes(std::span<const std::uint8_t> bytes);

} // namespace vorkel
