#include "calibration/whole_file.h"
#include "calibration_fixture.h"
#include "support/temp_dir.h"

#include <fstream>

namespace vorkel {
namespace {

using namespace test;
namespace rs = request_state;
namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BackupFile, isReadOnlyFromAFileOfExactlyFiveBytes) {
    TempDir dir;
    const struct {
        std::string content;
        std::optional<FrameData> record;
    } cases[] = {
        {std::string("\x00\x00\x00\xFF\xFF", 5), FrameData{0x00, 0x00, 0x00, 0xFF, 0xFF}},
        {"\x12\x34\x56\x78\x9A", FrameData{0x12, 0x34, 0x56, 0x78, 0x9A}},
        {"\x12\x34\x56\x78\x9A\x01", std::nullopt},
        {std::string(4096, '\xFF'), std::nullopt}, // a firmware image
        {"\x12\x34\x56\x78", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        writeBytes(dir / "cal", c.content);
        EXPECT_EQ(readBackupFile(dir / "cal"), c.record) << c.content.size() << " bytes";
    }
    EXPECT_EQ(readBackupFile(dir / "missing"), std::nullopt);
    EXPECT_EQ(readBackupFile(dir.path()), std::nullopt); // a folder
}

TEST(BackupFile, isExactlyTheRecordUnderTheNameAsChosen) {
    TempDir dir;
    writeBytes(dir / "cal", "an older and longer file");
    ASSERT_TRUE(writeBackupFile(dir / "cal", {0x00, 0x00, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(readAll(dir / "cal"), std::string("\x00\x00\x00\xFF\xFF", 5));
    EXPECT_EQ(filesIn(dir.path()), std::vector<fs::path>{"cal"}); // no extension added
}

TEST(WholeFile, aFailedWriteLeavesNothingBehind) {
    TempDir dir;
    EXPECT_FALSE(writeWholeFile(dir / "no-such-folder" / "cal", "12345"));
    fs::create_directory(dir / "taken"); // a folder where the file should go
    EXPECT_FALSE(writeWholeFile(dir / "taken", "12345"));
    EXPECT_EQ(filesIn(dir.path()), std::vector<fs::path>{"taken"});
    EXPECT_TRUE(fs::is_empty(dir / "taken"));
}

TEST(WholeFile, replacesAFileButNeverOpensAnotherFile) {
    TempDir dir;
    writeBytes(dir / "t.txt", "old content, longer than the new");
    // Every temporary name is taken: the write fails rather than reuse one of them.
    std::vector<fs::path> others{"t.txt.partial"};
    for (int n = 1; n < 100; ++n) {
        others.push_back("t.txt.partial" + std::to_string(n));
    }
    for (const fs::path& name : others) {
        writeBytes(dir / name, "someone else's");
    }
    EXPECT_FALSE(writeWholeFile(dir / "t.txt", "new"));
    EXPECT_EQ(readAll(dir / "t.txt"), "old content, longer than the new");

    fs::remove(dir / others[99]);
    others.pop_back();
    ASSERT_TRUE(writeWholeFile(dir / "t.txt", "new"));
    EXPECT_EQ(readAll(dir / "t.txt"), "new");
    for (const fs::path& name : others) {
        EXPECT_EQ(readAll(dir / name), "someone else's") << name;
    }
    EXPECT_EQ(filesIn(dir.path()).size(), 100u);
}

class BackupFlow : public CalibrationFlows {
protected:
    TempDir dir;
};

TEST_F(BackupFlow, savingReadsThePointsAndWritesTheirRecord) {
    dialogs.backupPaths = {dir / "cal"};
    backup.readtarButtonClick();
    EXPECT_EQ(sent(), std::vector<ByteString>{request(CommandCode::ReadCalibration)});
    EXPECT_EQ(engine.requestState(), rs::kCalibrationToFile);
    EXPECT_EQ(dialogs.backupDialogs, 0); // the dialog waits for the points

    answer(CommandCode::ReadCalibration, {0x12, 0x34, 0x56, 0x78, 0x9A});
    EXPECT_EQ(dialogs.backupDialogs, 1);
    EXPECT_EQ(readAll(dir / "cal"), "\x12\x34\x56\x78\x9A");
    EXPECT_TRUE(view.commandControls);
    EXPECT_TRUE(pointsView.writeButton);
    EXPECT_FALSE(pointsView.calibrateButtons);
    EXPECT_EQ(pointsView.texts[TankPoint::Empty], "0"); // the edits are not touched
    EXPECT_TRUE(dialogs.warnings.empty());
    EXPECT_EQ(engine.requestState(), rs::kIdle);
}

TEST_F(BackupFlow, aCancelledOrFailedSaveSaysSo) {
    for (const std::optional<fs::path>& choice :
         {std::optional<fs::path>{}, std::optional<fs::path>{dir / "missing" / "cal"}}) {
        dialogs.backupPaths = {choice};
        dialogs.warnings.clear();
        backup.readtarButtonClick();
        answer(CommandCode::ReadCalibration, {0x12, 0x34, 0x56, 0x78, 0x9A});
        EXPECT_EQ(dialogs.warnings, std::vector<std::string>{"Calibration file not saved!"});
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(BackupFlow, loadingSendsTheFilesRecordWithoutAsking) {
    // Empty far above full.
    writeBytes(dir / "cal.bin", std::string("\x0F\xFF\xFF\x00\x01", 5));
    dialogs.backupPaths = {dir / "cal.bin"};
    backup.writetarButtonClick();
    EXPECT_EQ(sent(), std::vector<ByteString>{
                          request(CommandCode::WriteCalibration, {0x0F, 0xFF, 0xFF, 0x00, 0x01})});
    EXPECT_EQ(engine.requestState(), rs::kCalibrationFromFile);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(view.levelDisplays, "blank");

    pointsView.calibrateButtons = pointsView.writeButton = true;
    answer(CommandCode::WriteCalibration, {0x0F, 0xFF, 0xFF, 0x00, 0x01});
    EXPECT_FALSE(pointsView.calibrateButtons);
    EXPECT_FALSE(pointsView.writeButton);
    EXPECT_TRUE(view.commandControls);
    EXPECT_EQ(engine.sensorResetTime(), time.tickCount());
    ASSERT_EQ(dialogs.informations.size(), 1u);
    EXPECT_EQ(engine.requestState(), rs::kIdle);
}

TEST_F(BackupFlow, aFileThatIsNoRecordSendsNothing) {
    writeBytes(dir / "short", "\x01\x02\x03\x04");
    writeBytes(dir / "firmware.bin", "\x01\x02\x03\x04\x05\x06");
    for (const fs::path& path :
         {dir / "short", dir / "firmware.bin", dir / "missing", dir.path()}) {
        dialogs.backupPaths = {path};
        backup.writetarButtonClick();
    }
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(dialogs.errors, std::vector<std::string>(4, "Cannot read the calibration file"));
    EXPECT_EQ(view.levelDisplays, "");

    dialogs.errors.clear();
    backup.writetarButtonClick(); // cancelled
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(dialogs.errors.empty());
}

} // namespace
} // namespace vorkel
