// The firmware progress bar (flashprogresspanel), computed here and painted by the window: a
// framed box, a filled bar as long as the share of the image acknowledged so far, and the number
// of bytes acknowledged (not a percentage) centred on it, drawn twice for a one-pixel shadow.
#pragma once

#include <cstdint>
#include <string>

namespace vorkel {

struct PaintRect {
    int left = 0;
    int top = 0;
    int right = 0; // exclusive, as a fill from (left, top) to (right, bottom)
    int bottom = 0;

    friend bool operator==(const PaintRect&, const PaintRect&) = default;
};

struct PaintPoint {
    int x = 0;
    int y = 0;

    friend bool operator==(const PaintPoint&, const PaintPoint&) = default;
};

struct FlashProgressPaint {
    PaintRect frame;     // button-face fill, 1-pixel window-text outline
    PaintRect bar;       // active-caption fill, the same outline
    PaintPoint shadowAt; // the text in the window colour, one pixel down and right
    PaintPoint textAt;   // the text in the window-text colour, on top
    friend bool operator==(const FlashProgressPaint&, const FlashProgressPaint&) = default;
};

// The text on the bar: the progress value in decimal.
std::string flashProgressText(std::uint32_t progress);

// Where everything goes on a paint box of width x height for a progress value of 0..6144, given
// the extent of flashProgressText(progress) in the bar's font. Divisions round toward zero.
FlashProgressPaint flashProgressPaint(int width, int height, std::uint32_t progress, int textWidth,
                                      int textHeight);

} // namespace vorkel
