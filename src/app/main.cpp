// The configurator: the application object and the main window (which opens the multiplier
// dialog for each use).
#include "app/builtin_texts.h"
#include "app/close_on_signal.h"
#include "app/log_place.h"
#include "app/main_form.h"
#include "app/message_boxes.h"
#include "app/path_text.h"
#include "app/settings_keys.h"
#include "protocol/crc16.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#if defined(VORKEL_COMMAND_CHANNEL)
#include "command_channel.h"
#endif

#include <QApplication>
#include <QFile>
#include <QIcon>

namespace {

std::optional<QByteArray> translationResource() {
    QFile resource(QStringLiteral(":/TRANSLATION"));
    if (!resource.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return resource.readAll();
}

// The build identifier: the CRC of the program's own file. The program does not change while
// it runs, so it is computed once.
std::string buildIdentifier() {
    const auto crc =
        vorkel::crc16OfFile(vorkel::pathFromText(QCoreApplication::applicationFilePath()));
    if (!crc) {
        return "????";
    }
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", *crc);
    return digits;
}

std::uint32_t tickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The application title; window captions are the main window's own.
    QApplication::setApplicationName(vorkel::builtin::rsProgram_name);
#if defined(VORKEL_APP_ID)
    // Ties the window to the installed menu entry and its icon (a portable copy has neither).
    QGuiApplication::setDesktopFileName(QStringLiteral(VORKEL_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(VORKEL_APP_ID)));
#endif
    QApplication::setFont(QFont(QStringLiteral("Arial"), QApplication::font().pointSize()));

#if defined(Q_OS_WIN)
    // The registry key itself: QSettings("Ketrafo") would use a subkey "OrganizationDefaults".
    QSettings settings(QStringLiteral("HKEY_CURRENT_USER\\Software\\") +
                           vorkel::settings_key::kOrganization,
                       QSettings::NativeFormat);
#else
    QSettings settings(vorkel::settings_key::kOrganization); // ~/.config/Ketrafo.conf
#endif
    vorkel::QtMessageBoxes boxes;
    vorkel::MainFormEnvironment environment;
    environment.settings = &settings;
    environment.boxes = &boxes;
    const vorkel::LogPlace logPlace =
        vorkel::prepareLogPlace(vorkel::pathFromText(QCoreApplication::applicationDirPath()));
    environment.logFile = logPlace.file;
    environment.announceLogFile = !logPlace.besideProgram;
    environment.translationTable = translationResource();
    environment.discoverPorts = [] { return vorkel::discoverPorts(); };
    environment.buildIdentifier = buildIdentifier();
    environment.tickCount = tickCount;

#if defined(VORKEL_COMMAND_CHANNEL)
    vorkel::CommandChannel channel; // the Windows end-to-end test's program only
    channel.prepare(environment);
#endif
    vorkel::TmainForm window(std::move(environment));
#if defined(VORKEL_COMMAND_CHANNEL)
    channel.attach(window);
#endif
    vorkel::closeOnTerminationSignals(window);
    window.show();
    return app.exec();
}
