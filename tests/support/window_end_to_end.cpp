#include "support/window_end_to_end.h"

#include "app/settings_keys.h"

#include <fstream>

#include <QDateTime>
#include <QTest>

namespace vorkel::test {

namespace {

bool startsWith(const std::string& line, const std::string& prefix) {
    return line.rfind(prefix, 0) == 0;
}

} // namespace

void WindowEndToEnd::SetUp() {
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    settings.setValue(settings_key::kPort, "VSENSOR1");
}

void WindowEndToEnd::TearDown() {
    window.reset();
    sim.reset();
}

void WindowEndToEnd::startSensor(std::vector<std::string> options) {
    options.insert(options.end(), {"--trace", trace.string(), "--name", "VSENSOR1"});
    sim = std::make_unique<SimProcess>(VORKEL_SENSOR_SIM_PATH, options, runtime);
    ASSERT_FALSE(sim->readLine().empty()) << sim->errors();
}

void WindowEndToEnd::startConfigurator() {
    MainFormEnvironment environment;
    environment.settings = &settings;
    environment.boxes = &boxes;
    environment.logFile = dir / "log.txt";
    environment.translationTable = shippedTranslation();
    environment.discoverPorts = [this] {
        return discoverPosixPorts(dir / "no-sysfs", runtime, dir / "no-by-id");
    };
    environment.watchedFolders = {{runtime, runtime / kVirtualPortsFolder}};
    environment.buildIdentifier = "3FA9";
    environment.tickCount = [] {
        return static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch());
    };
    addSeams(environment);
    window = std::make_unique<TmainForm>(std::move(environment));
}

bool WindowEndToEnd::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

bool WindowEndToEnd::connected() const {
    return window->windowTitle() == "Configurator 1.8 CRC: 3FA9 | connected VSENSOR1";
}

bool WindowEndToEnd::idle() const {
    return window->engine().requestState() == request_state::kIdle;
}

std::vector<std::string> WindowEndToEnd::traceLines() const {
    std::ifstream file(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

int WindowEndToEnd::traceCount(const std::string& prefix) const {
    int count = 0;
    for (const std::string& line : traceLines()) {
        count += startsWith(line, prefix) ? 1 : 0;
    }
    return count;
}

std::vector<std::string> WindowEndToEnd::commands() const {
    std::vector<std::string> result;
    for (const std::string& line : traceLines()) {
        if (startsWith(line, "rx ") && !startsWith(line, "rx 31 05 ")) {
            result.push_back(line);
        }
    }
    return result;
}

int WindowEndToEnd::logCount(const QString& text) const {
    return static_cast<int>(window->ui().logListBox->findItems(text, Qt::MatchExactly).size());
}

QStringList WindowEndToEnd::logLines(const QString& prefix) const {
    QStringList lines;
    for (const QListWidgetItem* item :
         window->ui().logListBox->findItems(prefix, Qt::MatchStartsWith)) {
        lines.prepend(item->text());
    }
    return lines;
}

} // namespace vorkel::test
