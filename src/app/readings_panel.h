// Binder of the live readings: the level displays, bar, counter, temperature, litres, the
// stability mark, the two levels of the service page and the version labels; clicks on a
// reading select it, the version button reads the versions.
#pragma once

#include "app/trend_plot.h"
#include "sensor/readings.h"

#include <optional>

class QWidget;
namespace Ui {
class TmainForm;
}

namespace vorkel {

class ReadingsPanel : public ReadingsView {
public:
    explicit ReadingsPanel(Ui::TmainForm& ui)
        : ui_(ui) {}
    void connectTo(LiveReadings& readings);

    void showVersion(const VersionDisplay& version) override;
    void showMeasuringModule(const std::string& text) override;
    void showReading(ReadingControl control, const std::string& text) override;
    void showBar(int position) override;
    void showCurrentLevel(const std::string& text) override;
    void showAveragedLevel(const std::string& text) override;
    void showStability(bool stable) override;
    void showLiters(const std::string& text) override;
    void showCounter(const std::string& text) override;
    void showTemperature(const std::string& text) override;
    void clearVersions() override;
    void highlightReading(ReadingControl control, bool selected) override;
    std::string readingText(ReadingControl control) const override;
    void showTrend() override;
    void setTrendMinutesCaption(const QString& caption);

    // The level trend's plot (guided pouring marks its rows on it); none before connectTo.
    TrendPlot* trendPlot() { return trendPlot_ ? &*trendPlot_ : nullptr; }

private:
    QWidget* display(ReadingControl control) const;

    Ui::TmainForm& ui_;
    std::optional<TrendPlot> trendPlot_; // levelTrendBox exists once the window is set up
};

} // namespace vorkel
