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

TEST(BackupFile, takesTheFirstFiveBytesOfAFileThatHasThem) {
    TempDir dir;
    const struct {
        std::string content;
        std::optional<FrameData> record;
    } cases[] = {
        {std::string("\x00\x00\x00\xFF\xFF", 5), FrameData{0x00, 0x00, 0x00, 0xFF, 0xFF}},
        {"\x12\x34\x56\x78\x9A\x01", FrameData{0x12, 0x34, 0x56, 0x78, 0x9A}},
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

TEST(WholeFile, replacesAFileAndKeepsOtherFilesBesideIt) {
    TempDir dir;
    writeBytes(dir / "t.txt", "old content, longer than the new");
    writeBytes(dir / "t.txt.partial", "someone else's");
    ASSERT_TRUE(writeWholeFile(dir / "t.txt", "new"));
    EXPECT_EQ(readAll(dir / "t.txt"), "new");
    EXPECT_EQ(readAll(dir / "t.txt.partial"), "someone else's");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<fs::path>{"t.txt", "t.txt.partial"}));
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
    // Empty far above full, and more bytes after the record.
    writeBytes(dir / "cal.bin", std::string("\x0F\xFF\xFF\x00\x01 and more", 14));
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

TEST_F(BackupFlow, aFileWithoutAWholeRecordSendsNothing) {
    writeBytes(dir / "short", "\x01\x02\x03\x04");
    for (const fs::path& path : {dir / "short", dir / "missing", dir.path()}) {
        dialogs.backupPaths = {path};
        backup.writetarButtonClick();
    }
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(dialogs.errors, std::vector<std::string>(3, "Cannot read the calibration file"));
    EXPECT_EQ(view.levelDisplays, "");

    dialogs.errors.clear();
    backup.writetarButtonClick(); // cancelled
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(dialogs.errors.empty());
}

} // namespace
} // namespace vorkel
