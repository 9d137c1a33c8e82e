#include "engine/file_times.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <cmath>
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

int64_t WholeSecondsBetween(double a, double b) {
    // Both dates hold whole seconds; rounding removes the binary fraction's noise.
    return static_cast<int64_t>(std::llround((b - a) * kSecondsPerDay));
}

bool SetModificationDate(const std::string& path, double date) {
    const int64_t local = std::llround((date - kUnixEpochDays) * kSecondsPerDay);
    // The local offset of the moment itself: first guess with the offset now.
    int64_t unixSeconds = local - LocalOffset(local);
    unixSeconds = local - LocalOffset(unixSeconds);
    const struct timeval times[2] = {{static_cast<time_t>(unixSeconds), 0},
                                     {static_cast<time_t>(unixSeconds), 0}};
    return utimes(path.c_str(), times) == 0;
}

}  // namespace lum2
