// The firmware transfer against a scripted boot loader, in virtual time: the start with and
// without a waiting boot loader, the blocks and their echoes, resends, the last word, every way
// of giving up, the image checks at Start, and the close query.
#include "firmware/firmware_transfer.h"
#include "protocol/exchange_ending_owner.h"
#include "support/engine_fakes.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace vorkel {
namespace {

using namespace test;
namespace rs = request_state;

std::string firmwareText(std::string_view key) {
    static const std::map<std::string, std::string, std::less<>> texts = {
        {"rsCannotOpenfirmware", "Cannot read the firmware file!"},
        {"rsFirmwareUpdateStarted", "Update started..."},
        {"rsFlashingProgress", "Firmware:"},
        {"rsFlashVerificationError", " Verification error! Trying to resend the packet!"},
        {"rsFlashLastWordMismatch", "Verification error in the last word! It cannot be resent."},
        {"rsFirmwareUpdateSuccess", " Firmware update successful"},
        {"rsFlashErrorsCounted", " Number of errors detected during the update:"},
    };
    const auto found = texts.find(key);
    return found == texts.end() ? englishText(key) : found->second;
}

const std::string kVerificationError = " Verification error! Trying to resend the packet!";
const std::string kSuccess = " Firmware update successful";

// The firmware group as a binder would show it; the bar is the engine view's, which hides it
// when the command controls come back.
class RecordingFirmwareView : public FirmwareView {
public:
    explicit RecordingFirmwareView(FakeView& window)
        : window_(window) {}
    void showFirmwarePath(const std::filesystem::path& path) override { shownPath = path; }
    void enableConfigurationWrite(bool enabled) override { configurationWrite = enabled; }
    void showProgressBar() override { window_.progressBarShown = true; }
    void setProgress(std::uint32_t bytes) override { progress.push_back(bytes); }

    std::filesystem::path shownPath;
    bool configurationWrite = true;
    std::vector<std::uint32_t> progress;

private:
    FakeView& window_;
};

void writeFile(const std::filesystem::path& path, const ByteString& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Every byte value, so that echoes carry ">" (0x3E) in their word and, at 0x3E, 0x13E, ..., in
// their address.
ByteString patternImage() {
    ByteString image(kFirmwareImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return image;
}

Frame asFrame(const ByteString& bytes) {
    Frame frame{};
    std::copy_n(bytes.begin(), kFrameSize, frame.begin());
    return frame;
}

unsigned blockAddress(const Frame& block) {
    return block[2] | unsigned{block[3]} << 8;
}

class Transfer : public ::testing::Test {
protected:
    VirtualTime time;
    VirtualTime::Timer mainTimer{time};
    VirtualTime::Timer pollTimer{time};
    FakePort port;
    FakeView view;
    RecordingFirmwareView firmwareView{view};
    std::vector<std::string> log;
    std::vector<std::string> errorBoxes;
    std::vector<std::string> warningBoxes;
    std::optional<std::filesystem::path> dialogChoice;
    std::vector<std::uint8_t> fillers; // as handed out
    ExchangeEngine engine{mainTimer, pollTimer, port, view,
                          EngineServices{firmwareText,
                                         [this](const std::string& m) { log.push_back(m); },
                                         [this](const std::string& t) { errorBoxes.push_back(t); },
                                         [this] { return time.tickCount(); }}};
    ExchangeEndingOwner ending{engine};
    FirmwareTransfer transfer{
        engine, firmwareView,
        FirmwareServices{firmwareText, [this](const std::string& m) { log.push_back(m); },
                         [this](const std::string& t) { errorBoxes.push_back(t); },
                         [this](const std::string& t) { warningBoxes.push_back(t); },
                         [this] { return dialogChoice; },
                         [this] {
                             fillers.push_back(static_cast<std::uint8_t>(fillers.size() % 255));
                             return fillers.back();
                         }}};
    TempDir dir;
    const ByteString image = patternImage();

    void SetUp() override {
        time.add(mainTimer);
        time.add(pollTimer);
        for (const CommandCode code :
             {CommandCode::ReadConfiguration, CommandCode::ReadLevel, CommandCode::ReadVersion}) {
            engine.setReplyOwner(code, &ending);
        }
        engine.setPortList({{"COM3", "COM3"}});
        engine.start();
        time.advanceBy(ExchangeEngine::kPollDelayAfterOpenMs);
        answer(reply(0x05, {0x10, 0x00, 22, 0, 0})); // attached, idle
        writeFile(dir / "fw.bin", image);
        transfer.restoreFirmwarePath(dir / "fw.bin");
    }

    void answer(const Frame& frame) { engine.ReceiveData(bytesOf(frame)); }
    Frame lastSent() const { return asFrame(port.written.back()); }
    bool blockOutstanding() const {
        return !port.written.empty() && lastSent()[1] == toByte(CommandCode::FirmwareBlock) &&
               engine.requestState() == rs::kFirmwareUpdate;
    }

    // The boot loader's echo of the outstanding block: address and word repeated, in a frame
    // that begins with its own start byte unless `start` says otherwise.
    Frame echo(std::optional<std::uint16_t> word = std::nullopt,
               std::uint8_t start = kBootloaderStart) const {
        const Frame block = lastSent();
        const auto taken = word.value_or(static_cast<std::uint16_t>(block[4] | block[5] << 8));
        return reply(0x58,
                     {block[2], block[3], static_cast<std::uint8_t>(taken & 0xFF),
                      static_cast<std::uint8_t>(taken >> 8), 0},
                     start);
    }
    void echoUntil(unsigned address) {
        while (blockOutstanding() && blockAddress(lastSent()) != address) {
            answer(echo());
        }
        ASSERT_TRUE(blockOutstanding()) << "no block at " << address;
    }
    void echoToTheEnd() {
        while (blockOutstanding()) {
            answer(echo());
        }
    }
    // Start, answering the configuration read if one goes out: the first block.
    Frame startToFirstBlock() {
        transfer.startflashButtonClick();
        if (lastSent()[1] == toByte(CommandCode::ReadConfiguration)) {
            answer(reply(0x02, {0x02, 0xF0, 1, 0, 0}, kBootloaderStart));
        }
        return lastSent();
    }

    // The image as the blocks sent would leave it in the sensor.
    ByteString flashed() const {
        ByteString result(kFirmwareImageSize, 0xFF);
        for (const ByteString& sent : port.written) {
            if (sent[1] == toByte(CommandCode::FirmwareBlock)) {
                const unsigned address = blockAddress(asFrame(sent));
                result.at(address) = sent[4];
                result.at(address + 1) = sent[5];
            }
        }
        return result;
    }
    std::vector<std::string> linesStartingWith(const std::string& prefix) const {
        std::vector<std::string> lines;
        for (const std::string& line : log) {
            if (line.rfind(prefix, 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }
};

TEST_F(Transfer, startsWithAConfigurationReadThenSendsEveryWordOnceAndCompletes) {
    const std::size_t sentBefore = port.written.size();
    transfer.startflashButtonClick();

    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadConfiguration, FrameData{}));
    EXPECT_EQ(engine.requestState(), rs::kFirmwareUpdate);
    EXPECT_FALSE(view.commandControls);
    EXPECT_FALSE(view.configurationControls);
    EXPECT_FALSE(firmwareView.configurationWrite);
    EXPECT_FALSE(view.startFlash);
    EXPECT_TRUE(view.progressBarShown);
    EXPECT_EQ(log.back(), "Update started...");

    // A running sensor answers with ">", its configuration is not shown; the first block follows.
    answer(reply(0x02, {0x02, 0xF0, 1, 0, 0}));
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::FirmwareBlock,
                                       FrameData{0x00, 0x00, image[0], image[1], fillers[0]}));
    echoUntil(6142);
    EXPECT_EQ(lastSent(),
              buildRequest(CommandCode::FirmwareBlock,
                           FrameData{0xFE, 0x17, image[6142], image[6143], fillers.back()}));
    time.advanceBy(100);
    answer(echo());

    EXPECT_EQ(port.written.size(), sentBefore + 1 + 3072);
    EXPECT_EQ(flashed(), image);
    for (std::size_t i = 0; i < fillers.size(); ++i) {
        EXPECT_EQ(port.written[sentBefore + 1 + i][6], fillers[i]) << "block " << i;
    }
    EXPECT_EQ(log.back(), kSuccess);
    EXPECT_TRUE(linesStartingWith("sent:").empty()) << "blocks are not logged";
    EXPECT_TRUE(warningBoxes.empty());
    EXPECT_TRUE(errorBoxes.empty());
    EXPECT_TRUE(view.commandControls);
    EXPECT_FALSE(view.progressBarShown);
    EXPECT_TRUE(view.startFlash);
    EXPECT_FALSE(engine.isAwaitingFirmware());
    EXPECT_EQ(engine.sensorResetTime(), time.tickCount());
    EXPECT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_EQ(transfer.phase(), FirmwareTransfer::Phase::Idle);
    EXPECT_EQ(transfer.transferAddress(), 0u);

    // The bar: 0 at the start, every acknowledged address, 0 again at the end.
    ASSERT_EQ(firmwareView.progress.size(), 3073u);
    EXPECT_EQ(firmwareView.progress.front(), 0u);
    for (std::uint32_t k = 1; k < 3072; ++k) {
        ASSERT_EQ(firmwareView.progress[k], 2 * k);
    }
    EXPECT_EQ(firmwareView.progress.back(), 0u);
}

TEST_F(Transfer, logsTwentyThreeProgressLinesAtTheMultiplesOf256) {
    startToFirstBlock();
    echoToTheEnd();
    std::vector<std::string> expected;
    for (const int percent : {4,  8,  12, 16, 20, 25, 29, 33, 37, 41, 45, 50,
                              54, 58, 62, 66, 70, 75, 79, 83, 87, 91, 95}) {
        expected.push_back("Firmware:" + std::to_string(percent) + "%");
    }
    EXPECT_EQ(linesStartingWith("Firmware:"), expected);
}

TEST_F(Transfer, aWaitingBootLoaderMakesStartSendTheFirstBlockAtOnce) {
    answer(reply(0x05, {}, kBootloaderStart)); // the announcement, while idle
    ASSERT_TRUE(engine.isAwaitingFirmware());
    transfer.startflashButtonClick();
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::FirmwareBlock,
                                       FrameData{0x00, 0x00, image[0], image[1], fillers[0]}));
    EXPECT_EQ(engine.requestState(), rs::kFirmwareUpdate);
}

TEST_F(Transfer, anEchoHoldingTheReplyStartByteIsTakenWholeInPieces) {
    startToFirstBlock();
    echoUntil(0x3E);
    const ByteString whole = bytesOf(echo());
    ASSERT_EQ(whole[2], 0x3E);
    engine.ReceiveData(ByteString(whole.begin(), whole.begin() + 2));
    engine.ReceiveData(ByteString(whole.begin() + 2, whole.end()));
    EXPECT_EQ(blockAddress(lastSent()), 0x40u);
    EXPECT_TRUE(errorBoxes.empty());
}

TEST_F(Transfer, aWrongEchoResendsTheSameBlockAndEveryMismatchIsCounted) {
    startToFirstBlock();
    echoUntil(100);
    const Frame block = lastSent();
    answer(echo(0xDEAD));
    EXPECT_EQ(log.back(), kVerificationError);
    EXPECT_EQ(lastSent(), block) << "the same address, word and filler";
    EXPECT_EQ(transfer.transferAddress(), 102u);
    answer(echo());
    EXPECT_EQ(blockAddress(lastSent()), 102u);

    // The echo at address 256 logs its progress line; a resend there logs it again.
    echoUntil(254);
    answer(echo(0xDEAD));
    answer(echo(0xDEAD));
    answer(echo());
    EXPECT_EQ(linesStartingWith("Firmware:4%").size(), 3u);

    echoToTheEnd();
    EXPECT_EQ(flashed(), image);
    EXPECT_EQ(log.back(), kSuccess);
    EXPECT_EQ(warningBoxes,
              std::vector<std::string>{" Number of errors detected during the update:3"});
}

TEST_F(Transfer, theLastWordIsCheckedAndAMismatchCountedButNotResent) {
    startToFirstBlock();
    echoUntil(6142);
    const std::size_t sent = port.written.size();
    answer(echo(0xDEAD));

    EXPECT_EQ(port.written.size(), sent) << "the boot loader has left after the last block";
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Verification error in the last word! It cannot be resent.");
    EXPECT_EQ(log.back(), kSuccess);
    EXPECT_EQ(warningBoxes,
              std::vector<std::string>{" Number of errors detected during the update:1"});
    EXPECT_EQ(transfer.phase(), FirmwareTransfer::Phase::Idle);
}

// Start never replaces the exchange in progress: a level poll's reply would end the transfer's
// first request. The transfer begins when the poll has ended, answered or not.
class StartDuringAPoll : public Transfer, public ::testing::WithParamInterface<bool> {};

TEST_P(StartDuringAPoll, waitsForThePollToEndThenRunsToTheEnd) {
    const bool pollAnswered = GetParam();
    time.advanceBy(ExchangeEngine::kPollDelayMs); // a poll is outstanding
    ASSERT_EQ(engine.requestState(), rs::kLevelPoll);
    const std::size_t sent = port.written.size();
    transfer.startflashButtonClick();
    EXPECT_EQ(port.written.size(), sent);
    EXPECT_TRUE(transfer.isRunning());
    EXPECT_FALSE(view.commandControls);
    if (pollAnswered) {
        answer(reply(0x05, {0x10, 0x00, 22, 0, 0})); // its owner gives the controls back
    } else {
        time.advanceBy(ExchangeEngine::kReplyTimeoutMs);
    }
    ASSERT_EQ(port.written.size(), sent + 1);
    EXPECT_EQ(lastSent(), buildRequest(CommandCode::ReadConfiguration, FrameData{}));
    EXPECT_FALSE(view.commandControls);
    EXPECT_TRUE(view.progressBarShown);
    answer(reply(0x02, {}, kBootloaderStart));
    echoToTheEnd();
    EXPECT_EQ(flashed(), image);
    EXPECT_EQ(log.back(), kSuccess);
}

INSTANTIATE_TEST_SUITE_P(Transfer, StartDuringAPoll, ::testing::Bool());

TEST_F(Transfer, aPortLostDuringTheTransferEndsItAndTheWindowMayClose) {
    startToFirstBlock();
    echoUntil(500);
    port.failOpen = true; // the adapter is pulled: the time-out's line reset fails
    time.advanceBy(ExchangeEngine::kReplyTimeoutMs);
    EXPECT_EQ(errorBoxes, std::vector<std::string>{"No response from sensor!"});
    EXPECT_EQ(transfer.phase(), FirmwareTransfer::Phase::Idle);
    EXPECT_EQ(transfer.transferAddress(), 0u);
    EXPECT_FALSE(view.progressBarShown);
    EXPECT_TRUE(mayCloseMainWindow(engine, [] { return true; })) << "a close is never refused";
    // Without a port, Update is off and sends nothing.
    EXPECT_FALSE(view.startFlash);
    const std::size_t sent = port.written.size();
    transfer.startflashButtonClick();
    EXPECT_EQ(port.written.size(), sent);
    EXPECT_EQ(transfer.phase(), FirmwareTransfer::Phase::Idle);
}

TEST_F(Transfer, aReplyInPlaceOfTheEchoIsAMismatch) {
    startToFirstBlock();
    echoUntil(200);
    const Frame block = lastSent();
    answer(reply(0x02, {}, kBootloaderStart));
    EXPECT_EQ(lastSent(), block) << "the unconfirmed word is sent again, not skipped";
    EXPECT_EQ(log.back(), kVerificationError);
    EXPECT_EQ(transfer.errorCount(), 1u);
}

enum class Failure { TimeOutOfTheConfigurationRead, TimeOut, BadChecksum, UnknownCode, BootLoader };

class GivingUp : public Transfer, public ::testing::WithParamInterface<Failure> {};

TEST_P(GivingUp, returnsToIdleAndTheNextStartBeginsAtAddressZero) {
    transfer.startflashButtonClick();
    if (GetParam() != Failure::TimeOutOfTheConfigurationRead) {
        answer(reply(0x02, {}, kReplyStart));
        echoUntil(1000);
    }
    switch (GetParam()) {
    case Failure::TimeOutOfTheConfigurationRead:
    case Failure::TimeOut:
        time.advanceBy(ExchangeEngine::kReplyTimeoutMs);
        EXPECT_EQ(errorBoxes, std::vector<std::string>{"No response from sensor!"});
        break;
    case Failure::BadChecksum: {
        Frame broken = echo();
        ++broken[7];
        answer(broken);
        EXPECT_EQ(errorBoxes.size(), 1u);
        break;
    }
    case Failure::UnknownCode:
        answer(reply(0x10, {}));
        EXPECT_EQ(errorBoxes.size(), 1u);
        break;
    case Failure::BootLoader:
        // Another request has replaced the block (a new one always does), so the announcement
        // comes outside the transfer.
        engine.SendCommand(CommandCode::ReadVersion, FrameData{}, rs::kVersionRead);
        answer(reply(0x59, {}, kBootloaderStart));
        EXPECT_TRUE(errorBoxes.empty());
        break;
    }
    EXPECT_EQ(transfer.phase(), FirmwareTransfer::Phase::Idle);
    EXPECT_EQ(transfer.transferAddress(), 0u);
    EXPECT_TRUE(view.commandControls);
    EXPECT_FALSE(view.progressBarShown);
    EXPECT_TRUE(view.startFlash);
    EXPECT_NE(log.back(), kSuccess);

    if (GetParam() == Failure::TimeOutOfTheConfigurationRead || GetParam() == Failure::TimeOut) {
        // After a time-out the frame goes once more. Start waits for its answer, which must
        // not pass for that of the transfer's own first request.
        const std::size_t sent = port.written.size();
        transfer.startflashButtonClick();
        EXPECT_EQ(port.written.size(), sent);
        answer(GetParam() == Failure::TimeOut ? echo(std::nullopt, kReplyStart)
                                              : reply(0x02, {}));
    }
    const Frame first = startToFirstBlock();
    EXPECT_EQ(first, buildRequest(CommandCode::FirmwareBlock,
                                  FrameData{0x00, 0x00, image[0], image[1], fillers.back()}));
}

INSTANTIATE_TEST_SUITE_P(Failures, GivingUp,
                         ::testing::Values(Failure::TimeOutOfTheConfigurationRead, Failure::TimeOut,
                                           Failure::BadChecksum, Failure::UnknownCode,
                                           Failure::BootLoader));

TEST_F(Transfer, anEchoOutsideATransferOnlyGivesTheControlsBack) {
    startToFirstBlock();
    echoUntil(10);
    time.advanceBy(ExchangeEngine::kReplyTimeoutMs); // gives up; the block goes once more
    view.commandControls = false;
    view.startFlash = false;
    const std::size_t sent = port.written.size();
    answer(echo(std::nullopt, kReplyStart)); // (a "1" frame here would be an announcement)
    EXPECT_TRUE(view.commandControls);
    EXPECT_TRUE(view.startFlash);
    EXPECT_EQ(port.written.size(), sent);
    EXPECT_EQ(engine.requestState(), rs::kIdle);
}

TEST_F(Transfer, aTransferWhoseRequestWasReplacedDoesNotKeepStartFromBeginningAnew) {
    startToFirstBlock();
    echoUntil(300);
    answer(reply(0x05, {0x10, 0x00, 22, 0, 0})); // a late level reply ends the exchange
    ASSERT_EQ(engine.requestState(), rs::kIdle);
    EXPECT_FALSE(transfer.isRunning());
    EXPECT_EQ(blockAddress(startToFirstBlock()), 0u);
}

TEST_F(Transfer, startRefusesAnImageThatIsNotExactlyASixKilobyteBinFile) {
    struct Case {
        const char* name;
        std::size_t size; // 0: no file
    };
    for (const Case& c : {Case{"missing.bin", 0}, Case{"short.bin", 6143}, Case{"long.bin", 6145},
                          Case{"fw.hex", 6144}, Case{"fw", 6144}}) {
        if (c.size != 0) {
            writeFile(dir / c.name, ByteString(c.size, 0x5A));
        }
        transfer.restoreFirmwarePath(dir / c.name);
        const std::size_t sent = port.written.size();
        view.startFlash = true;
        transfer.startflashButtonClick();
        EXPECT_EQ(errorBoxes.back(), "Cannot read the firmware file!") << c.name;
        EXPECT_EQ(port.written.size(), sent) << c.name;
        EXPECT_TRUE(view.startFlash) << c.name;
        EXPECT_FALSE(view.progressBarShown) << c.name;
        EXPECT_EQ(transfer.phase(), FirmwareTransfer::Phase::Idle) << c.name;
    }
    EXPECT_EQ(errorBoxes.size(), 5u);
}

TEST_F(Transfer, theImageIsReadWholeAtStartSoALaterChangeOfTheFileIsNotSent) {
    startToFirstBlock();
    writeFile(dir / "fw.bin", ByteString(kFirmwareImageSize + 1, 0x00));
    echoToTheEnd();
    EXPECT_EQ(flashed(), image);
    EXPECT_EQ(log.back(), kSuccess);
}

TEST_F(Transfer, choosingAnImageChecksItsSizeAndExtension) {
    for (const char* name : {"FW.BIN", "fw.bin", "Fw.Bin"}) {
        writeFile(dir / name, image);
        dialogChoice = dir / name;
        view.startFlash = false;
        transfer.getflashfileButtonClick();
        EXPECT_EQ(firmwareView.shownPath, dir / name);
        EXPECT_EQ(transfer.firmwarePath(), dir / name);
        EXPECT_TRUE(view.startFlash) << name;
    }
    ASSERT_TRUE(errorBoxes.empty());
    const std::filesystem::path accepted = transfer.firmwarePath();

    writeFile(dir / "short.bin", ByteString(6143));
    writeFile(dir / "long.bin", ByteString(6145));
    writeFile(dir / "fw.hex", image);
    writeFile(dir / "fw.bin.old", image);
    writeFile(dir / "fw", image);
    for (const char* name : {"short.bin", "long.bin", "fw.hex", "fw.bin.old", "fw"}) {
        dialogChoice = dir / name;
        view.startFlash = false;
        transfer.getflashfileButtonClick();
        EXPECT_EQ(errorBoxes.back(), "Cannot read the firmware file!") << name;
        EXPECT_EQ(firmwareView.shownPath, accepted) << name;
        EXPECT_EQ(transfer.firmwarePath(), accepted) << name;
        EXPECT_FALSE(view.startFlash) << name;
    }
    EXPECT_EQ(errorBoxes.size(), 5u);

    dialogChoice.reset(); // cancelled
    transfer.getflashfileButtonClick();
    EXPECT_EQ(errorBoxes.size(), 5u);
    EXPECT_EQ(transfer.firmwarePath(), accepted);
}

TEST_F(Transfer, closingIsRefusedDuringATransferAndConfirmedWhileTheBootLoaderWaits) {
    int asked = 0;
    bool answerOk = false;
    const auto confirm = [&] {
        ++asked;
        return answerOk;
    };
    EXPECT_TRUE(mayCloseMainWindow(engine, confirm));
    EXPECT_EQ(asked, 0);

    engine.setAwaitingFirmware(true);
    EXPECT_FALSE(mayCloseMainWindow(engine, confirm)); // Cancel
    answerOk = true;
    EXPECT_TRUE(mayCloseMainWindow(engine, confirm)); // OK
    EXPECT_EQ(asked, 2);

    startToFirstBlock();
    EXPECT_FALSE(mayCloseMainWindow(engine, confirm));
    EXPECT_EQ(asked, 2) << "refused without a question";
}

TEST(FillerSource, givesEveryValueFromZeroTo254AndNever255) {
    auto filler = fillerSource(7);
    std::array<int, 256> seen{};
    for (int i = 0; i < 100000; ++i) {
        ++seen[filler()];
    }
    EXPECT_EQ(seen[255], 0);
    EXPECT_EQ(std::count(seen.begin(), seen.begin() + 255, 0), 0);
}

} // namespace
} // namespace vorkel
