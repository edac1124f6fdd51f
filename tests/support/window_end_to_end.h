// The real window, headless, against the virtual sensor over a pseudo-terminal: real serial
// component, real timers, the sensor in another process. A fresh folder holds the sensor's
// runtime folder, the settings, the log and the sensor's trace; the boxes are recorded.
// A test's fixture derives from this one and adds its own seams (addSeams) and sensor options.
#pragma once

#include "app/main_form.h"
#include "support/qt_fakes.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "ui_TmainForm.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include <QSettings>
#include <QStringList>

namespace vorkel::test {

class WindowEndToEnd : public ::testing::Test {
protected:
    // The first poll goes out this long after the port opens.
    static constexpr std::chrono::milliseconds kFirstPoll{3000};

    TempDir dir;
    std::filesystem::path runtime = dir / "run";
    std::filesystem::path trace = dir / "trace.txt";
    QSettings settings{QString::fromStdString((dir / "Ketrafo.conf").string()),
                       QSettings::IniFormat};
    RecordingBoxes boxes;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TmainForm> window;

    void SetUp() override;
    void TearDown() override;

    // The sensor as VSENSOR1, tracing to `trace`.
    void startSensor(std::vector<std::string> options = {});
    // The window on port VSENSOR1, with the real time and the shipped translation.
    void startConfigurator();
    // The seams a test answers itself (file dialogs, today's date).
    virtual void addSeams(MainFormEnvironment&) {}

    static bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

    Ui::TmainForm& ui() { return window->ui(); }
    bool connected() const;
    bool idle() const;

    std::vector<std::string> traceLines() const;
    int traceCount(const std::string& prefix) const;
    // The requests other than level polls, in order.
    std::vector<std::string> commands() const;
    int logCount(const QString& text) const;
    // Oldest first (the list shows the newest on top).
    QStringList logLines(const QString& prefix) const;
};

} // namespace vorkel::test
