// The parameters of the level stability filter. They are kept in the settings; the program has
// no control to edit them.
#pragma once

namespace vorkel {

struct LevelFilterParameters {
    int outlierAllowance = 1;   // deviations ignored before the filter restarts
    int stabilityTolerance = 2; // a reading this close to the window average is stable
    int windowLength = 3;       // readings averaged after a restart; at least 1
    int jumpThreshold = 20;     // a deviation beyond this restarts the filter at once
};

} // namespace vorkel
