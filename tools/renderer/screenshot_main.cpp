// Renders every page of the main window, and the multiplier dialog, in each of the four
// languages into PNG files, for looking at the layout:
//   vorkel-screenshots <output folder>
// tools/screenshot runs it under Xvfb with the real fonts of the platform.
#include "app/form2.h"
#include "app/main_form.h"
#include "app/shape_dialog.h"
#include "app/settings_keys.h"
#include "ui_TmainForm.h"

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Nobody is there to answer: boxes are printed and dismissed.
class PrintedBoxes : public vorkel::MessageBoxes {
public:
    void stop(const QString& title, const QString& text) override {
        std::printf("box: %s: %s\n", qPrintable(title), qPrintable(text));
    }
    bool confirm(const QString& title, const QString& text) override {
        stop(title, text);
        return true;
    }
    void selfClosingInformation(const QString& title, const QString& text) override {
        stop(title, text);
    }
    void notice(const QString& title, const QString& text) override { stop(title, text); }
};

// The window as after a configuration read of a sensor at half level: versions, record
// (analog 0..20 V, address 1, multiplier -5, averaging 9 s) and four steady level replies.
void showConfigurationRead(vorkel::TmainForm& window) {
    const auto reply = [&](std::uint8_t code, vorkel::FrameData payload) {
        vorkel::Frame frame{vorkel::kReplyStart, code};
        std::copy(payload.begin(), payload.end(), frame.begin() + vorkel::frame_offset::kData);
        frame[vorkel::frame_offset::kChecksum] = vorkel::frameChecksum(frame);
        window.engine().ReceiveData(vorkel::ByteString(frame.begin(), frame.end()));
    };
    window.engine().forceRequestState(vorkel::request_state::kIdle);
    window.configuration().readconfButtonClick();
    reply(0x59, {21, 1, 3, 1, 167});
    reply(0x02, {0x02, 0xF0, 1, 0x85, 9});
    for (int i = 0; i < 4; ++i) {
        reply(0x05, {0x00, 0x08, 22, 0x12, 0x34});
    }
}

std::uint32_t clockMs = 0;
std::vector<vorkel::ChosenFile> answers; // the file dialogs' answers, in turn

// A level reply, then a second passes.
void levelReply(vorkel::TmainForm& window, unsigned raw) {
    const auto low = static_cast<std::uint8_t>(raw & 0xFF);
    const auto high = static_cast<std::uint8_t>(raw >> 8);
    vorkel::Frame frame{vorkel::kReplyStart, 0x05, low, high, 22, 0x12, 0x34};
    frame[vorkel::frame_offset::kChecksum] = vorkel::frameChecksum(frame);
    window.engine().forceRequestState(vorkel::request_state::kIdle);
    window.engine().ReceiveData(vorkel::ByteString(frame.begin(), frame.end()));
    clockMs += 1000;
}

// Four minutes of a tank being filled, a reply a second: a pour raises the level over some
// seconds, then it settles while the engineer reads it into the table; it ends at half level.
void showFill(vorkel::TmainForm& window) {
    const auto level = [&](unsigned raw) { levelReply(window, raw); };
    unsigned raw = 100;
    for (const unsigned target : {900u, 1700u, 2048u}) {
        for (int second = 0; second < 12; ++second) {
            level(raw + (target - raw) * static_cast<unsigned>(second) / 12 + (second % 3) * 4);
        }
        raw = target;
        for (int second = 0; second < 60; ++second) {
            level(raw + static_cast<unsigned>(second % 2));
        }
    }
}

// The calibration groups in use: the points read (empty 1000, full 40960), a table of five
// readings taken while filling a tank, one of them mistyped (3700 for 1700), with the empty row
// for the next volume on top, and the installation described.
void showCalibration(vorkel::TmainForm& window) {
    vorkel::Frame frame{vorkel::kReplyStart, 0x57, 0x00, 0x03, 0xE8, 0xA0, 0x00};
    frame[vorkel::frame_offset::kChecksum] = vorkel::frameChecksum(frame);
    window.engine().forceRequestState(vorkel::request_state::kIdle);
    window.ui().readtar2Button->click();
    window.engine().ReceiveData(vorkel::ByteString(frame.begin(), frame.end()));

    vorkel::TValueListEditor& grid = *window.ui().tarEditor;
    for (const auto& [liters, level] :
         {std::pair{"40", "3300"}, std::pair{"30", "2500"}, std::pair{"20", "3700"},
          std::pair{"10", "900"}, std::pair{"0", "100"}}) {
        grid.appendRow(QString::fromLatin1(liters), QString::fromLatin1(level));
    }
    grid.setCurrentCell(0, vorkel::TValueListEditor::kKeyColumn);
    grid.insertEmptyRowAtCurrent();
    window.ui().carnumberedit->setText(QStringLiteral("A123BC 77"));
    window.ui().companynameedit->setText(QStringLiteral("Vorkel"));
    window.ui().dutnumberedit->setText(QStringLiteral("7"));
    window.ui().dutlengthedit->setText(QStringLiteral("800"));
}

// A horizontal tank of 600 mm by 1000 mm (282.74 litres) with a 600 mm sensor from its bottom,
// filled by guided pouring in steps of 25 litres, the third step overfilled by 8 litres; the
// tank's computed curve stands beside the poured one as a reference, 2 % allowed.
const vorkel::ShapeAnswer kHorizontalTank{
    {vorkel::TankShape::HorizontalCylinder, 1000, 0, 0, 600}, {600, 0}, 21, false, 2.0};

void showGuidedFill(vorkel::TmainForm& window) {
    vorkel::TValueListEditor& grid = *window.ui().tarEditor;
    while (grid.rowCount() > 1) {
        grid.removeRowAt(0);
    }
    grid.removeRowAt(0);
    const auto level = [&](unsigned raw) {
        const auto low = static_cast<std::uint8_t>(raw & 0xFF);
        const auto high = static_cast<std::uint8_t>(raw >> 8);
        vorkel::Frame frame{vorkel::kReplyStart, 0x05, low, high, 22, 0x12, 0x34};
        frame[vorkel::frame_offset::kChecksum] = vorkel::frameChecksum(frame);
        window.engine().forceRequestState(vorkel::request_state::kIdle);
        window.engine().ReceiveData(vorkel::ByteString(frame.begin(), frame.end()));
        clockMs += 1000;
    };
    const auto rawFor = [](double liters) {
        double low = 0.0, high = 600.0;
        for (int i = 0; i < 60; ++i) {
            const double middle = (low + high) / 2;
            (vorkel::litersAt(kHorizontalTank.tank, middle) < liters ? low : high) = middle;
        }
        return static_cast<unsigned>(vorkel::rawLevelAt(low, kHorizontalTank.sensor, 4095));
    };
    unsigned raw = rawFor(0);
    for (int second = 0; second < 20; ++second) {
        level(raw);
    }
    window.ui().guidedStepEdit->setText(QStringLiteral("25"));
    window.ui().guidedCheckBox->click();
    for (int step = 1; step <= 6; ++step) {
        const unsigned target = rawFor(25.0 * step + (step == 3 ? 8.0 : 0.0));
        for (int second = 0; second < 10; ++second) {
            level(raw + (target - raw) * static_cast<unsigned>(second) / 10 +
                  static_cast<unsigned>(second % 3) * 6);
        }
        raw = target;
        for (int second = 0; second < 28; ++second) {
            level(raw + static_cast<unsigned>(second % 2));
        }
    }
    window.ui().shapeButton->click();
}

void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

// After the fill the adapter is pulled: the poll goes unanswered and the sensor is lost, which
// starts a new trend. Half a minute later the sensor answers again at a quarter level for a
// minute, and then stops for a few seconds (a command's box open): only the new line shows,
// ending where its replies stopped. Both states are rendered.
void showLossAndReturn(vorkel::TmainForm& window, const QString& output) {
    const auto grab = [&](const char* state) {
        window.ui().mainPageControl->setCurrentIndex(0);
        settle();
        const QString name = QStringLiteral("%1/en-0-sensorSheet-%2.png").arg(output, state);
        window.grab().save(name);
        std::printf("%s\n", qPrintable(name));
    };
    clockMs += vorkel::ExchangeEngine::kReplyTimeoutMs;
    window.engine().setAttached(false);
    clockMs += 30'000;
    grab("lost");
    for (unsigned second = 0; second < 60; ++second) {
        levelReply(window, 1024 + second % 2);
    }
    clockMs += 7000;
    grab("returned");
}

struct Language {
    const char* code;
    int id;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Arial"), QApplication::font().pointSize()));
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(output);

    QFile resource(QStringLiteral(":/TRANSLATION"));
    if (!resource.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no translation resource\n");
        return 1;
    }
    const QByteArray table = resource.readAll();
    const Language languages[] = {{"ru", 0x19}, {"en", 0x409}, {"pt", 0x416}, {"es", 0x40A}};
    PrintedBoxes boxes;
    QTemporaryDir folder;

    for (const Language& language : languages) {
        QSettings settings(folder.filePath(QString::fromLatin1(language.code) + ".ini"),
                           QSettings::IniFormat);
        settings.setValue(vorkel::settings_key::kLanguage, language.id);
        settings.setValue(vorkel::settings_key::kFlashFileName,
                          QStringLiteral("/home/engineer/Documents/Vorkel sensors/"
                                         "firmware releases/2026-11/vorkel-1.21.bin"));
        // A litres table, shown: level 2048 is 100.791 l.
        settings.setValue(vorkel::settings_key::kShowLiters, 1);
        settings.setValue(vorkel::settings_key::litersValue(1), QStringLiteral("1000"));
        settings.setValue(vorkel::settings_key::litersLiters(1), QStringLiteral("50"));
        settings.setValue(vorkel::settings_key::litersValue(2), QStringLiteral("4095"));
        settings.setValue(vorkel::settings_key::litersLiters(2), QStringLiteral("200"));

        vorkel::MainFormEnvironment environment;
        environment.settings = &settings;
        environment.boxes = &boxes;
        environment.logFile = (folder.filePath(QStringLiteral("log.txt"))).toStdString();
        environment.announceLogFile = true; // as installed: the log tells where its file is
        environment.translationTable = table;
        environment.discoverPorts = [] {
            return std::vector<vorkel::PortEntry>{
                {"ttyUSB0", "/nonexistent/ttyUSB0", "FT232R USB UART (FTDI)"},
                {"VSENSOR1", "/nonexistent/VSENSOR1"}};
        };
        environment.buildIdentifier = "3FA9";
        environment.chooseSaveFile = [](const vorkel::SaveFileDialog&) {
            std::optional<vorkel::ChosenFile> answer;
            if (!answers.empty()) {
                answer = answers.front();
                answers.erase(answers.begin());
            }
            return answer;
        };
        environment.tickCount = [] { return clockMs; };
        environment.chooseShape = [] { return std::optional(kHorizontalTank); };

        vorkel::TmainForm window(std::move(environment));
        window.show();
        window.ui().comportComboBox->setCurrentIndex(0); // shown, not opened
        window.FormKeyDown(Qt::Key_F12);                 // the service page too
        showConfigurationRead(window);
        showFill(window);
        showCalibration(window);
        window.firmwarePanel().showProgressBar(); // as a third of the way into an update
        window.firmwarePanel().setProgress(2048);
        settle();
        QTabWidget* pages = window.ui().mainPageControl;
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            settle();
            const QString name = QStringLiteral("%1/%2-%3-%4.png")
                                     .arg(output, QString::fromLatin1(language.code))
                                     .arg(page)
                                     .arg(pages->widget(page)->objectName());
            window.grab().save(name);
            std::printf("%s (%dx%d)\n", qPrintable(name), window.width(), window.height());
        }

        // The report of the table shown, turned into images by pdftoppm to be looked at.
        const QString report =
            QStringLiteral("%1/%2-report.pdf").arg(output, QString::fromLatin1(language.code));
        window.ui().mainPageControl->setCurrentIndex(0);
        answers.push_back(vorkel::ChosenFile{report.toStdString(), 1});
        window.ui().reportButton->click();
        std::printf("%s\n", qPrintable(report));
        if (language.id == 0x409) { // and one of a long table, for its further pages
            for (int row = 6; row <= 50; ++row) {
                window.ui().tarEditor->appendRow(QString::number(row * 10),
                                                 QString::number(row * 80 + 100));
            }
            const QString longReport = QStringLiteral("%1/en-report-long.pdf").arg(output);
            answers.push_back(vorkel::ChosenFile{longReport.toStdString(), 1});
            window.ui().reportButton->click();
            std::printf("%s\n", qPrintable(longReport));
        }

        if (language.id == 0x409) {
            showLossAndReturn(window, output);
        }
        if (language.id == 0x409 || language.id == 0x19) {
            showGuidedFill(window);
            pages->setCurrentIndex(0);
            settle();
            const QString guided = QStringLiteral("%1/%2-guided-shape.png")
                                       .arg(output, QString::fromLatin1(language.code));
            window.grab().save(guided);
            std::printf("%s\n", qPrintable(guided));
            vorkel::ShapeDialog shape(window.localization(), &window);
            shape.setAnswer(kHorizontalTank);
            shape.show();
            settle();
            const QString shapeName = QStringLiteral("%1/%2-shape-dialog.png")
                                          .arg(output, QString::fromLatin1(language.code));
            shape.grab().save(shapeName);
            std::printf("%s\n", qPrintable(shapeName));
        }

        vorkel::TForm2 dialog(window.localization(), &window);
        dialog.show();
        settle();
        const QString dialogName =
            QStringLiteral("%1/%2-TForm2.png").arg(output, QString::fromLatin1(language.code));
        dialog.grab().save(dialogName);
        std::printf("%s\n", qPrintable(dialogName));
    }
    return 0;
}
