// The firmware update: choosing an image, and its transfer into the sensor's boot loader one
// 16-bit word per request, each word echoed back and checked, a mismatching block resent as it
// was, the mismatches counted, progress in the event log and on the painted bar, and one way
// back to idle from every failure.
//
// The boot loader listens only for about 2 s after power-on or after it has answered a
// configuration read, so a transfer starts with a configuration read (code 2) unless the sensor
// has already said that its boot loader waits; the first block follows straight from that
// reply, and every further block straight from the echo of the one before. Nothing here waits
// on a timer: an unanswered block runs into the exchange engine's reply time-out, which gives
// the transfer up through the abandon hook.
//
// Start never replaces another exchange (a level poll, say, whose reply would otherwise end the
// transfer's first request): it waits until the engine is idle.
//
//   Idle --Start--> Starting --idle, no boot loader waiting--> WaitingForConfigurationReply
//   WaitingForConfigurationReply --reply 2--> Transferring
//   Starting --idle, boot loader waiting--------------------------------------> Transferring
//   Transferring --echo of the block at 6142--> Idle (completion)
//   any --time-out, bad reply, boot-loader announcement--> Idle (abandon)
#pragma once

#include "firmware/firmware_image.h"
#include "protocol/exchange_engine.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorkel {

// ---- the block and its echo -------------------------------------------------------------------

// Data of request code 88: the transfer address (low byte first), the word at that address
// (image byte at the address, then the next one) and a filler byte of 0..254.
namespace firmware_block {
inline constexpr std::size_t kAddressLow = 0;
inline constexpr std::size_t kAddressHigh = 1;
inline constexpr std::size_t kWordLow = 2;
inline constexpr std::size_t kWordHigh = 3;
inline constexpr std::size_t kFiller = 4;
inline constexpr std::uint8_t kMaxFiller = 254;
} // namespace firmware_block

// Frame positions of the word the boot loader took, in its reply to code 88.
namespace firmware_echo {
inline constexpr std::size_t kWordLow = 4;
inline constexpr std::size_t kWordHigh = 5;
} // namespace firmware_echo

FrameData encodeFirmwareBlock(std::uint16_t address, std::uint16_t word, std::uint8_t filler);
std::uint16_t echoedWord(const Frame& reply);

// A source of filler bytes, uniform over 0..254. The seed makes a test's blocks repeatable; the
// program seeds from the system's random device.
std::function<std::uint8_t()> fillerSource(std::uint32_t seed);
std::function<std::uint8_t()> randomFillerSource();

// ---- seams ------------------------------------------------------------------------------------

// The controls of the firmware group that the engine's view does not already switch (the command
// and configuration controls and startflashButton are the engine's).
class FirmwareView {
public:
    virtual ~FirmwareView() = default;
    // flashfileedit: the full path of the chosen image.
    virtual void showFirmwarePath(const std::filesystem::path& path) = 0;
    // writeconfButton and writeconfButton2: no configuration write during a transfer.
    virtual void enableConfigurationWrite(bool enabled) = 0;
    // flashprogresspanel becomes visible; switching the command controls on hides it again.
    virtual void showProgressBar() = 0;
    // The progress value of flashprogresspanel (image bytes acknowledged, 0..6144); repaint it.
    virtual void setProgress(std::uint32_t bytes) = 0;
};

struct FirmwareServices {
    std::function<std::string(std::string_view key)> translate; // getTranslation
    std::function<void(const std::string& message)> writeLog;
    std::function<void(const std::string& text)> showErrorBox;
    std::function<void(const std::string& text)> showWarningBox;
    // OpenFlashDialog: the chosen existing file, none when cancelled.
    std::function<std::optional<std::filesystem::path>()> chooseFirmwareFile;
    std::function<std::uint8_t()> fillerByte; // 0..254, e.g. randomFillerSource()
};

// ---- the transfer ---------------------------------------------------------------------------

class FirmwareTransfer : public ReplyOwner {
public:
    enum class Phase {
        Idle,
        Starting,                     // Start pressed; waits for the engine to become idle
        WaitingForConfigurationReply, // code 2 sent in request state 10
        Transferring,                 // a block (code 88) sent in request state 10
    };

    static constexpr std::uint32_t kImageSize = kFirmwareImageSize; // the transfer ends here
    static constexpr std::uint32_t kWordSize = 2;                   // image bytes per block
    static constexpr std::uint32_t kLastBlockAddress = kImageSize - kWordSize;
    static constexpr std::uint32_t kProgressLogStep = 256; // a log line at every multiple
    // A block that gets no echo within the engine's reply time-out gives the transfer up.
    static constexpr std::uint32_t kBlockTimeoutMs = ExchangeEngine::kReplyTimeoutMs;

    // Takes the replies of code 88 and of code 2 in request state 10, and the engine's abandon
    // hook, for as long as it lives.
    FirmwareTransfer(ExchangeEngine& engine, FirmwareView& view, FirmwareServices services);
    ~FirmwareTransfer() override;
    FirmwareTransfer(const FirmwareTransfer&) = delete;
    FirmwareTransfer& operator=(const FirmwareTransfer&) = delete;

    // getflashfileButton: choose an image; a file of the wrong size or extension is refused
    // with the error box and the earlier choice stays.
    void getflashfileButtonClick();
    // The path stored in the settings: shown as it is, checked only when a transfer starts.
    void restoreFirmwarePath(const std::filesystem::path& path);
    const std::filesystem::path& firmwarePath() const { return firmwarePath_; }

    // startflashButton: reads and checks the image, then starts the transfer.
    void startflashButtonClick();

    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

    // The engine's abandon hook: back to idle with nothing kept (its callers switch the
    // controls back on). A transfer that has not started yet is not given up: the exchange
    // that failed was another one, and the transfer begins once that has ended.
    void abandon();

    Phase phase() const { return phase_; }
    // A block or the opening configuration read is outstanding, or Start waits to begin.
    bool isRunning() const;
    // The byte offset of the next word to send; 0 when idle.
    std::uint32_t transferAddress() const { return address_; }
    std::uint32_t errorCount() const { return errorCount_; }
    // Whether the last transfer that started reached the image's end (false while one runs).
    bool completed() const { return completed_; }

private:
    void lockControls();
    void begin();
    std::uint8_t onConfigurationReply();
    std::uint8_t onBlockEcho(std::uint16_t word);
    std::uint8_t complete(std::uint16_t word);
    std::uint8_t giveUp(); // abandons from inside the reply handling, controls back on
    void endTransfer();
    void sendNextBlock();
    void resendLastBlock();
    void countMismatch(std::string_view logKey);
    void logProgress();

    ExchangeEngine& engine_;
    FirmwareView& view_;
    FirmwareServices services_;
    std::filesystem::path firmwarePath_;

    Phase phase_ = Phase::Idle;
    std::optional<FirmwareImage> image_; // read whole at Start, dropped at the end
    std::uint32_t address_ = 0;
    std::uint16_t expectedWord_ = 0;
    FrameData lastBlock_{};
    std::uint32_t errorCount_ = 0;
    bool completed_ = false;
};

// The close query of the main window: refused without a word while a firmware request is
// outstanding on an open port (with the port gone nothing is running that closing could cut);
// while the sensor's boot loader waits, closed only if `confirmAwaitingFirmware`
// (the built-in Russian OK/Cancel question) says yes; otherwise closed.
bool mayCloseMainWindow(const ExchangeEngine& engine,
                        const std::function<bool()>& confirmAwaitingFirmware);

} // namespace vorkel
