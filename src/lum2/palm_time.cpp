// The Palm clock: seconds since 1904-01-01 00:00:00 in local time, the way a
// handheld shows dates, kept in an unsigned 32-bit field.
#include "lum2.h"

#include <ctime>

extern "C" uint32_t CalcPalmTime(void) {
    const std::time_t now = std::time(nullptr);
    int64_t offset = 0;
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) offset = local.tm_gmtoff;
    // The field is 32 bits wide and wraps in 2040; truncating keeps the
    // low bits, which is what a handheld would hold.
    return static_cast<uint32_t>(static_cast<int64_t>(now) + offset + int64_t{LUM2_PALM_EPOCH_OFFSET});
}
