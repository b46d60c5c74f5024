#include "app/Scale.h"

#include <algorithm>
#include <vector>

namespace kp {

int LimitScaleSetting(int setting) {
    return std::clamp(setting, kAutoScale, kMaxScale);
}

int ScaleForDpi(int dpi) {
    if (dpi <= 0)
        return 1;
    // dpi / 96 + 1/4, rounded down: the step to the next scale comes at three quarters.
    const long long scale = (static_cast<long long>(dpi) + kBaseDpi / 4) / kBaseDpi;
    return static_cast<int>(std::clamp<long long>(scale, 1, kMaxScale));
}

int ChooseScale(int setting, int dpi) {
    const int limited = LimitScaleSetting(setting);
    return limited != kAutoScale ? limited : ScaleForDpi(dpi);
}

RectRegion ScaleRegion(const RectRegion& region, int scale) {
    if (scale <= 1)
        return region;
    // The rectangles come band by band, left to right; each band is rebuilt with its spans
    // multiplied, which keeps the canonical form.
    RectRegion scaled;
    std::vector<Span> spans;
    int top = 0;
    int bottom = 0;
    const auto flush = [&] {
        if (!spans.empty())
            scaled.AppendBand(top * scale, bottom * scale, spans);
        spans.clear();
    };
    for (const Rect& r : region.Rects()) {
        if (spans.empty() || r.top != top) {
            flush();
            top = r.top;
            bottom = r.bottom;
        }
        spans.push_back(Span{r.left * scale, r.right * scale});
    }
    flush();
    return scaled;
}

int UnscaleCoordinate(int v, int scale) {
    if (scale <= 1)
        return v;
    // In wide arithmetic, so that the most negative int cannot overflow.
    const long long w = v;
    return static_cast<int>(w >= 0 ? w / scale : -((-w + scale - 1) / scale));
}

} // namespace kp
