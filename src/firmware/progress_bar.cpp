#include "firmware/progress_bar.h"

#include "firmware/firmware_image.h"

namespace vorkel {
namespace {

constexpr int kBarInset = 2; // the bar sits inside the frame's outline and a one-pixel gap
constexpr int kShadowOffset = 1;

} // namespace

std::string flashProgressText(std::uint32_t progress) {
    return std::to_string(progress);
}

FlashProgressPaint flashProgressPaint(int width, int height, std::uint32_t progress, int textWidth,
                                      int textHeight) {
    // In 64 bits: the product of a wide box and a large value must not overflow. C++ division
    // truncates toward zero, as the bar's rule wants also for a box narrower than its insets.
    const std::int64_t barLength = std::int64_t{width - 2 * kBarInset} * progress /
                                   static_cast<std::int64_t>(kFirmwareImageSize);
    FlashProgressPaint paint;
    paint.frame = {0, 0, width, height};
    paint.bar = {kBarInset, kBarInset, static_cast<int>(barLength) + kBarInset, height - kBarInset};
    paint.textAt = {(width - textWidth) / 2, (height - textHeight) / 2};
    paint.shadowAt = {paint.textAt.x + kShadowOffset, paint.textAt.y + kShadowOffset};
    return paint;
}

} // namespace vorkel
