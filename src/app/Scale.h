// Drawing the character at a whole multiple of its own pixel size on monitors of high pixel
// density. The frame is always drawn at the character's own size; the window, its shape, the
// height above the target and the drag's arithmetic are multiplied by the scale, and the frame
// is copied to the window with every pixel repeated (nearest neighbour), so pixel art stays crisp.
#pragma once

#include "platform/Region.h"

namespace kp {

// The setting in the program's own section: 0 automatic (from the monitor's DPI), 1..4 fixed.
constexpr const char* kScale = "Scale";
constexpr int kAutoScale = 0;
constexpr int kMaxScale = 4;
// The pixel density at which the character is drawn at its own size.
constexpr int kBaseDpi = 96;

// The "Scale" setting as it takes effect: a negative value counts as automatic, a value above
// the largest scale as the largest.
int LimitScaleSetting(int setting);

// The automatic scale for a monitor of `dpi` dots per inch: dpi / 96 rounded, where a fraction of
// three quarters or more rounds up (1x below 168, 2x from 168, 3x from 264, 4x from 360 and
// above). 150 % stays 1x: a scale too large for the screen is worse than one a little small.
// An unknown density (0 or less) gives 1x.
int ScaleForDpi(int dpi);

// The scale in force: a fixed setting (1..4) whatever the monitor, otherwise the automatic one.
// `setting` is limited first, so any stored number gives a scale of 1..4.
int ChooseScale(int setting, int dpi);

// Every pixel of the region becomes a scale x scale block.
RectRegion ScaleRegion(const RectRegion& region, int scale);

// A window coordinate as a coordinate of the character's own pixels (rounded down, so the pixels
// left of or above the window stay negative).
int UnscaleCoordinate(int v, int scale);

} // namespace kp
