// Firmware updates in the real window against the virtual sensor: the image chosen through the
// dialog seam, Update clicked, every block on the line as the sensor's trace shows it, and the
// image the sensor ends up with (written by it with --firmware-out) compared with the file.
// An unpaced update takes well under a second of program time; the limits are generous, since
// these tests share two busy cores, and only the order of events is checked, never a margin.
#include "support/window_end_to_end.h"

#include <fstream>
#include <sstream>

#include <QElapsedTimer>
#include <QTimer>

namespace vorkel {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kUpdateLimit{60000};
constexpr std::chrono::milliseconds kSlack{5000};
constexpr int kBlocks = static_cast<int>(kFirmwareImageSize / 2);

// A varied image that holds the bytes a reply's framing could trip on (">" and "1").
std::vector<std::uint8_t> makeImage(std::uint32_t seed, std::size_t size = kFirmwareImageSize) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        image[i] = static_cast<std::uint8_t>(seed >> 16);
    }
    image[10] = 0x3E;
    image[11] = 0x31;
    return image;
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A request line of the trace, "rx 31 58 a0 a1 w0 w1 f0 cs", as bytes.
std::vector<unsigned> frameBytes(const std::string& line) {
    std::istringstream text(line.substr(3));
    std::vector<unsigned> bytes;
    for (unsigned byte = 0; text >> std::hex >> byte;) {
        bytes.push_back(byte);
    }
    return bytes;
}

bool startsWith(const std::string& line, const std::string& prefix) {
    return line.rfind(prefix, 0) == 0;
}

class FirmwareEndToEnd : public test::WindowEndToEnd {
protected:
    std::filesystem::path flashed = dir / "flashed.bin";
    std::filesystem::path imageFile = dir / "Vorkel FW.BIN";

    void startSensor(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--firmware-out", flashed.string()});
        WindowEndToEnd::startSensor(std::move(options));
    }
    void addSeams(MainFormEnvironment& environment) override {
        environment.chooseFirmwareFile = [this] { return std::optional(imageFile); };
    }
    // Waits in the event loop, so that every reply is taken as it comes (QTest::qWaitFor sleeps
    // 10 ms between rounds, which would make each of the 3072 blocks wait that long); the timer
    // only wakes the loop to see the limit. Stands in for the fixture's waitFor in these tests.
    static bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        QTimer wakeUp;
        wakeUp.start(20);
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done()) {
            if (elapsed.elapsed() > limit.count()) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
    // Also while a boot loader waits for firmware (the caption then says so after the port).
    bool attached() const {
        return window->windowTitle().startsWith("Configurator 1.8 CRC: 3FA9 | connected VSENSOR1");
    }

    void chooseImage(const std::vector<std::uint8_t>& image) {
        writeFile(imageFile, image);
        ui().getflashfileButton->click();
        ASSERT_TRUE(ui().startflashButton->isEnabled());
    }
    // Clicks Update between two exchanges.
    void clickUpdate() {
        ASSERT_TRUE(waitFor([&] { return idle() && ui().startflashButton->isEnabled(); }, kSlack));
        ui().startflashButton->click();
    }
    bool updateSucceeded() const { return logCount(" Firmware update successful") > 0; }
    void waitForFlashedImage(const std::vector<std::uint8_t>& image) {
        ASSERT_TRUE(waitFor([&] { return updateSucceeded(); }, kUpdateLimit));
        EXPECT_EQ(window->firmware().phase(), FirmwareTransfer::Phase::Idle);
        EXPECT_TRUE(ui().flashprogresspanel->isHidden());
        EXPECT_TRUE(ui().startflashButton->isEnabled());
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(flashed); }, kSlack));
        EXPECT_TRUE(readFile(flashed) == image);
    }

    int polls() const { return traceCount("rx 31 05 "); }
    std::string boxTexts() const {
        std::string texts;
        for (const test::RecordingBoxes::Box& box : boxes.shown) {
            texts += box.text.toStdString() + "\n";
        }
        return texts;
    }
};

// The blocks in `lines` from `first` on are the image's words at addresses 0, 2, ... 6142.
void expectBlocksInOrder(const std::vector<std::string>& lines, std::size_t first,
                         const std::vector<std::uint8_t>& image) {
    ASSERT_EQ(lines.size(), first + kBlocks) << lines.back();
    for (int block = 0; block < kBlocks; ++block) {
        const std::vector<unsigned> bytes = frameBytes(lines[first + block]);
        const unsigned address = static_cast<unsigned>(block) * 2;
        ASSERT_EQ(bytes.size(), 8u);
        ASSERT_EQ(bytes[1], 0x58u) << block;
        ASSERT_EQ(bytes[2] | bytes[3] << 8, address) << block;
        ASSERT_EQ(bytes[4], image[address]) << block;
        ASSERT_EQ(bytes[5], image[address + 1]) << block;
        ASSERT_LE(bytes[6], 254u) << block; // the filler
    }
}

TEST_F(FirmwareEndToEnd, anUpdateFromANormalStartReadsTheConfigurationThenSendsEveryWord) {
    startSensor();
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return attached(); }, kFirstPoll + kSlack));
    const std::vector<std::uint8_t> image = makeImage(1);
    chooseImage(image);
    clickUpdate();
    EXPECT_FALSE(ui().flashprogresspanel->isHidden());
    EXPECT_FALSE(ui().readconfButton->isEnabled());
    EXPECT_FALSE(ui().writeconfButton->isEnabled());
    EXPECT_FALSE(ui().startflashButton->isEnabled());

    waitForFlashedImage(image);
    const std::vector<std::string> sent = commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_TRUE(startsWith(sent[0], "rx 31 02 00 00 00 00 00 ")) << sent[0];
    expectBlocksInOrder(sent, 1, image);

    EXPECT_EQ(logLines("Update started...").size(), 1);
    const QStringList progress = logLines("Firmware:");
    EXPECT_EQ(progress.size(), 23);
    EXPECT_EQ(progress.value(0), "Firmware:4%");
    EXPECT_EQ(progress.value(11), "Firmware:50%");
    EXPECT_EQ(progress.value(22), "Firmware:95%");
    EXPECT_TRUE(logLines(" Verification error!").isEmpty());
    EXPECT_EQ(window->firmware().errorCount(), 0u);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FirmwareEndToEnd, aSensorWaitingInItsBootLoaderGetsTheFirstBlockAtOnce) {
    startSensor({"--bootloader"});
    startConfigurator();
    // Its boot loader answers the poll: the caption says the sensor waits for firmware.
    ASSERT_TRUE(
        waitFor([&] { return window->engine().isAwaitingFirmware(); }, kFirstPoll + kSlack));
    EXPECT_TRUE(window->windowTitle().endsWith(" : WAITING FOR SENSOR RESPONSE"));
    const std::vector<std::uint8_t> image = makeImage(2);
    chooseImage(image);
    clickUpdate();
    waitForFlashedImage(image);
    expectBlocksInOrder(commands(), 0, image); // no configuration read before the first block
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FirmwareEndToEnd, wrongEchoesAreResentAndCountedInTheWarning) {
    startSensor({"--wrong-echo-every", "10"});
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return attached(); }, kFirstPoll + kSlack));
    const std::vector<std::uint8_t> image = makeImage(3);
    chooseImage(image);
    clickUpdate();
    waitForFlashedImage(image); // the resent blocks repaired every word

    const int wrongEchoes = traceCount("-- wrong echo");
    EXPECT_GT(wrongEchoes, kBlocks / 10);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, " Warning");
    EXPECT_EQ(boxes.shown[0].text,
              " Number of errors detected during the update:" + QString::number(wrongEchoes));
    EXPECT_EQ(logLines(" Verification error!").size(), wrongEchoes);

    // A mismatch sends the very same block again (filler included); otherwise the address
    // moves on by one word.
    const std::vector<std::string> sent = commands();
    int resends = 0;
    for (std::size_t i = 2; i < sent.size(); ++i) {
        if (sent[i] == sent[i - 1]) {
            ++resends;
            continue;
        }
        const std::vector<unsigned> before = frameBytes(sent[i - 1]);
        const std::vector<unsigned> now = frameBytes(sent[i]);
        ASSERT_EQ((now[2] | now[3] << 8), (before[2] | before[3] << 8) + 2) << i;
    }
    EXPECT_EQ(resends, wrongEchoes); // the last word's echo happened to be right
}

TEST_F(FirmwareEndToEnd, aLostReplyAbandonsTheTransferAndASecondUpdateStartsAfresh) {
    startSensor();
    startConfigurator();
    ASSERT_TRUE(waitFor([&] { return attached(); }, kFirstPoll + kSlack));
    chooseImage(makeImage(4));
    clickUpdate();
    ASSERT_TRUE(
        waitFor([&] { return window->firmware().transferAddress() >= 2048; }, kUpdateLimit));
    // The block on its way now gets no echo; the engine repeats it after the time-out, when the
    // sensor talks again.
    sim->type("silent 1000\n");
    ASSERT_TRUE(waitFor([&] { return !boxes.shown.empty(); }, kUpdateLimit));
    EXPECT_EQ(boxes.shown[0].text, "No response from sensor!");
    EXPECT_EQ(window->firmware().transferAddress(), 0u);
    EXPECT_EQ(window->firmware().phase(), FirmwareTransfer::Phase::Idle);
    ASSERT_TRUE(waitFor([&] { return ui().startflashButton->isEnabled(); }, kSlack));
    EXPECT_TRUE(ui().flashprogresspanel->isHidden());
    EXPECT_TRUE(ui().readconfButton->isEnabled());
    EXPECT_FALSE(updateSucceeded());
    EXPECT_FALSE(std::filesystem::exists(flashed));

    // Nothing of the first image was kept: the second update reads the file as it is now, and
    // starts at once, since the sensor has stayed in its boot loader. Update is clicked once the
    // engine's repeat of the lost block has been answered and a poll has followed.
    const int pollsAfterTimeout = polls();
    ASSERT_TRUE(waitFor([&] { return polls() > pollsAfterTimeout && idle(); }, 3s + kSlack));
    EXPECT_TRUE(window->engine().isAwaitingFirmware());
    const std::size_t before = commands().size();
    const std::vector<std::uint8_t> image = makeImage(5);
    writeFile(imageFile, image);
    clickUpdate();
    waitForFlashedImage(image);
    expectBlocksInOrder(commands(), before, image);
    EXPECT_EQ(boxes.shown.size(), 1u) << boxTexts();
}

TEST_F(FirmwareEndToEnd, aFileGrownAfterItWasChosenIsRefusedAndNothingIsSent) {
    startSensor();
    startConfigurator();
    chooseImage(makeImage(6));
    writeFile(imageFile, makeImage(6, kFirmwareImageSize + 1));
    ASSERT_TRUE(waitFor([&] { return attached() && idle(); }, kFirstPoll + kSlack));
    ui().startflashButton->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, " Error!");
    EXPECT_EQ(boxes.shown[0].text, "Cannot read the firmware file!");
    EXPECT_TRUE(idle());
    EXPECT_TRUE(ui().flashprogresspanel->isHidden());
    EXPECT_TRUE(ui().readconfButton->isEnabled());
    EXPECT_TRUE(logLines("Update started...").isEmpty());
    // The polls go on, and nothing else reaches the sensor.
    const int seen = polls();
    ASSERT_TRUE(waitFor([&] { return polls() > seen; }, kSlack));
    EXPECT_TRUE(commands().empty());
}

} // namespace
} // namespace vorkel
