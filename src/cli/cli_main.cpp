// vorkel-cli: every sensor job of the window from a command line, on one port or on several at
// once (each with its own line and engine, all in this one process).
#include "app/translation.h"
#include "calibration/backup_file.h"
#include "calibration/calibration_record.h"
#include "calibration/table_export.h"
#include "calibration/table_import.h"
#include "cli/cli_job.h"
#include "cli/port_session.h"
#include "firmware/firmware_image.h"
#include "transport/port_discovery.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <variant>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>

#if defined(_WIN32)
#include <windows.h>
#else
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vorkel::cli {
namespace {

constexpr char kHelp[] = R"(Usage: vorkel-cli [options] COMMAND [ARGUMENTS]

Every job of the Vorkel configurator, from a script, on one sensor or on several at once.
With several ports (-p A,B,C) the job runs on all of them at the same time, each port's result
is reported on its own, and one port's failure does not stop the others.

Commands:
  ports                    the serial ports, with what each adapter is
  info                     versions, configuration, calibration points and one level reading
  watch [--count N]        the live readings once a second (until interrupted without --count)
  config                   read the configuration
  config set KEY=VALUE...  change only the named fields, write, read back after the restart
  points                   read the two calibration points
  points set EMPTY FULL    write the calibration points (--yes when EMPTY is not below FULL)
  calibrate empty|full     take the current measurement as the empty or full point
  backup save FILE         save the calibration points into a 5-byte backup file
  backup load FILE         write the calibration points of a 5-byte backup file
  flash FILE               update the firmware with a 6144-byte *.bin image
  In FILE, {port} stands for the port's name (backup save on several ports needs it).
  table convert IN OUT --format vorkel|fort|wialon-txt|wialon-csv|omnicomm-xml
                           a litres table in any of the five formats, written in another
                           (no port, no sensor)

Options:
  -p, --port NAME[,NAME...]  ports, as `vorkel-cli ports` lists them, or device paths
  --baud 19200|9600|auto     the sensor's bit rate; auto (default) searches both
  --json                     one JSON object per port (per reading for watch) on standard
                             output; progress and log lines always go to standard error
  --language ru|en|pt|es     language of the messages (default: the system's)
  --count N                  watch: stop after N readings
  --yes                      points set: write even when empty is not below full
  --format NAME              table convert: the format OUT is written in
  -h, --help                 this text (config --help: the configuration fields)
  -v, --version              the program's version

Exit status: 0 every port succeeded; 1 a sensor did not answer or refused; 2 usage error
(unknown command or key, value out of range, missing or unsuitable file); 3 a port could not be
opened (missing, busy, no permission). With several ports, the worst of them.
)";

std::string configurationHelp() {
    std::string help = "Configuration fields (config set KEY=VALUE...):\n";
    for (const ConfigurationField& field : configurationFields()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-16s %-18s %s\n", std::string(field.name).c_str(),
                      std::string(field.values).c_str(), std::string(field.meaning).c_str());
        help += line;
    }
    return help;
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

// One line: a system's text may hold line breaks.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', '\n');
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() != ' ') {
                line += ' ';
            }
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

void printError(const std::string& line) {
    std::fprintf(stderr, "%s\n", oneLine(line).c_str());
    std::fflush(stderr);
}

void printOut(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

std::uint32_t systemLanguage() {
    switch (QLocale::system().language()) {
    case QLocale::Russian:
        return kLanguageRussian;
    case QLocale::Portuguese:
        return kLanguagePortuguese;
    case QLocale::Spanish:
        return kLanguageSpanish;
    default:
        return kLanguageEnglish;
    }
}

TranslationList loadTexts(std::uint32_t language) {
    TranslationList texts;
    QFile resource(QStringLiteral(":/TRANSLATION"));
    if (resource.open(QIODevice::ReadOnly)) {
        const QByteArray table = resource.readAll();
        texts.load({reinterpret_cast<const std::uint8_t*>(table.constData()),
                    static_cast<std::size_t>(table.size())},
                   language);
    }
    return texts;
}

// "name: value" lines, nested objects as "outer.inner".
void printHuman(const std::string& prefix, const QJsonObject& object) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = prefix + utf8(it.key());
        if (it.value().isObject()) {
            printHuman(key + ".", it.value().toObject());
            continue;
        }
        QString value = it.value().toVariant().toString();
        if (it.value().isNull()) {
            value = QStringLiteral("-");
        } else if (it.value().isBool()) {
            value = it.value().toBool() ? QStringLiteral("yes") : QStringLiteral("no");
        }
        printOut(key + " = " + utf8(value));
    }
}

struct Usage {
    std::string message;
};

// The job, or what is wrong with the command line.
std::variant<CliJob, Usage, int> parseJob(const QStringList& arguments, const TranslationList& texts,
                                          std::uint32_t& language) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption port({"p", "port"}, "ports", "NAME");
    const QCommandLineOption baud("baud", "bit rate", "RATE", "auto");
    const QCommandLineOption json("json", "JSON output");
    const QCommandLineOption languageOption("language", "language", "LANG");
    const QCommandLineOption count("count", "readings", "N");
    const QCommandLineOption yes("yes", "write anyway");
    const QCommandLineOption help({"h", "help"}, "help");
    const QCommandLineOption version({"v", "version"}, "version");
    const QCommandLineOption format("format", "table format", "NAME");
    parser.addOptions({port, baud, json, languageOption, count, yes, help, version, format});
    if (!parser.parse(arguments)) {
        return Usage{utf8(parser.errorText())};
    }
    const QStringList words = parser.positionalArguments();
    if (parser.isSet(help)) {
        std::fputs(words.value(0) == "config" ? configurationHelp().c_str() : kHelp, stdout);
        return kSucceeded;
    }
    if (parser.isSet(version)) {
        printOut("vorkel-cli " + utf8(QCoreApplication::applicationVersion()));
        return kSucceeded;
    }
    if (parser.isSet(languageOption)) {
        static const std::pair<const char*, std::uint32_t> kLanguages[] = {
            {"ru", kLanguageRussian}, {"en", kLanguageEnglish},
            {"pt", kLanguagePortuguese}, {"es", kLanguageSpanish}};
        const auto found = std::find_if(std::begin(kLanguages), std::end(kLanguages), [&](auto& l) {
            return parser.value(languageOption) == QLatin1String(l.first);
        });
        if (found == std::end(kLanguages)) {
            return Usage{"--language: ru, en, pt or es"};
        }
        language = found->second;
    }

    CliJob job;
    job.json = parser.isSet(json);
    job.yes = parser.isSet(yes);
    const QString rate = parser.value(baud);
    if (rate == "19200") {
        job.baud = BaudChoice::Fast;
    } else if (rate == "9600") {
        job.baud = BaudChoice::Slow;
    } else if (rate != "auto") {
        return Usage{"--baud: 19200, 9600 or auto"};
    }
    if (parser.isSet(count)) {
        const auto n = parseWhole(utf8(parser.value(count)), 1, 1000000000);
        if (!n) {
            return Usage{"--count: a whole number from 1"};
        }
        job.count = static_cast<unsigned>(*n);
    }
    for (const QString& names : parser.values(port)) {
        for (const QString& name : names.split(',', Qt::SkipEmptyParts)) {
            job.ports.push_back(utf8(name.trimmed()));
        }
    }

    const QString command = words.value(0);
    const QString sub = words.value(1);
    const auto arguments_are = [&](qsizetype n) { return words.size() == n; };
    if (command == "ports" && arguments_are(1)) {
        job.command = Command::Ports;
    } else if (command == "info" && arguments_are(1)) {
        job.command = Command::Info;
    } else if (command == "watch" && arguments_are(1)) {
        job.command = Command::Watch;
    } else if (command == "config" && arguments_are(1)) {
        job.command = Command::Config;
    } else if (command == "config" && sub == "set" && words.size() > 2) {
        job.command = Command::ConfigSet;
    } else if (command == "points" && arguments_are(1)) {
        job.command = Command::Points;
    } else if (command == "points" && sub == "set" && arguments_are(4)) {
        job.command = Command::PointsSet;
    } else if (command == "calibrate" && sub == "empty" && arguments_are(2)) {
        job.command = Command::CalibrateEmpty;
    } else if (command == "calibrate" && sub == "full" && arguments_are(2)) {
        job.command = Command::CalibrateFull;
    } else if (command == "backup" && sub == "save" && arguments_are(3)) {
        job.command = Command::BackupSave;
    } else if (command == "backup" && sub == "load" && arguments_are(3)) {
        job.command = Command::BackupLoad;
    } else if (command == "flash" && arguments_are(2)) {
        job.command = Command::Flash;
    } else if (command == "table" && sub == "convert" && arguments_are(4)) {
        job.command = Command::TableConvert;
        job.file = std::filesystem::path(words[2].toStdU16String());
        job.target = std::filesystem::path(words[3].toStdU16String());
        job.format = utf8(parser.value(format));
        if (!exportFormatNamed(job.format)) {
            return Usage{"--format: vorkel, fort, wialon-txt, wialon-csv or omnicomm-xml"};
        }
        return job;
    } else {
        return Usage{words.isEmpty() ? "no command (vorkel-cli --help lists them)"
                                     : "unknown command or arguments: " + utf8(words.join(' '))};
    }
    if (job.command != Command::Ports && job.ports.empty()) {
        return Usage{"-p, --port: which port (vorkel-cli ports lists them)"};
    }

    if (job.command == Command::ConfigSet) {
        for (const QString& word : words.mid(2)) {
            const std::string change = utf8(word);
            const std::size_t equals = change.find('=');
            const std::string key = change.substr(0, equals);
            const auto& fields = configurationFields();
            const auto field = std::find_if(fields.begin(), fields.end(),
                                            [&](const auto& f) { return f.name == key; });
            if (equals == std::string::npos || field == fields.end()) {
                return Usage{texts.get("rsCliUnknownKey") + " " + change};
            }
            const std::string value = change.substr(equals + 1);
            ConfigurationRecord probe;
            const bool known = field->apply(value, probe);
            if (key == "address" && !known) {
                return Usage{addressRefusalText(value, texts.get("rsValidNumberFrom"),
                                                texts.get("rsValidNumberTo"))};
            }
            if (!known || (key == "averaging" &&
                           !averagingItemIndex(averagingItems(texts), probe.averagingSeconds))) {
                return Usage{texts.get("rsCliBadValue") + " " + change + " (" +
                             std::string(field->values) + ")"};
            }
            job.changes.push_back({&*field, value});
        }
    }
    if (job.command == Command::PointsSet) {
        const auto empty = parseCalibrationPoint(utf8(words[2]));
        const auto full = parseCalibrationPoint(utf8(words[3]));
        if (!empty || !full) {
            return Usage{texts.get("rsCliBadValue") + " " + utf8(words.mid(2).join(' '))};
        }
        job.emptyPoint = *empty;
        job.fullPoint = *full;
    }
    if (job.command == Command::BackupSave || job.command == Command::BackupLoad ||
        job.command == Command::Flash) {
        job.file = std::filesystem::path(words.last().toStdU16String());
    }
    return job;
}

// Where a port's file is: {port} in the name stands for the port's name.
std::filesystem::path portFile(const std::filesystem::path& file, const std::string& port) {
    std::u16string name = file.u16string();
    const std::u16string mark = u"{port}";
    const std::u16string portName = QString::fromStdString(port).toStdU16String();
    for (std::size_t at = name.find(mark); at != std::u16string::npos; at = name.find(mark)) {
        name.replace(at, mark.size(), portName);
    }
    return std::filesystem::path(name);
}

// UTF-8 on every system (path::string() would use Windows' ANSI code page).
std::string pathText(const std::filesystem::path& path) {
    return utf8(QString::fromStdU16String(path.u16string()));
}

// The file checks of the window, made before any port is opened.
std::optional<std::string> fileRefusal(const CliJob& job, const TranslationList& texts) {
    const bool shared = job.file.u16string().find(u"{port}") == std::u16string::npos;
    for (const std::string& port : job.ports) {
        const std::filesystem::path file = portFile(job.file, port);
        if (job.command == Command::BackupLoad && !readBackupFile(file)) {
            return texts.get("rsCalibrationFileUnreadable") + " " + pathText(file);
        }
        if (job.command == Command::Flash && !isFirmwareImageFile(file)) {
            return texts.get("rsCannotOpenfirmware") + " " + pathText(file);
        }
    }
    if (job.command == Command::BackupSave && job.ports.size() > 1 && shared) {
        return "backup save FILE: with several ports, put {port} into FILE";
    }
    return std::nullopt;
}

PortEntry portEntry(const std::string& name, const std::vector<PortEntry>& known) {
    const auto found = std::find_if(known.begin(), known.end(),
                                    [&](const PortEntry& entry) { return entry.name == name; });
    if (found != known.end()) {
        return *found;
    }
#if defined(_WIN32)
    return PortEntry{name, comPortPath(name)};
#else
    return PortEntry{name, name}; // a device path, or a name the port opens under /dev
#endif
}

int listPorts(const CliJob& job) {
    for (const PortEntry& entry : discoverPorts()) {
        if (job.json) {
            const QJsonObject object{{"port", QString::fromStdString(entry.name)},
                                     {"path", QString::fromStdString(entry.path)},
                                     {"adapter", QString::fromStdString(entry.description)},
                                     {"identity", QString::fromStdString(entry.identity)}};
            printOut(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
        } else {
            printOut(portDisplayText(entry));
        }
    }
    return kSucceeded;
}

// `table convert`: the window's "Load table..." and "Download table" without the window; a file
// that cannot be read is refused with its line and reason, as the window's message says it.
int convertTable(const CliJob& job, const TranslationList& texts) {
    const auto translate = [&](std::string_view key) { return texts.get(std::string(key)); };
    const QDate today = QDate::currentDate();
    // Only for a source without the XML document's details: the date the export would write.
    const VehicleDetails fallback{
        {}, {}, formatDate(texts.get("rsDateFormat"), "/",
                           CalendarDate{today.year(), static_cast<unsigned>(today.month()),
                                        static_cast<unsigned>(today.day())}), 0};
    std::optional<TableReadError> error;
    if (!QFile::exists(QString::fromStdU16String(job.file.u16string()))) {
        error = TableReadError{0, "rsCliMissingFile"};
    } else {
        error = convertTableFile(job.file, job.target, *exportFormatNamed(job.format), fallback);
    }
    const int status = !error                                       ? kSucceeded
                       : error->reasonKey == "rsCalibrationNotSaved" ? kSensorFailed
                                                                     : kUsageError;
    std::string message;
    if (error) {
        message = tableReadMessage(*error, translate);
        std::replace(message.begin(), message.end(), '\n', ' ');
        message = pathText(job.file) + ": " + message;
    }
    if (job.json) {
        QJsonObject object{{"file", QString::fromStdString(pathText(job.target))},
                           {"format", QString::fromStdString(job.format)},
                           {"ok", !error}, {"status", status}};
        if (error) {
            object.insert("error", QString::fromStdString(message));
        }
        printOut(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
    }
    if (error) {
        printError("vorkel-cli: " + message);
    }
    return status;
}

#if !defined(_WIN32)
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Ctrl-C, SIGTERM and SIGHUP reach `stop` from the event loop, not from the signal handler.
void stopOnTerminationSignals(const std::function<void()>& stop) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read,
                                         QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [stop] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        stop();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(number, &action, nullptr);
    }
}
#endif

int run(QCoreApplication& app) {
    std::uint32_t language = systemLanguage();
    // The language option is read first: usage messages are in it too.
    {
        const TranslationList probeTexts;
        const auto parsed = parseJob(app.arguments(), probeTexts, language);
        if (const int* status = std::get_if<int>(&parsed)) {
            return *status;
        }
    }
    const TranslationList texts = loadTexts(language);
    auto parsed = parseJob(app.arguments(), texts, language);
    if (const Usage* usage = std::get_if<Usage>(&parsed)) {
        printError("vorkel-cli: " + usage->message);
        return kUsageError;
    }
    CliJob job = std::get<CliJob>(std::move(parsed));
    if (job.command == Command::Ports) {
        return listPorts(job);
    }
    if (job.command == Command::TableConvert) {
        return convertTable(job, texts);
    }
    if (const auto refusal = fileRefusal(job, texts)) {
        printError("vorkel-cli: " + *refusal);
        return kUsageError;
    }

    const std::vector<PortEntry> known = discoverPorts();
    std::vector<CliJob> jobs;  // one per port: its own file name
    jobs.reserve(job.ports.size());
    for (const std::string& port : job.ports) {
        CliJob own = job;
        own.file = portFile(job.file, port);
        jobs.push_back(std::move(own));
    }
    int worst = kSucceeded;
    std::size_t running = jobs.size();
    SessionOutput output{
        [](const std::string& line) { printError(line); },
        [&](const PortResult& result) {
            worst = std::max(worst, result.status);
            if (result.status != kSucceeded) {
                printError(result.port + ": " + result.error);
            }
            if (job.json) {
                QJsonObject object{{"port", QString::fromStdString(result.port)},
                                   {"ok", result.status == kSucceeded},
                                   {"status", result.status}};
                if (result.status != kSucceeded) {
                    object.insert("error", QString::fromStdString(oneLine(result.error)));
                }
                for (auto it = result.data.begin(); it != result.data.end(); ++it) {
                    object.insert(it.key(), it.value());
                }
                printOut(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
            } else if (result.status == kSucceeded) {
                printOut(result.port + ": ok");
                printHuman(result.port + ": ", result.data);
            }
            if (--running == 0) {
                QCoreApplication::exit(worst);
            }
        },
        [&](const std::string& port, const QJsonObject& reading) {
            if (job.json) {
                printOut(QJsonDocument(reading).toJson(QJsonDocument::Compact).toStdString());
            } else {
                QJsonObject shown = reading;
                shown.remove("port");
                std::string line = port + ":";
                for (auto it = shown.begin(); it != shown.end(); ++it) {
                    const QJsonValue value = it.value();
                    line += " " + utf8(it.key()) + "=" +
                            (value.isNull() ? std::string("-")
                             : value.isBool() ? std::string(value.toBool() ? "yes" : "no")
                                              : utf8(value.toVariant().toString()));
                }
                printOut(line);
            }
        }};
    std::vector<std::unique_ptr<PortSession>> sessions;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        sessions.push_back(std::make_unique<PortSession>(portEntry(jobs[i].ports[i], known),
                                                         jobs[i], texts, output));
    }
    for (auto& session : sessions) {
        session->start();
    }
#if !defined(_WIN32)
    stopOnTerminationSignals([&sessions] {
        for (auto& session : sessions) {
            session->interrupt();
        }
    });
#endif
    return app.exec();
}

} // namespace
} // namespace vorkel::cli

int main(int argc, char* argv[]) {
#if defined(_WIN32)
    // The texts are UTF-8; the console shows them as such (Cyrillic, accents).
    SetConsoleOutputCP(CP_UTF8);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorkel-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORKEL_PROGRAM_VERSION));
    return vorkel::cli::run(app);
}
