// vorkel-cli as a script runs it: the built program against virtual sensors published in a
// temporary runtime folder, its JSON read back.
#include "calibration/table_export.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <QJsonDocument>
#include <QJsonObject>

namespace vorkel {
namespace {

using namespace std::chrono_literals;
using test::SimProcess;
using test::TempDir;

constexpr auto kCliPatience = 90s; // a flash under the sanitizers on a busy machine

struct CliRun {
    int status = -1;
    std::vector<QJsonObject> objects; // one per line of standard output
    std::string errors;
    bool allJson = true;
};

std::string bytesOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class CliTest : public ::testing::Test {
protected:
    // Virtual sensors S1, S2, ... with these options each.
    void startSensors(const std::vector<std::vector<std::string>>& options) {
        for (const auto& extra : options) {
            const std::string name = "S" + std::to_string(sensors_.size() + 1);
            std::vector<std::string> args{"--name", name, "--firmware-out",
                                          (runtime_.path() / (name + ".out")).string()};
            args.insert(args.end(), extra.begin(), extra.end());
            sensors_.push_back(std::make_unique<SimProcess>(VORKEL_SENSOR_SIM_PATH, args,
                                                            runtime_.path()));
            ASSERT_FALSE(sensors_.back()->readLine().empty()) << "published";
        }
    }

    CliRun cli(std::vector<std::string> args) {
        args.push_back("--json");
        args.push_back("--language");
        args.push_back("en");
        SimProcess program(VORKEL_CLI_PATH, args, runtime_.path());
        CliRun run;
        run.status = program.waitForExit(kCliPatience).value_or(-1);
        run.errors = program.errors();
        std::string out = program.output();
        for (std::size_t end; (end = out.find('\n')) != std::string::npos; out.erase(0, end + 1)) {
            const QJsonDocument line = QJsonDocument::fromJson(QByteArray::fromStdString(out.substr(0, end)));
            run.allJson = run.allJson && line.isObject();
            run.objects.push_back(line.object());
        }
        run.allJson = run.allJson && out.empty();
        return run;
    }

    TempDir runtime_;
    std::vector<std::unique_ptr<SimProcess>> sensors_;
};

TEST_F(CliTest, EveryCommandDoesItsJobOnTheSensor) {
    startSensors({{}});
    const std::string backup = (runtime_.path() / "points.bin").string();
    using Check = std::function<void(const std::vector<QJsonObject>&)>;
    const struct {
        std::vector<std::string> args;
        Check check;
    } rows[] = {
        {{"ports"},
         [](const auto& lines) {
             ASSERT_FALSE(lines.empty());
             EXPECT_EQ(lines.back()["port"].toString(), "S1");
         }},
        {{"-p", "S1", "info"},
         [](const auto& lines) {
             const QJsonObject info = lines.at(0);
             EXPECT_EQ(info["version"]["program"].toString(), "1.21");
             EXPECT_EQ(info["version"]["module"].toInt(), 167);
             EXPECT_EQ(info["configuration"]["address"].toInt(), 1);
             EXPECT_EQ(info["configuration"]["output"].toString(), "analog");
             EXPECT_EQ(info["points"]["full"].toInt(), 65535);
             EXPECT_NEAR(info["level"]["raw"].toDouble(), 2048, 20);
             EXPECT_NEAR(info["level"]["percent"].toDouble(), 50, 1);
             EXPECT_EQ(info["level"]["temperature"].toInt(), 22);
         }},
        // Only the named field changes; what is read back after the restart is reported.
        {{"-p", "S1", "config", "set", "address=12", "averaging=64"},
         [](const auto& lines) {
             const QJsonValue configuration = lines.at(0)["configuration"];
             EXPECT_EQ(configuration["address"].toInt(), 12);
             EXPECT_EQ(configuration["averaging"].toInt(), 64);
             EXPECT_EQ(configuration["analog-high"].toInt(), 15);
             EXPECT_EQ(configuration["bitrate"].toInt(), 19200);
         }},
        {{"-p", "S1", "config"},
         [](const auto& lines) { EXPECT_EQ(lines.at(0)["configuration"]["address"].toInt(), 12); }},
        {{"-p", "S1", "points", "set", "100", "60000"},
         [](const auto& lines) { EXPECT_EQ(lines.at(0)["points"]["empty"].toInt(), 100); }},
        {{"-p", "S1", "points"},
         [](const auto& lines) {
             EXPECT_EQ(lines.at(0)["points"]["empty"].toInt(), 100);
             EXPECT_EQ(lines.at(0)["points"]["full"].toInt(), 60000);
         }},
        {{"-p", "S1", "calibrate", "full"},
         [](const auto& lines) {
             EXPECT_EQ(lines.at(0)["points"]["empty"].toInt(), 100);
             EXPECT_NE(lines.at(0)["points"]["full"].toInt(), 60000); // the measurement now
         }},
        {{"-p", "S1", "backup", "save", backup},
         [&](const auto& lines) {
             const std::string bytes = bytesOf(backup);
             ASSERT_EQ(bytes.size(), 5u);
             EXPECT_EQ(lines.at(0)["points"]["empty"].toInt(), 100);
         }},
        {{"-p", "S1", "backup", "load", backup},
         [](const auto& lines) { EXPECT_EQ(lines.at(0)["points"]["empty"].toInt(), 100); }},
        {{"-p", "S1", "watch", "--count", "2"},
         [](const auto& lines) {
             ASSERT_EQ(lines.size(), 3u); // two readings, then the port's result
             EXPECT_TRUE(lines[0]["raw"].isDouble());
             EXPECT_EQ(lines[1]["port"].toString(), "S1");
             EXPECT_EQ(lines[2]["readings"].toInt(), 2);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const CliRun run = cli(row.args);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(run.allJson);
        if (row.args.front() != "ports") {
            ASSERT_FALSE(run.objects.empty());
            EXPECT_TRUE(run.objects.back()["ok"].toBool());
        }
        row.check(run.objects);
    }
}

TEST_F(CliTest, RefusalsEndWithTheirExitStatusAndOneLine) {
    // S2: frequency output, and a program too old for the RS-485 options.
    startSensors({{}, {"--mode", "0", "--program-version", "1.20"}});
    const std::string text = (runtime_.path() / "notes.bin").string();
    std::ofstream(text) << "not firmware";
    std::ofstream(text + ".empty").flush();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } rows[] = {
        {{"-p", "S1", "frobnicate"}, 2, "frobnicate"},
        {{"info"}, 2, "--port"},
        {{"-p", "S1", "config", "set", "address=300"}, 2, "0 to 255"},
        {{"-p", "S1", "config", "set", "colour=red"}, 2, "colour"},
        {{"-p", "S1", "config", "set", "averaging=40"}, 2, "averaging=40"},
        {{"-p", "S1", "backup", "load", text}, 2, "not exactly 5 bytes"},
        {{"-p", "S1", "flash", text}, 2, "firmware"},
        {{"-p", "S1", "points", "set", "900", "800"}, 2, "not below"},
        {{"-p", "S2", "config", "set", "bitrate=9600"}, 2, "bitrate"},
        {{"-p", "S2", "config", "set", "analog-low=2", "address=7"}, 2, "analog-low"},
        {{"-p", "/dev/vorkel-no-such-port", "info"}, 3, "vorkel-no-such-port"},
        {{"table", "convert", text + ".none", text + ".csv", "--format", "fort"}, 2, "no such file"},
        {{"table", "convert", text, text + ".csv", "--format", "excel"}, 2, "--format"},
        {{"table", "convert", text + ".empty", text + ".csv", "--format", "fort"}, 2, "not loaded"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const CliRun run = cli(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.errors.find(row.says), std::string::npos) << run.errors;
        EXPECT_TRUE(run.allJson); // nothing half-written on standard output
    }
    // Nothing was written by the refused changes.
    const QJsonObject points = cli({"-p", "S1", "points"}).objects.at(0);
    EXPECT_EQ(points["points"]["full"].toInt(), 65535);
    const QJsonObject config = cli({"-p", "S2", "config"}).objects.at(0);
    EXPECT_EQ(config["configuration"]["address"].toInt(), 1);
}

// No port: a table goes into another format and back to the same bytes.
TEST_F(CliTest, aTableIsConvertedAndBackToTheSameBytes) {
    const std::filesystem::path table = runtime_.path() / "tank.txt";
    const std::filesystem::path csv = runtime_.path() / "tank.csv";
    const std::filesystem::path back = runtime_.path() / "back.txt";
    std::ofstream(table, std::ios::binary) << vorkelTable({{"0", "120"}, {"12.5", "900"}, {"25", "1700"}});
    for (const auto& [from, to, format] : {std::tuple{table, csv, "wialon-csv"},
                                           std::tuple{csv, back, "vorkel"}}) {
        const CliRun run = cli({"table", "convert", from.string(), to.string(), "--format", format});
        EXPECT_EQ(run.status, 0) << run.errors;
        ASSERT_EQ(run.objects.size(), 1u);
        EXPECT_TRUE(run.objects[0]["ok"].toBool());
    }
    EXPECT_EQ(bytesOf(back), bytesOf(table));
}

TEST_F(CliTest, FourSensorsAreFlashedAtOnceWhileFailingPortsFailAlone) {
    // S5 never answers; the last port does not exist.
    startSensors({{}, {}, {}, {}, {"--drop-every", "1"}});
    std::string image(6144, '\0');
    std::mt19937 random(25);
    for (char& byte : image) {
        byte = static_cast<char>(random());
    }
    const auto imagePath = runtime_.path() / "update.bin";
    std::ofstream(imagePath, std::ios::binary) << image;

    const CliRun run = cli({"-p", "S1,S2,S3,S4,S5,/dev/vorkel-no-such-port", "flash", imagePath.string()});
    EXPECT_EQ(run.status, 3); // the worst port's
    EXPECT_TRUE(run.allJson);
    std::map<std::string, int> statuses;
    for (const QJsonObject& port : run.objects) {
        statuses[port["port"].toString().toStdString()] = port["status"].toInt();
    }
    EXPECT_EQ(statuses, (std::map<std::string, int>{{"S1", 0}, {"S2", 0}, {"S3", 0}, {"S4", 0},
                                                   {"S5", 1}, {"/dev/vorkel-no-such-port", 3}}));
    for (const std::string name : {"S1", "S2", "S3", "S4"}) {
        EXPECT_TRUE(bytesOf(runtime_.path() / (name + ".out")) == image) << name;
    }
    EXPECT_NE(run.errors.find("S5: No response from sensor!"), std::string::npos) << run.errors;
}

} // namespace
} // namespace vorkel
