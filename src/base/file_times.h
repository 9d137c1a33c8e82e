// Modification times as lumdata.dat keeps them: local time in days since
// 1899-12-30 00:00, the time of day as the fraction, whole seconds.
#pragma once

#include <cstdint>
#include <string>

namespace lum2 {

// The modification time of the file at path; false when it cannot be read.
bool ModificationDate(const std::string& path, double& date);
// A Unix time as such a date, in the machine's local time.
double DateFromUnixSeconds(int64_t seconds);
// The whole number of seconds from one date to the other (b - a).
int64_t WholeSecondsBetween(double a, double b);
// Sets the modification time of path (for tests and for keeping times on copies).
bool SetModificationDate(const std::string& path, double date);

}  // namespace lum2
