// Renders every page of the main window, and the multiplier dialog, in each of the four
// languages into PNG files, for looking at the layout:
//   vorkel-screenshots <output folder>
// tools/screenshot runs it under Xvfb with the real fonts of the platform.
#include "app/form2.h"
#include "app/main_form.h"
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
};

struct Language {
    const char* code;
    int id;
};

void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

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
                          QStringLiteral("/home/engineer/firmware/vorkel-1.21.bin"));

        vorkel::MainFormEnvironment environment;
        environment.settings = &settings;
        environment.boxes = &boxes;
        environment.logFile = (folder.filePath(QStringLiteral("log.txt"))).toStdString();
        environment.translationTable = table;
        environment.discoverPorts = [] {
            return std::vector<vorkel::PortEntry>{{"ttyUSB0", "/nonexistent/ttyUSB0"},
                                                  {"VSENSOR1", "/nonexistent/VSENSOR1"}};
        };
        environment.buildIdentifier = "3FA9";
        environment.tickCount = [] { return 0u; };

        vorkel::TmainForm window(std::move(environment));
        window.show();
        window.FormKeyDown(Qt::Key_F12); // the service page too
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
