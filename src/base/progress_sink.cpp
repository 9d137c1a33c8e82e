#include "base/progress_sink.h"

#include <cmath>

namespace lum2 {

int TrayFrame(int i, int n) {
    const float step = static_cast<float>(n) / 8.0f;
    // nearbyint follows the default rounding mode, round-half-to-even.
    const float quotient = static_cast<float>(i) / step;
    const long long rounded = static_cast<long long>(std::nearbyint(quotient));
    return static_cast<int>(rounded % 2) + 1;
}

}  // namespace lum2
