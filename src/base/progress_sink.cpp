#include "base/progress_sink.h"

#include <cmath>

namespace lum2 {

TrayPicture TrayFrame(int i, int n) {
    const float step = static_cast<float>(n) / 8.0f;
    // nearbyint follows the default rounding mode, round-half-to-even.
    const float quotient = static_cast<float>(i) / step;
    const long long rounded = static_cast<long long>(std::nearbyint(quotient));
    return rounded % 2 == 0 ? TrayPicture::kNormal : TrayPicture::kBusy;
}

}  // namespace lum2
