#include "base/file_times.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <cmath>
#include <cstdint>
#include <ctime>

namespace lum2 {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Days from 1899-12-30 to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;

int64_t LocalOffset(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}

}  // namespace

double DateFromUnixSeconds(int64_t seconds) {
    return static_cast<double>(seconds + LocalOffset(seconds)) / kSecondsPerDay + kUnixEpochDays;
}

bool ModificationDate(const std::string& path, double& date) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    date = DateFromUnixSeconds(info.st_mtim.tv_sec);
    return true;
}

namespace {

// Rounds seconds to whole, holding values no date can reach (and NaN, as the
// largest) inside the range, so no caller meets an overflowed or negated one.
int64_t ClampedSeconds(double seconds) {
    constexpr double kLimit = 9.0e18;  // below INT64_MAX, far beyond any real date
    if (!(seconds > -kLimit)) return std::isnan(seconds) ? INT64_MAX : -INT64_MAX;
    if (seconds >= kLimit) return INT64_MAX;
    return static_cast<int64_t>(std::llround(seconds));
}

}  // namespace

int64_t WholeSecondsBetween(double a, double b) {
    // Both dates hold whole seconds; rounding removes the binary fraction's noise.
    return ClampedSeconds((b - a) * kSecondsPerDay);
}

bool SetModificationDate(const std::string& path, double date) {
    const int64_t local = ClampedSeconds((date - kUnixEpochDays) * kSecondsPerDay);
    if (local == INT64_MAX || local == -INT64_MAX) return false;
    // The local offset of the moment itself: first guess with the offset now.
    int64_t unixSeconds = local - LocalOffset(local);
    unixSeconds = local - LocalOffset(unixSeconds);
    const struct timeval times[2] = {{static_cast<time_t>(unixSeconds), 0}, {static_cast<time_t>(unixSeconds), 0}};
    return utimes(path.c_str(), times) == 0;
}

}  // namespace lum2
