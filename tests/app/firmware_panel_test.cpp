// The firmware group of the real window, shown headless: the path label and the painted bar.
#include "app/main_form.h"
#include "app/settings_keys.h"
#include "support/qt_fakes.h"
#include "support/temp_dir.h"
#include "ui_TmainForm.h"

#include <fstream>
#include <gtest/gtest.h>

#include <QTest>
#include <QTextDocument>

namespace vorkel {
namespace {

class FirmwarePanelTest : public ::testing::Test {
protected:
    test::TempDir dir;
    QString settingsFile = QString::fromStdString((dir / "Ketrafo.conf").string());
    std::unique_ptr<QSettings> settings =
        std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
    test::RecordingBoxes boxes;
    std::optional<std::filesystem::path> chosen;
    std::unique_ptr<TmainForm> window;

    void SetUp() override {
        MainFormEnvironment environment;
        environment.settings = settings.get();
        environment.boxes = &boxes;
        environment.logFile = dir / "log.txt";
        environment.translationTable = test::shippedTranslation();
        environment.discoverPorts = [] { return std::vector<PortEntry>{}; };
        environment.tickCount = [] { return 0u; };
        environment.processEventsFor = [](std::uint32_t) {};
        environment.chooseFirmwareFile = [this] { return chosen; };
        window = std::make_unique<TmainForm>(std::move(environment));
        window->show();
        QCoreApplication::processEvents();
    }

    Ui::TmainForm& ui() { return window->ui(); }
};

TEST_F(FirmwarePanelTest, aLongPathIsShortenedInTheMiddleSoThatTheFileNameStaysVisible) {
    const std::filesystem::path folder =
        dir / std::string(150, 'f') / "Прошивки датчиков" / std::string(100, 'g');
    std::filesystem::create_directories(folder);
    chosen = folder / "vorkel-1.21.bin";
    std::ofstream(*chosen, std::ios::binary) << std::string(kFirmwareImageSize, '\0');
    const QString full = QString::fromStdU16String(chosen->u16string());

    ui().getflashfileButton->click();
    const QString shown = ui().flashfileedit->text();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("vorkel-1.21.bin")) << shown.toStdString();
    EXPECT_TRUE(full.startsWith(shown.left(shown.indexOf(QChar(0x2026)))));
    EXPECT_LE(ui().flashfileedit->fontMetrics().horizontalAdvance(shown) +
                  ui().flashfileedit->fontMetrics().horizontalAdvance(u'x') / 2,
              ui().flashfileedit->contentsRect().width()); // clear of the frame
    EXPECT_EQ(ui().flashfileedit->toolTip(), Qt::convertFromPlainText(full));
    EXPECT_EQ(window->firmware().firmwarePath(), *chosen);

    ui().flashfileedit->resize(20000, ui().flashfileedit->height()); // room for all of it
    EXPECT_EQ(ui().flashfileedit->text(), full);

    window.reset(); // the full path is what is stored, not what was shown
    EXPECT_EQ(QSettings(settingsFile, QSettings::IniFormat)
                  .value(settings_key::kFlashFileName)
                  .toString(),
              full);
}

TEST_F(FirmwarePanelTest, theBarFillsTheShareOfTheImageAcknowledged) {
    TPaintBox& box = *ui().flashprogresspanel;
    window->firmwarePanel().showProgressBar();
    box.setFixedSize(504, 40);
    QCoreApplication::processEvents();
    window->firmwarePanel().setProgress(3072);
    const QImage image = box.grab().toImage();
    const QPalette& palette = box.palette();
    const auto at = [&](int x, int y) { return image.pixelColor(x, y); };

    EXPECT_EQ(at(0, 0), palette.color(QPalette::WindowText)); // the frame's outline
    EXPECT_EQ(at(503, 39), palette.color(QPalette::WindowText));
    EXPECT_EQ(at(1, 1), palette.color(QPalette::Button));
    EXPECT_EQ(at(2, 2), palette.color(QPalette::WindowText)); // the bar's outline
    EXPECT_EQ(at(100, 4), palette.color(QPalette::Highlight));
    EXPECT_EQ(at(250, 4), palette.color(QPalette::Highlight));
    EXPECT_EQ(at(251, 4), palette.color(QPalette::WindowText)); // (504 - 4) * 3072 / 6144 + 2
    EXPECT_EQ(at(252, 4), palette.color(QPalette::Button));
    EXPECT_EQ(at(400, 4), palette.color(QPalette::Button));
    // The number is drawn over the middle, its shadow in the window colour.
    bool text = false;
    bool shadow = false;
    for (int x = 200; x < 300; ++x) {
        for (int y = 8; y < 32; ++y) {
            text = text || (at(x, y) == palette.color(QPalette::WindowText) && x != 251);
            shadow = shadow || at(x, y) == palette.color(QPalette::Base);
        }
    }
    EXPECT_TRUE(text);
    EXPECT_TRUE(shadow);

    window->engine().view().enableCommandControls(true); // the end of a transfer hides it
    EXPECT_TRUE(box.isHidden());
}

} // namespace
} // namespace vorkel
